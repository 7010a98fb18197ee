/* The automatic name of a new category: "New Category", "New Category(2)", ... */
#ifndef CCATEGORY_NAMING_H
#define CCATEGORY_NAMING_H

#include <functional>
#include <string>

#include "KELData.h"
#include "KELGuiCommon.h"

namespace LibKELGUI {

class KELGUI_EXPORT CCategoryNaming {
public:
    /* 0 when no category bears the name; any other answer counts as taken. */
    typedef std::function<int(const std::string&)> ExistsFunc;

    /* The first of base, base(2), base(3), ... that exists() reports free, so gaps are filled
     * first. At most maxCandidates names are asked about: with n categories, n + 1 candidates
     * always hold a free one; past that an answering fault cannot keep the naming from ending,
     * and the next candidate is taken unasked. */
    static std::string Build(const std::string& base, const ExistsFunc& exists, int maxCandidates);

    /* base for n = 1, else base + "(" + n + ")". */
    static std::string Candidate(const std::string& base, int n);

    /* Whether an edited item may take name: a category no other category bears, a program
     * (in category) no other program of that category bears; current is the item's own name,
     * which it may always keep. 0 accepted; 1 refused, with the reason to show; -1 when the
     * record gave an answer it should not. */
    static int CheckName(const LibKELData::CTabNavigationData& policy, const LibKELData::CCategory* category,
                         const std::string& current, const std::string& name, std::string& reason);
};

} // namespace LibKELGUI

#endif
