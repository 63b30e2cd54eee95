// zav-stamp: the build's stamp step. Writes the feed URL, the keys (base64 lines, as
// -DZAV_TRUSTED_KEYS gives them) and the serial floor into an installer program's stamp
// section, with the code `zav-vendor bundle` stamps with.
//   zav-stamp FILE --feed-url URL [--key LINE]... [--min-serial N] [--allow-unsigned]

#include "ZAVVendorStamp.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    std::string file, url, serial;
    std::vector<std::string> keys;
    bool allowUnsigned = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool valued = arg == "--feed-url" || arg == "--key" || arg == "--min-serial";
        if (valued && i + 1 >= argc) {
            std::fprintf(stderr, "zav-stamp: %s needs a value\n", arg.c_str());
            return 2;
        }
        if (arg == "--feed-url")
            url = argv[++i];
        else if (arg == "--key")
            keys.emplace_back(argv[++i]);
        else if (arg == "--min-serial")
            serial = argv[++i];
        else if (arg == "--allow-unsigned")
            allowUnsigned = true;
        else
            file = arg;
    }
    const ZAVResult<ZAVStamp::Content> content =
        ZAVVendorStamp::content(url, keys, serial, allowUnsigned);
    if (!content) {
        std::fprintf(stderr, "zav-stamp: %s\n", content.error().message().c_str());
        return 1;
    }
    if (const ZAVStatus stamped = ZAVVendorStamp::stampFile(file, *content); !stamped) {
        std::fprintf(stderr, "zav-stamp: %s\n", stamped.error().message().c_str());
        return 1;
    }
    return 0;
}
