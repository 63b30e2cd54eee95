// zav-unzstd: the .run's decompressor. Reads zstd frames on standard input and writes what they
// hold to standard output; status 0 when every frame was whole and its checksum (when it has
// one; the bundle's always do) matched, 1 otherwise, with one line on standard error.
//
// The .run unpacks it first, with the loader, C library and libzstd of the bundle (a small gzip'd
// archive), and runs it through that loader on the rest: systems without a zstd program need
// nothing more. Nothing but libzstd and the C library: no C++ library is linked.

#include <zstd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

char input[1 << 17];
char output[1 << 17];

bool writeAll(const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t written = write(1, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= size_t(written);
    }
    return true;
}

int fail(const char *what)
{
    std::fprintf(stderr, "zav-unzstd: %s\n", what);
    return 1;
}

} // namespace

int main()
{
    ZSTD_DCtx *context = ZSTD_createDCtx();
    if (!context)
        return fail("out of memory");
    size_t pending = 0; // what the frame under way still asks for; 0 between frames
    bool any = false;
    for (;;) {
        const ssize_t got = read(0, input, sizeof input);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return fail("cannot read the input");
        if (got == 0)
            break;
        any = true;
        ZSTD_inBuffer in = {input, size_t(got), 0};
        while (in.pos < in.size) {
            ZSTD_outBuffer out = {output, sizeof output, 0};
            pending = ZSTD_decompressStream(context, &out, &in);
            if (ZSTD_isError(pending))
                return fail(ZSTD_getErrorName(pending));
            if (!writeAll(output, out.pos))
                return fail("cannot write the output");
        }
    }
    // Flush what the last frame still holds.
    while (pending != 0) {
        ZSTD_inBuffer in = {input, 0, 0};
        ZSTD_outBuffer out = {output, sizeof output, 0};
        pending = ZSTD_decompressStream(context, &out, &in);
        if (ZSTD_isError(pending))
            return fail(ZSTD_getErrorName(pending));
        if (out.pos == 0)
            return fail("the input ends inside a frame");
        if (!writeAll(output, out.pos))
            return fail("cannot write the output");
    }
    ZSTD_freeDCtx(context);
    return any ? 0 : fail("no input");
}
