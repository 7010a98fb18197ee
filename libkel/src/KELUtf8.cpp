/* UTF-8 decoding and the character rules shared by the name check and the XML storage. */
#include "KELUtf8.h"

#include <cstring>

namespace LibKELData {
namespace utf8 {

bool Next(const std::string& text, size_t& pos, uint32_t& cp)
{
    const size_t size = text.size();
    if (pos >= size)
        return false;
    const unsigned char lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) {
        cp = lead;
        ++pos;
        return true;
    }
    size_t extra;
    uint32_t value;
    uint32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1;
        value = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2;
        value = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3;
        value = lead & 0x07;
        minimum = 0x10000;
    } else {
        return false; /* continuation byte, C0/C1 overlong lead, or beyond U+10FFFF */
    }
    if (size - pos <= extra)
        return false;
    for (size_t i = 1; i <= extra; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[pos + i]);
        if ((c & 0xC0) != 0x80)
            return false;
        value = (value << 6) | (c & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return false;
    cp = value;
    pos += extra + 1;
    return true;
}

bool IsValid(const std::string& text)
{
    size_t pos = 0;
    uint32_t cp;
    while (pos < text.size()) {
        if (!Next(text, pos, cp))
            return false;
    }
    return true;
}

bool IsXmlStorable(const std::string& text)
{
    size_t pos = 0;
    const size_t size = text.size();
    const char* data = text.data();
    while (pos < size) {
        /* Eight printable ASCII bytes at a time: no high bit set and no byte below 0x20. */
        if (size - pos >= 8) {
            uint64_t word;
            std::memcpy(&word, data + pos, 8);
            const uint64_t high = 0x8080808080808080ULL;
            if (((word | (word - 0x2020202020202020ULL)) & high) == 0) {
                pos += 8;
                continue;
            }
        }
        const unsigned char c = static_cast<unsigned char>(data[pos]);
        if (c < 0x80) {
            /* Plain ASCII is nearly all of a policy file: keep it off the decoder. */
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
                return false;
            ++pos;
            continue;
        }
        uint32_t cp;
        if (!Next(text, pos, cp) || !IsXmlChar(cp))
            return false;
    }
    return true;
}

} // namespace utf8
} // namespace LibKELData
