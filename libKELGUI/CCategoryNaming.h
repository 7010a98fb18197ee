/* The automatic name of a new category: "New Category", "New Category(2)", ... */
#ifndef CCATEGORY_NAMING_H
#define CCATEGORY_NAMING_H

#include <functional>
#include <string>

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
};

} // namespace LibKELGUI

#endif
