/* Fuzz target: loading the tab navigation policy (categories and programs) from any bytes, as text and as a file. */
#include "FuzzRecord.h"

KEL_RECORD_FUZZER(CTabNavigationData)
