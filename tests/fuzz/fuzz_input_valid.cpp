/* Fuzz target: the name check and the trims, against GLib's own reading of UTF-8 and a round trip of every
 * accepted name through a policy file. */
#include <cstring>

#include "FuzzRecord.h"
#include "KELDataTools.h"

using namespace LibKELData;

extern "C" int LLVMFuzzerInitialize(int*, char***) { return kelfuzz::SilenceLog(), 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string message = "not emptied", trimmed = text, twice, joined = text;
    const int rc = CKELDataTools::IsInputValid(text, message);
    if (rc > 0 || rc < CKELDataTools::INPUT_TOO_LONG || (rc == 0) != message.empty())
        kelfuzz::Fault("an unknown result, a refusal without a reason or a reason without a refusal");
    if (!g_utf8_validate(message.c_str(), -1, nullptr))
        kelfuzz::Fault("the reason is not valid UTF-8");
    if (CKELDataTools::TrimSpaceBeforeAndAfterString(trimmed) != 0)
        kelfuzz::Fault("trim result");
    CKELDataTools::TrimSpaceBeforeAndAfterString(twice = trimmed);
    CKELDataTools::TrimEnterCharacterOfString(joined);
    const bool valid = g_utf8_validate(text.data(), (gssize)text.size(), nullptr);
    if (twice != trimmed || joined.find_first_of("\r\n") != std::string::npos)
        kelfuzz::Fault("trimming twice trims more, or a line break survived");
    if (valid && (!g_utf8_validate(trimmed.data(), (gssize)trimmed.size(), nullptr) ||
                  !g_utf8_validate(joined.data(), (gssize)joined.size(), nullptr)))
        kelfuzz::Fault("trimming or joining lines broke a UTF-8 character");
    if (rc != CKELDataTools::INPUT_OK)
        return 0;
    /* Accepted: what the windows store (trimmed) is sane and survives a policy file. */
    if (!valid || trimmed.empty() || trimmed.size() != strlen(trimmed.c_str()) ||
        g_utf8_strlen(trimmed.c_str(), -1) > CKELDataTools::MAX_INPUT_CHARS || !CKELDataTools::IsStorableText(trimmed))
        kelfuzz::Fault("accepted a name that is empty, too long, not UTF-8, with a NUL byte or not storable");
    for (const char* p = trimmed.c_str(); *p; p = g_utf8_next_char(p)) {
        gunichar c = g_utf8_get_char(p);
        if (g_unichar_iscntrl(c) || (c < 0x80 && strchr(CKELDataTools::INPUT_FORBIDDEN_CHARS, (int)c)))
            kelfuzz::Fault("accepted a control or forbidden character");
    }
    CTabNavigationData policy, loaded;
    CCategory* category = new CCategory();
    category->SetName(trimmed);
    category->AddApplication(new CApplicationInfo(trimmed, "/usr/bin/x", ""));
    policy.SetPCategoryInfoList(new CategoryInfoList(1, category));
    std::string xml;
    if (policy.Save2String(xml) != KEL_OK || loaded.LoadFromString(xml) != KEL_OK || !loaded.IsEqual(policy))
        kelfuzz::Fault("an accepted name does not save and load back the same");
    return 0;
}
