/* Fuzz target: loading the system settings from any bytes, as text and as a file. */
#include "FuzzRecord.h"

KEL_RECORD_FUZZER(CKELSystemSettingData)
