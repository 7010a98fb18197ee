/* What every record loader must hold to, for any bytes: loading from text and from a file agree, a failed
 * load leaves the record empty, and a loaded record saves and loads back to the same record. */
#ifndef KEL_FUZZ_RECORD_H
#define KEL_FUZZ_RECORD_H

#include <glib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "KELData.h"

/* Set by the replay of the committed inputs only (absent under libFuzzer). */
extern "C" __attribute__((weak)) const char* kel_fuzz_input_name;

namespace kelfuzz {

/* The log would write every refusal to standard error and slow the fuzzer to a crawl. (Run the
 * targets with G_SLICE=always-malloc: GLib's slice allocator keeps memory it never returns, which
 * the fuzzer takes for a leak at every input.) */
inline void SilenceLog()
{
    g_log_set_handler("KEL", (GLogLevelFlags)(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION),
                      [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
}

[[noreturn]] inline void Fault(const char* what)
{
    fprintf(stderr, "fault: %s\n", what);
    abort();
}

template <class R>
std::string Text(R& record) /* "" when it cannot be saved */
{
    std::string xml;
    return record.Save2String(xml) == LibKELData::KEL_OK ? xml : "";
}

/* A file in memory, the same code path as a policy file. One file for every input, with a fixed time
 * stamp: the storage remembers the files it has read by identity, and a new identity per input would
 * look like a leak to the fuzzer. */
template <class R>
int LoadThroughFile(R& record, const std::string& bytes)
{
    static int fd = memfd_create("policy", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, bytes.data(), bytes.size(), 0) != (ssize_t)bytes.size())
        Fault("memfd");
    const struct timespec fixed[2] = {{1, 0}, {1, 0}};
    futimens(fd, fixed);
    return record.LoadFromFile("/proc/self/fd/" + std::to_string(fd));
}

template <class R>
void CheckRecord(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    R fromText, fromFile, empty, again;
    const int rc = fromText.LoadFromString(bytes);
    if (rc != LoadThroughFile(fromFile, bytes))
        Fault("text and file loads of the same bytes disagree");
    if (rc > 0 || rc < LibKELData::KEL_ERR_ARGUMENT)
        Fault("unknown result code");
    const std::string name = &kel_fuzz_input_name ? kel_fuzz_input_name : "";
    if ((name.rfind("refused-", 0) == 0 && rc == LibKELData::KEL_OK) || (name.rfind("loads-", 0) == 0 && rc != LibKELData::KEL_OK))
        Fault("a named corpus input was not refused or loaded as its name says");
    const std::string text = Text(fromText);
    if (text.find("root:x:0:") != std::string::npos && bytes.find("root:x:0:") == std::string::npos)
        Fault("something outside the document was read");
    if (text != Text(fromFile))
        Fault("text and file loads give different records");
    if (rc != LibKELData::KEL_OK && text != Text(empty))
        Fault("a failed load left something in the record");
    if (rc != LibKELData::KEL_OK)
        return;
    if (text.empty())
        Fault("a loaded record cannot be saved");
    if (again.LoadFromString(text) != LibKELData::KEL_OK || Text(again) != text)
        Fault("a saved record does not load back as the same record");
}

} // namespace kelfuzz

#define KEL_RECORD_FUZZER(Record)                                                                                  \
    extern "C" int LLVMFuzzerInitialize(int*, char***) { return kelfuzz::SilenceLog(), 0; }                        \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* d, size_t n) { return kelfuzz::CheckRecord<LibKELData::Record>(d, n), 0; }

#endif
