/* Fuzz target: loading the program search results from any bytes, as text and as a file. */
#include "FuzzRecord.h"

KEL_RECORD_FUZZER(CSearchResultData)
