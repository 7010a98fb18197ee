/* String and file helpers shared by the product's programs. */
#include "KELDataTools.h"

#include <libintl.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "KELPaths.h"
#include "KELData.h"
#include "KELLog.h"
#include "KELUtf8.h"

namespace LibKELData {

const char* const CKELDataTools::INPUT_FORBIDDEN_CHARS = "/\\<>";

namespace {

/* Our own text domain, bound before each lookup: the host's default domain is not ours. */
std::string DataTr(const char* text)
{
    bindtextdomain(KEL_LIB_DATA.c_str(), LOCALEDIR.c_str());
    bind_textdomain_codeset(KEL_LIB_DATA.c_str(), "UTF-8");
    return dgettext(KEL_LIB_DATA.c_str(), text);
}

bool IsEndBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

/* A theme name becomes a folder name in an include line of the user's gtkrc file. */
bool IsPlainFolderName(const std::string& name)
{
    if (name.empty() || name == "." || name == "..")
        return false;
    size_t pos = 0;
    uint32_t cp;
    while (pos < name.size()) {
        if (!utf8::Next(name, pos, cp) || utf8::IsControl(cp) || cp == '/' || cp == '\\' || cp == '"')
            return false;
    }
    return true;
}

/* A font description is written between quotes in the gtkrc file. */
bool IsQuotableFont(const std::string& font)
{
    size_t pos = 0;
    uint32_t cp;
    while (pos < font.size()) {
        if (!utf8::Next(font, pos, cp) || utf8::IsControl(cp) || cp == '\\' || cp == '"')
            return false;
    }
    return true;
}

} // namespace

int CKELDataTools::FileExist(const std::string& path)
{
    struct stat st;
    if (path.empty() || stat(path.c_str(), &st) != 0)
        return 0;
    return S_ISREG(st.st_mode) ? 1 : 0;
}

int CKELDataTools::IsInputValid(const std::string& text, std::string& message)
{
    message.clear();
    std::string trimmed = text;
    TrimSpaceBeforeAndAfterString(trimmed);
    if (trimmed.empty()) {
        message = DataTr("Please enter a name.");
        return INPUT_EMPTY;
    }
    if (!utf8::IsValid(text)) {
        /* Translators: the name was not proper text, e.g. pasted from a file in another encoding. */
        message = DataTr("The name is not valid text. Please type it again.");
        return INPUT_NOT_UTF8;
    }
    size_t pos = 0;
    uint32_t cp = 0;
    int count = 0;
    bool notStorable = false;
    bool forbidden = false;
    while (utf8::Next(text, pos, cp)) {
        ++count;
        if (utf8::IsControl(cp)) {
            message = DataTr("The name must not contain tabs, line breaks or other control characters.");
            return INPUT_CONTROL_CHAR;
        }
        if (!utf8::IsXmlChar(cp))
            notStorable = true;
        else if (cp < 0x80 && std::strchr(INPUT_FORBIDDEN_CHARS, static_cast<int>(cp)))
            forbidden = true;
    }
    if (notStorable) {
        message = DataTr("The name contains a character that cannot be stored.");
        return INPUT_NOT_STORABLE;
    }
    if (forbidden) {
        /* Translators: the characters are shown as they are: slash, backslash, less-than, greater-than. */
        message = DataTr("The name must not contain any of these characters: / \\ < >");
        return INPUT_FORBIDDEN_CHAR;
    }
    if (count > MAX_INPUT_CHARS) {
        /* Translators: %d is the largest number of characters a name may have. */
        const std::string format = DataTr("The name is too long. It may have at most %d characters.");
        char buffer[512];
        snprintf(buffer, sizeof buffer, format.c_str(), MAX_INPUT_CHARS);
        message = buffer;
        return INPUT_TOO_LONG;
    }
    return INPUT_OK;
}

int CKELDataTools::IsStorableText(const std::string& text)
{
    return utf8::IsXmlStorable(text) ? 1 : 0;
}

int CKELDataTools::TrimSpaceBeforeAndAfterString(std::string& text)
{
    /* Only ASCII bytes are tested, and no byte of a multibyte UTF-8 character is ASCII. */
    size_t end = text.size();
    while (end > 0 && IsEndBlank(text[end - 1]))
        --end;
    size_t begin = 0;
    while (begin < end && IsEndBlank(text[begin]))
        ++begin;
    text = text.substr(begin, end - begin);
    return 0;
}

int CKELDataTools::TrimEnterCharacterOfString(std::string& text)
{
    size_t out = 0;
    for (size_t in = 0; in < text.size(); ++in) {
        if (text[in] != '\r' && text[in] != '\n')
            text[out++] = text[in];
    }
    text.resize(out);
    return 0;
}

int CKELDataTools::GetCurrentThemeName(std::string& theme, std::string& font, std::string& other)
{
    theme.clear();
    font.clear();
    other.clear();
    const std::string path = CONFIG_FILE_DIR + KEL_THEME;
    CKELThemeData data;
    int rc = data.LoadFromFile(path);
    if (rc != KEL_OK)
        return rc;
    std::string name = data.GetThemeName();
    TrimSpaceBeforeAndAfterString(name);
    if (name.empty())
        name = KEL_DEFAULT_THEME;
    if (!IsPlainFolderName(name)) {
        CKELLog::WriteLine("Theme settings " + path + ": the theme name \"" + name + "\" is not a plain folder name",
                           2, "", false);
        return KEL_ERR_FORMAT;
    }
    if (!IsQuotableFont(data.GetFont())) {
        CKELLog::WriteLine("Theme settings " + path + ": the font \"" + data.GetFont() +
                               "\" holds quotes, backslashes or control characters",
                           2, "", false);
        return KEL_ERR_FORMAT;
    }
    theme = name;
    font = data.GetFont();
    other = data.GetBackground();
    return KEL_OK;
}

} // namespace LibKELData
