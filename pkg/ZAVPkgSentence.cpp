#include "ZAVPkgSentence.h"

#include "base/ZAVEscaped.h"

std::string ZAVPkgSentence::english() const
{
    // %1 ... %9, each replaced once in a single pass: an argument's own "%2" stays as it is.
    std::string out;
    for (size_t i = 0; i < source.size(); ++i) {
        if (source[i] == '%' && i + 1 < source.size() && source[i + 1] >= '1' &&
            source[i + 1] <= '9') {
            const size_t index = size_t(source[i + 1] - '1');
            if (index < arguments.size()) {
                out += ZAVEscaped(arguments[index]);
                ++i;
                continue;
            }
        }
        out += source[i];
    }
    return out;
}

std::string ZAVPkgSentence::encoded() const
{
    std::string line = ZAVEscaped(source);
    for (const std::string &argument : arguments)
        line += '\x1f' + ZAVEscaped(argument);
    return line;
}
