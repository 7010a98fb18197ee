/* Fuzz target: loading the factory default categories from any bytes, as text and as a file. */
#include "FuzzRecord.h"

KEL_RECORD_FUZZER(CDefaultConfigData)
