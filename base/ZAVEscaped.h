#pragma once

#include <string>
#include <string_view>

// `text` (UTF-8 bytes) with everything that could forge or hide part of a line written as an
// escape, so hostile text from a feed, a server or a package can neither start a line of its
// own, move the cursor, nor turn the reading direction around: "\n", "\r", "\t"; "\xHH" for
// the other C0 controls and DEL; "\uHHHH" for the C1 controls (U+0080-U+009F) and the
// bidirectional embeddings, overrides and isolates (U+202A-U+202E, U+2066-U+2069). A backslash
// becomes "\\", so every escape reads back one way. A byte that is not part of valid UTF-8
// stays as it is (a path is shown as its bytes), except 0x80-0x9f, which a terminal not in
// UTF-8 takes for C1 controls: "\xHH". Any thread.
std::string ZAVEscaped(std::string_view text);
