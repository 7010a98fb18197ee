/* UTF-8 decoding and the character rules shared by the name check and the XML storage. */
#ifndef KEL_UTF8_H
#define KEL_UTF8_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace LibKELData {
namespace utf8 {

/* Decodes the character at text[pos] and moves pos past it. False (pos unchanged) for a
 * truncated sequence, an overlong form, a surrogate or a value above U+10FFFF. */
bool Next(const std::string& text, size_t& pos, uint32_t& cp);

bool IsValid(const std::string& text);

/* A character that XML 1.0 can hold at all (even escaped). */
inline bool IsXmlChar(uint32_t cp)
{
    return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
           (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
}

/* Valid UTF-8 made only of XML characters: what our files can store and read back. */
bool IsXmlStorable(const std::string& text);

/* C0, DEL and C1 controls, and the Unicode line and paragraph separators. */
inline bool IsControl(uint32_t cp)
{
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029;
}

} // namespace utf8
} // namespace LibKELData

#endif
