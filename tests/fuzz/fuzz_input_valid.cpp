/* Fuzz target: the name check and the trims, against GLib's own reading of UTF-8 and a round trip of every
 * accepted name through a policy file. */
#include <glib.h>

#include <cstring>

#include "FuzzRecord.h"
#include "KELDataTools.h"

using namespace LibKELData;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    kelfuzz::SilenceLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string message = "not emptied";
    const int rc = CKELDataTools::IsInputValid(text, message);
    if (rc > 0 || rc < CKELDataTools::INPUT_TOO_LONG)
        kelfuzz::Fault("unknown result");
    if ((rc == 0) != message.empty())
        kelfuzz::Fault("a refusal without a reason, or a reason without a refusal");
    if (!g_utf8_validate(message.c_str(), -1, nullptr))
        kelfuzz::Fault("the reason is not valid UTF-8");

    std::string trimmed = text;
    if (CKELDataTools::TrimSpaceBeforeAndAfterString(trimmed) != 0)
        kelfuzz::Fault("trim result");
    std::string twice = trimmed;
    CKELDataTools::TrimSpaceBeforeAndAfterString(twice);
    if (twice != trimmed)
        kelfuzz::Fault("trimming twice trims more");
    const bool valid = g_utf8_validate(text.data(), (gssize)text.size(), nullptr);
    if (valid && !g_utf8_validate(trimmed.data(), (gssize)trimmed.size(), nullptr))
        kelfuzz::Fault("trimming broke a UTF-8 character");
    std::string joined = text;
    CKELDataTools::TrimEnterCharacterOfString(joined);
    if (joined.find_first_of("\r\n") != std::string::npos)
        kelfuzz::Fault("a line break survived");
    if (valid && !g_utf8_validate(joined.data(), (gssize)joined.size(), nullptr))
        kelfuzz::Fault("joining lines broke a UTF-8 character");

    if (rc != CKELDataTools::INPUT_OK)
        return 0;
    /* Accepted: what the windows store (trimmed) is sane and survives a policy file. */
    if (!valid || trimmed.empty())
        kelfuzz::Fault("accepted text that is empty or not UTF-8");
    if (g_utf8_strlen(trimmed.c_str(), (gssize)trimmed.size()) > CKELDataTools::MAX_INPUT_CHARS)
        kelfuzz::Fault("accepted a name that is too long");
    for (const char* p = trimmed.c_str(); *p; p = g_utf8_next_char(p)) {
        gunichar c = g_utf8_get_char(p);
        if (g_unichar_iscntrl(c) || (c < 0x80 && strchr(CKELDataTools::INPUT_FORBIDDEN_CHARS, (int)c)))
            kelfuzz::Fault("accepted a control or forbidden character");
    }
    if (trimmed.size() != strlen(trimmed.c_str()))
        kelfuzz::Fault("accepted a NUL byte");
    if (!CKELDataTools::IsStorableText(trimmed))
        kelfuzz::Fault("accepted a name that cannot be stored");
    CTabNavigationData policy;
    CCategory* category = new CCategory();
    category->SetName(trimmed);
    category->AddApplication(new CApplicationInfo(trimmed, "/usr/bin/x", ""));
    policy.SetPCategoryInfoList(new CategoryInfoList(1, category));
    std::string xml;
    if (policy.Save2String(xml) != KEL_OK)
        kelfuzz::Fault("an accepted name does not save");
    CTabNavigationData loaded;
    if (loaded.LoadFromString(xml) != KEL_OK || !loaded.IsEqual(policy))
        kelfuzz::Fault("an accepted name does not load back the same");
    return 0;
}
