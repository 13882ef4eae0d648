// Fuzzes the JBIG encoder with arbitrary bitmaps, sizes and stripe heights: whatever it codes
// must decode with libjbig's T.82 decoder to the very same bitmap, through the encoder's own
// interface and through the page collector.
//
// Input: width in bytes (u8, 1-256), height (u16, 1-1024), stripe height (u16, 1-1100), then
// the bitmap, repeated to fill the image (all white when empty).
#include <string>
#include <vector>

#include "common/last_error.h"
#include "jbig/jbig_compress.h"
#include "jbig/kelvra_compress.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/jbig_decode.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    KeepSanitizerReportsVisible();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzReader in(data, size);
    const uint32_t widthBytes = 1 + in.U8();
    const uint32_t height = 1 + in.U16() % 1024;
    const uint32_t l0 = 1 + in.U16() % 1100;
    const uint32_t width = widthBytes * 8;
    Bytes bitmap(size_t{widthBytes} * height, 0);
    if (in.Left() > 0)
        for (size_t i = 0; i < bitmap.size(); ++i)
            bitmap[i] = in.Data()[i % in.Left()];

    Bytes coded;
    const char *error = nullptr;
    if (!kelvra_compress(width, height, l0, bitmap.data(), &coded, AppendToBytes, &error))
        FuzzFail("kelvra_compress refused a valid image", error ? error : "");
    Bytes decoded;
    std::string why;
    if (!JbigDecodeStripes(coded, width, height, l0, kJbigOptLrltwo | kJbigOptTpbon, decoded, why))
        FuzzFail("libjbig could not decode the stripes", why);
    if (decoded != bitmap) FuzzFail("decoded bitmap differs from the input");

    // The page collector appends the same bytes behind what its buffer holds.
    const Bytes earlier = {0xFF, 0x02};
    Bytes collected = earlier;
    ErrorText errorText;
    JBIG_BIH bih{};
    bih.ParamImgWidth = width;
    bih.ParamImgHeight = height;
    bih.ParamL0 = l0;
    if (JBIGCompress(bih, bitmap.data(), collected, errorText) != 1)
        FuzzFail("JBIGCompress failed", errorText.c_str());
    Bytes expected = earlier;
    expected.insert(expected.end(), coded.begin(), coded.end());
    if (collected != expected) FuzzFail("the collector's bytes differ from the encoder's");
    return 0;
}
