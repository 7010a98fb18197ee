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

namespace kelfuzz {

inline void Quiet(const gchar*, GLogLevelFlags, const gchar*, gpointer)
{
}

/* The log would write every refusal to standard error and slow the fuzzer to a crawl. (Run
 * the targets with G_SLICE=always-malloc: GLib's slice allocator keeps memory it never
 * returns, which the fuzzer takes for a leak at every input, and then stops to look for.) */
inline void SilenceLog()
{
    g_log_set_handler("KEL", (GLogLevelFlags)(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION), Quiet,
                      nullptr);
}

[[noreturn]] inline void Fault(const char* what)
{
    fprintf(stderr, "fault: %s\n", what);
    abort();
}

/* The record as text; "" when it cannot be saved. */
template <class R> std::string Text(R& record)
{
    std::string xml;
    if (record.Save2String(xml) != LibKELData::KEL_OK)
        return "";
    return xml;
}

template <class R> int LoadThroughFile(R& record, const std::string& bytes)
{
    /* A file in memory: no disk, same code path as a policy file. One file for every input,
     * with a fixed time stamp: the storage remembers the files it has read by identity, and
     * a new identity per input would look like a leak to the fuzzer at every run. */
    static int fd = memfd_create("policy", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, 0) != 0)
        Fault("memfd");
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = pwrite(fd, bytes.data() + done, bytes.size() - done, (off_t)done);
        if (n <= 0)
            Fault("write to memfd");
        done += (size_t)n;
    }
    const struct timespec fixed[2] = {{1, 0}, {1, 0}};
    futimens(fd, fixed);
    return record.LoadFromFile("/proc/self/fd/" + std::to_string(fd));
}

template <class R> void CheckRecord(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    R fromText;
    const int rcText = fromText.LoadFromString(bytes);
    R fromFile;
    const int rcFile = LoadThroughFile(fromFile, bytes);
    if (rcText != rcFile)
        Fault("text and file loads of the same bytes disagree");
    if (rcText > 0 || rcText < LibKELData::KEL_ERR_ARGUMENT)
        Fault("unknown result code");

    const std::string text = Text(fromText);
    if (text != Text(fromFile))
        Fault("text and file loads give different records");
    if (rcText != LibKELData::KEL_OK) {
        R empty;
        if (text != Text(empty))
            Fault("a failed load left something in the record");
        return;
    }
    /* What was read can be written, and reads back as the same record, written the same way. */
    if (text.empty())
        Fault("a loaded record cannot be saved");
    R again;
    if (again.LoadFromString(text) != LibKELData::KEL_OK)
        Fault("a saved record does not load");
    if (Text(again) != text)
        Fault("a saved record loads as another record");
}

} // namespace kelfuzz

#define KEL_RECORD_FUZZER(Record)                                                                                  \
    extern "C" int LLVMFuzzerInitialize(int*, char***)                                                             \
    {                                                                                                              \
        kelfuzz::SilenceLog();                                                                                     \
        return 0;                                                                                                  \
    }                                                                                                              \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)                                        \
    {                                                                                                              \
        kelfuzz::CheckRecord<LibKELData::Record>(data, size);                                                      \
        return 0;                                                                                                  \
    }

#endif
