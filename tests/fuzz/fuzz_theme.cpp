/* Fuzz target: loading the theme settings from any bytes, as text and as a file. */
#include "FuzzRecord.h"

KEL_RECORD_FUZZER(CKELThemeData)
