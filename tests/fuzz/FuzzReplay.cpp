/* Runs a fuzz target once over each file named on the command line, in order: the committed corpus
 * and regression inputs become an ordinary test, with no exploration. */
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);
/* The input's file name: a corpus file named "refused-..." or "loads-..." says what a record must make of it. */
extern "C" {
const char* kel_fuzz_input_name = "";
}

int main(int argc, char** argv)
{
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        fprintf(stderr, "%s\n", argv[i]); /* the input a failure below belongs to */
        if (!in.good() && !in.eof())
            return 2;
        const char* slash = strrchr(argv[i], '/');
        kel_fuzz_input_name = slash ? slash + 1 : argv[i];
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    return argc > 1 ? 0 : 2;
}
