/* Fuzz target: loading the lock schedule from any bytes, as text and as a file. */
#include "FuzzRecord.h"

KEL_RECORD_FUZZER(CLockScheduleData)
