#pragma once

#include "base/ZAVResult.h"
#include "base/ZAVStamp.h"

#include <string>
#include <string_view>
#include <vector>

// Writing the installer's stamp (base/ZAVStamp.h) into its executable: the checks on what goes
// in, and the section found through the ELF file's section headers. Used by `zav-vendor bundle`
// and by the build's stamp step (zav-stamp), so that both write the same bytes. Failures are
// sentences (ZAVVendorFiles::sentence style: the message names its path itself). Any thread.
class ZAVVendorStamp {
public:
    // The stamp's content from the options as given: `feedURL` an absolute http or https URL
    // with a host (as `zav-vendor feed` asks of it), `keys` the base64 lines of one to four
    // minisign public keys (stored as the canonical line of each), or none with
    // `allowUnsigned`, `minimumSerial` a whole number from 0 to 2^53 - 1 (empty: 0).
    static ZAVResult<ZAVStamp::Content> content(const std::string &feedURL,
                                                const std::vector<std::string> &keys,
                                                const std::string &minimumSerial,
                                                bool allowUnsigned);
    // The base64 line of the minisign public key in the .pub file at `path`.
    static ZAVResult<std::string> readPublicKeyFile(const std::string &path);

    // The file offset of the stamp section in the ELF image `image`: exactly one section of
    // that name, ZAVStamp::kSize bytes of file content, holding a stamp's magic and version.
    static ZAVResult<size_t> locate(std::string_view image);
    // Replaces the stamp section of `image` with `content`'s bytes.
    static ZAVStatus stampImage(std::string &image, const ZAVStamp::Content &content);
    // What the stamp section of `image` holds (Damaged when there is none).
    static ZAVStamp::Reading read(std::string_view image);
    // Stamps the executable at `path` in place: read whole, stamped, written back atomically
    // with mode 0755.
    static ZAVStatus stampFile(const std::string &path, const ZAVStamp::Content &content);
};
