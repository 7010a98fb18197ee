/* String and file helpers shared by the product's programs. */
#ifndef KEL_DATA_TOOLS_H
#define KEL_DATA_TOOLS_H

#include <string>

namespace LibKELData {

class CKELDataTools {
public:
    /* 1 when the path names an existing file, else 0. */
    static int FileExist(const std::string& path);
    /* Longest accepted name, in characters. */
    static const int MAX_INPUT_CHARS = 64;
    /* 0 when the text is acceptable as a category or program name; negative with a
     * translated reason in message otherwise. */
    static int IsInputValid(const std::string& text, std::string& message);
    /* Trim in place; UTF-8 safe. Blanks (space, tab) at both ends; line breaks anywhere. */
    static int TrimSpaceBeforeAndAfterString(std::string& text);
    static int TrimEnterCharacterOfString(std::string& text);
    /* Theme name, font and background of the theme settings file; 0 on success. */
    static int GetCurrentThemeName(std::string& theme, std::string& font, std::string& other);
};

} // namespace LibKELData

#endif
