// Fuzzes kelvra-inspect's stream analysis on arbitrary bytes: dialect detection (or a forced
// dialect), the short-frame and platform M parsers, JBIG page decoding, and both report
// formats, in-process with the tool's own sources (everything but its main()).
//
// Input: a dialect byte (0 detect, 1 C, 2 Z, 3 M, others detect), then the stream.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tests/fuzz/fuzz_support.h"
#include "tools/inspect/inspect.h"

namespace {
FILE *gNull = nullptr;
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    KeepSanitizerReportsVisible();
    gNull = std::fopen("/dev/null", "w");
    return gNull ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    static const char kDialects[4] = {0, 'C', 'Z', 'M'};
    const char forced = data[0] < 4 ? kDialects[data[0]] : 0;
    const std::vector<uint8_t> stream(data + 1, data + size);

    // The same steps as the tool's main(), minus the files it would write.
    Report r;
    r.size = stream.size();
    r.dialect = forced ? forced : DetectDialect(stream);
    if (!r.dialect) {
        r.dialect = '?';
        AddError(r, 0, "cannot tell the dialect");
    } else if (r.dialect == 'M') {
        ParsePlatformMStream(stream, r);
    } else {
        ParseShortFrameStream(stream, r.dialect, r);
    }
    std::vector<uint8_t> bitmap;
    for (Page &p : r.pages) {
        if (!p.complete) continue;
        if (!DecodePage(p, bitmap, r)) continue;
        p.decoded = true;
        p.tonerPixels = CountTonerPixels(bitmap, p.codedWidth, p.height, p.bpp);
        p.hash = BitmapHash(bitmap);
    }
    PrintJson(gNull, r, "fuzz");
    PrintListing(gNull, r);
    return 0;
}
