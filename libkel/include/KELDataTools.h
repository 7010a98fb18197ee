/* String and file helpers shared by the product's programs. */
#ifndef KEL_DATA_TOOLS_H
#define KEL_DATA_TOOLS_H

#include <string>

#include "KELExport.h"

namespace LibKELData {

class KEL_EXPORT CKELDataTools {
public:
    /* 1 when the path names an existing regular file (links followed), else 0. */
    static int FileExist(const std::string& path);
    /* Longest accepted name, in characters. */
    static const int MAX_INPUT_CHARS = 64;
    /* Results of IsInputValid, one per reason. */
    enum {
        INPUT_OK = 0,
        INPUT_EMPTY = -1,          /* nothing but blanks */
        INPUT_NOT_UTF8 = -2,       /* not valid UTF-8 */
        INPUT_CONTROL_CHAR = -3,   /* tab, line break or another control character */
        INPUT_NOT_STORABLE = -4,   /* a character XML cannot hold (U+FFFE, U+FFFF) */
        INPUT_FORBIDDEN_CHAR = -5, /* one of INPUT_FORBIDDEN_CHARS */
        INPUT_TOO_LONG = -6        /* more than MAX_INPUT_CHARS characters */
    };
    /* Characters a name may not hold: names become file names (path separators) and
     * labels with markup (angle brackets) in the shell's programs. */
    static const char* const INPUT_FORBIDDEN_CHARS;
    /* 0 when the text is acceptable as a category or program name; negative with a
     * translated reason in message otherwise (message is emptied when valid). Blanks at
     * the ends are allowed; callers trim before storing. */
    static int IsInputValid(const std::string& text, std::string& message);
    /* 1 when the policy files can store the text and read it back (valid UTF-8, XML
     * characters only), else 0. Saving a record with other text fails. */
    static int IsStorableText(const std::string& text);
    /* Trim in place and return 0; UTF-8 safe (only ASCII bytes are removed).
     * TrimSpaceBeforeAndAfterString: blanks, tabs and line breaks at both ends.
     * TrimEnterCharacterOfString: every line break (CR, LF) anywhere, joining the lines. */
    static int TrimSpaceBeforeAndAfterString(std::string& text);
    static int TrimEnterCharacterOfString(std::string& text);
    /* Theme name, font and background of the theme settings file (CONFIG_FILE_DIR +
     * KEL_THEME); 0 on success. An empty theme name gives KEL_DEFAULT_THEME. Negative (and
     * all three emptied) when the file is missing or unreadable, or when the theme name is
     * not a plain folder name or the font holds quotes, backslashes or control characters
     * (both end up in the user's gtkrc file). */
    static int GetCurrentThemeName(std::string& theme, std::string& font, std::string& other);
};

} // namespace LibKELData

#endif
