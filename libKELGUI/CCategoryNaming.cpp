/* Picks the automatic name of a new category. */
#include "CCategoryNaming.h"

#include <sstream>

namespace LibKELGUI {

std::string CCategoryNaming::Candidate(const std::string& base, int n)
{
    if (n <= 1)
        return base;
    std::ostringstream name;
    name << base << " (" << n << ")";
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

int CCategoryNaming::CheckName(const LibKELData::CTabNavigationData& policy, const LibKELData::CCategory* category,
                               const std::string& current, const std::string& name, std::string& reason)
{
    if (name == current)
        return 0;
    /* Three blanks match no program's path: only the name is tested. */
    int exists = category ? category->IsApplicationExist(name, "   ") : policy.IsCategoryExist(name);
    if (exists == 1)
        reason = category ? Tr("The specified application name already exists!")
                          : Tr("The specified category name already exists!");
    return exists == 0 ? 0 : exists == 1 ? 1 : -1;
}

} // namespace LibKELGUI
