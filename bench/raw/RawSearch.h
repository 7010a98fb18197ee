/* Raw baseline of the local search: a POSIX walk reading each desktop entry, and the results
 * written with libxml2's text writer. */
#ifndef KELBENCH_RAW_SEARCH_H
#define KELBENCH_RAW_SEARCH_H

#include <string>
#include <vector>

namespace raw {

/* Returns the number of programs written to resultFile. */
size_t SearchPrograms(const std::string& folder, const std::string& resultFile,
                      const std::vector<std::string>& programDirs, const std::vector<std::string>& dataDirs);

} // namespace raw

#endif
