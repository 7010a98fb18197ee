/* Picks the automatic name of a new category. */
#include "CCategoryNaming.h"

#include <sstream>

namespace LibKELGUI {

std::string CCategoryNaming::Candidate(const std::string& base, int n)
{
    if (n <= 1)
        return base;
    std::ostringstream name;
    name << base << "(" << n << ")";
    return name.str();
}

std::string CCategoryNaming::Build(const std::string& base, const ExistsFunc& exists, int maxCandidates)
{
    int n = 1;
    for (; n <= maxCandidates; ++n) {
        std::string candidate = Candidate(base, n);
        if (!exists || exists(candidate) == 0)
            return candidate;
    }
    return Candidate(base, n);
}

} // namespace LibKELGUI
