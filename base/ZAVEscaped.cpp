#include "ZAVEscaped.h"

#include <cstdint>
#include <cstdio>

namespace {

// The length of the valid UTF-8 sequence at the start of `text` and the code point it
// encodes, or 0 when it is not one (overlong forms, surrogates and values past U+10FFFF
// included).
size_t decode(std::string_view text, char32_t *codePoint)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2, value = lead & 0x1f, minimum = 0x80;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3, value = lead & 0x0f, minimum = 0x800;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xc0) != 0x80)
            return 0;
        value = (value << 6) | (byte(i) & 0x3f);
    }
    if (value < minimum || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff))
        return 0;
    *codePoint = value;
    return length;
}

bool hidesText(char32_t c)
{
    return (c >= 0x80 && c <= 0x9f) || (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069);
}

} // namespace

std::string ZAVEscaped(std::string_view text)
{
    std::string escaped;
    escaped.reserve(text.size());
    char buffer[8];
    while (!text.empty()) {
        const auto c = static_cast<unsigned char>(text.front());
        if (c == '\\') {
            escaped += "\\\\";
        } else if (c == '\n') {
            escaped += "\\n";
        } else if (c == '\r') {
            escaped += "\\r";
        } else if (c == '\t') {
            escaped += "\\t";
        } else if (c < 0x20 || c == 0x7f) {
            std::snprintf(buffer, sizeof buffer, "\\x%02x", c);
            escaped += buffer;
        } else if (c < 0x80) {
            escaped += static_cast<char>(c);
        } else {
            char32_t codePoint = 0;
            const size_t length = decode(text, &codePoint);
            if (length == 0) {
                // A byte outside UTF-8 stays, so a name is shown as the bytes it is, unless a
                // terminal that is not in UTF-8 would take it for a C1 control.
                if (c <= 0x9f) {
                    std::snprintf(buffer, sizeof buffer, "\\x%02x", c);
                    escaped += buffer;
                } else {
                    escaped += static_cast<char>(c);
                }
            } else {
                if (hidesText(codePoint)) {
                    std::snprintf(buffer, sizeof buffer, "\\u%04x",
                                  static_cast<unsigned>(codePoint));
                    escaped += buffer;
                } else {
                    escaped.append(text.substr(0, length));
                }
                text.remove_prefix(length);
                continue;
            }
        }
        text.remove_prefix(1);
    }
    return escaped;
}
