/* Fuzz target: loading the classroom roster from any bytes, as text and as a file. */
#include "FuzzRecord.h"

KEL_RECORD_FUZZER(CStudentInfoData)
