// The page collector: JBIGCompress appends the encoder's stripe data to the caller's buffer,
// keeps the buffer as it was when the bitmap cannot be coded, and reports failures in front
// of the job's error text.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "common/last_error.h"
#include "jbig/jbig_compress.h"
#include "jbig/kelvra_compress.h"
#include "tests/support/jbig_decode.h"
#include "tests/unit/jbig/test_bitmaps.h"

// The collector's buffer grows through operator new: a size above this limit (0: none) is
// refused with std::bad_alloc, as when memory runs out.
static std::size_t gRefuseNewAbove = 0;

void *operator new(std::size_t size) {
    if (gRefuseNewAbove != 0 && size > gRefuseNewAbove) throw std::bad_alloc();
    if (void *p = std::malloc(size != 0 ? size : 1)) return p;
    throw std::bad_alloc();
}
// (GCC takes the replaced pair for a mismatch once the calls are inlined.)
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void *p) noexcept {
    std::free(p);
}
void operator delete(void *p, std::size_t) noexcept {
    std::free(p);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace {

JBIG_BIH BihFor(const TestBitmap &b, uint64_t l0) {
    JBIG_BIH bih{};
    bih.ParamP = 1;
    bih.ParamImgWidth = b.width;
    bih.ParamImgHeight = b.height;
    bih.ParamL0 = l0;
    bih.ParamOrder = 3;
    bih.ParamOption = 0x58;
    return bih;
}

Bytes Reference(const TestBitmap &b, uint32_t l0) {
    Bytes out;
    EXPECT_TRUE(kelvra_compress(b.width, b.height, l0, b.data.data(), &out, AppendToBytes));
    return out;
}

Bytes Concat(Bytes a, const Bytes &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The job's error text holds an older message; the buffer may hold an earlier bitmap's bytes.
class Collector : public ::testing::Test {
  protected:
    Collector() { error.Set("older text\n"); }
    ~Collector() override { gRefuseNewAbove = 0; }
    const Bytes kEarlier = {0x12, 0xFF, 0x00, 0xFF, 0x02};
    Bytes out;
    ErrorText error;
};

// A page is appended byte for byte as the encoder emits it, and decodes to the page.
TEST_F(Collector, CollectsThePageAsTheEncoderCodesIt) {
    const TestBitmap b = MakePage(PageKind::Text, 1600, 900, 5);
    ASSERT_EQ(JBIGCompress(BihFor(b, 256), b.data.data(), out, error), 1);
    EXPECT_EQ(out, Reference(b, 256));
    Bytes decoded;
    std::string why;
    ASSERT_TRUE(JbigDecodeStripes(out, 1600, 900, 256, 0x58, decoded, why, 3)) << why;
    EXPECT_EQ(decoded, b.data);
    EXPECT_STREQ(error.c_str(), "older text\n");
}

// Coded data larger than twice the raw bitmap (narrow noise in one-line stripes: every line
// costs a marker plus its coded bytes) is collected whole, past the room the caller reserved.
TEST_F(Collector, CollectsCodedDataLargerThanTheBitmap) {
    struct Case {
        PageKind kind;
        uint32_t width, height, l0;
    } cases[] = {{PageKind::Noise, 8, 2000, 1},
                 {PageKind::Noise, 16, 777, 1},
                 {PageKind::Halftone, 8, 3000, 1}};
    for (const Case &c : cases) {
        const TestBitmap b = MakePage(c.kind, c.width, c.height, 11);
        Bytes collected;
        collected.reserve(2 * b.data.size());
        ASSERT_EQ(JBIGCompress(BihFor(b, c.l0), b.data.data(), collected, error), 1);
        const Bytes expected = Reference(b, c.l0);
        ASSERT_GT(expected.size(), 2 * b.data.size()) << "case does not exceed the reserve";
        EXPECT_EQ(collected, expected);
        Bytes decoded;
        std::string why;
        ASSERT_TRUE(JbigDecodeStripes(collected, c.width, c.height, c.l0, 0x48, decoded, why))
            << why;
        EXPECT_EQ(decoded, b.data);
    }
}

// Bitmaps (the bands of a page) are appended behind what the buffer holds.
TEST_F(Collector, AppendsBehindWhatTheBufferHolds) {
    const TestBitmap a = MakePage(PageKind::Halftone, 512, 300, 1);
    const TestBitmap b = MakePage(PageKind::Text, 512, 300, 2);
    out = kEarlier;
    ASSERT_EQ(JBIGCompress(BihFor(a, 128), a.data.data(), out, error), 1);
    ASSERT_EQ(JBIGCompress(BihFor(b, 128), b.data.data(), out, error), 1);
    EXPECT_EQ(out, Concat(Concat(kEarlier, Reference(a, 128)), Reference(b, 128)));
}

// A null bitmap codes nothing, changes nothing and reports nothing.
TEST_F(Collector, NullBitmapReturnsZeroAndLeavesStateAlone) {
    out = kEarlier;
    JBIG_BIH bih{};
    bih.ParamImgWidth = 8;
    bih.ParamImgHeight = 8;
    bih.ParamL0 = 8;
    EXPECT_EQ(JBIGCompress(bih, nullptr, out, error), 0);
    EXPECT_EQ(out, kEarlier);
    EXPECT_STREQ(error.c_str(), "older text\n");
}

// Parameters the encoder rejects, or that do not fit its 32-bit fields, fail with a message in
// front of the older error text and collect nothing.
TEST_F(Collector, RejectedParametersAreReported) {
    static const uint8_t pixels[64] = {};
    struct Case {
        uint64_t width, height, l0;
        const char *message;
    } cases[] = {
        {12, 8, 8, "JBIGCompress() :: kelvra_compress: (width & 0b0111) == 0\n"},
        {0, 8, 8, "JBIGCompress() :: kelvra_compress: width != 0\n"},
        {8, 0, 8, "JBIGCompress() :: kelvra_compress: height != 0\n"},
        {8, 8, 0, "JBIGCompress() :: kelvra_compress: l0 != 0\n"},
        {(1ull << 32) + 8, 8, 8, "JBIGCompress() :: image size out of range\n"},
        {8, 1ull << 32, 8, "JBIGCompress() :: image size out of range\n"},
        {8, 8, (1ull << 32) + 8, "JBIGCompress() :: image size out of range\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        Bytes collected = kEarlier;
        ErrorText text;
        text.Set("older text\n");
        JBIG_BIH bih{};
        bih.ParamImgWidth = c.width;
        bih.ParamImgHeight = c.height;
        bih.ParamL0 = c.l0;
        EXPECT_EQ(JBIGCompress(bih, pixels, collected, text), 0);
        EXPECT_EQ(collected, kEarlier);
        EXPECT_EQ(std::string(text.c_str()), std::string(c.message) + "older text\n");
    }
}

// When the buffer cannot grow, the call fails with a message and the buffer is as before the
// call (no part of the bitmap); the failure does not stick.
TEST_F(Collector, FailedGrowthIsReported) {
    const TestBitmap b = MakePage(PageKind::Noise, 8, 2000, 3);
    const Bytes expected = Reference(b, 1);
    out = kEarlier;
    out.reserve(2 * b.data.size());
    gRefuseNewAbove = 2 * b.data.size();
    EXPECT_EQ(JBIGCompress(BihFor(b, 1), b.data.data(), out, error), 0);
    gRefuseNewAbove = 0;
    EXPECT_EQ(out, kEarlier);
    EXPECT_STREQ(error.c_str(),
                 "JBIGCompress() :: out of memory collecting the coded data\nolder text\n");
    EXPECT_EQ(JBIGCompress(BihFor(b, 1), b.data.data(), out, error), 1);
    EXPECT_EQ(out, Concat(kEarlier, expected));
}

// The encoder's node allocator running out surfaces as a failed JBIGCompress, whether it runs
// out at once or after some stripes were handed to the collector: the buffer keeps only what
// it held before. The allocator is the one the caller passes.
TEST_F(Collector, EncoderOutOfMemoryIsReported) {
    const TestBitmap b = MakePage(PageKind::Noise, 1024, 300, 8); // ~16 KiB per 128 lines
    const auto stripes = JbigSplitStripes(Reference(b, 128));
    ASSERT_EQ(stripes.size(), 3u);
    const int firstStripeNodes = int((stripes[0].size() + 4095) / 4096);
    for (int allowed : {0, firstStripeNodes + 1}) {
        SCOPED_TRACE(allowed);
        Bytes collected = kEarlier;
        ErrorText text;
        text.Set("older text\n");
        gNodeAllocsLeft = allowed;
        EXPECT_EQ(JBIGCompress(BihFor(b, 128), b.data.data(), collected, text, LimitedNodeAlloc),
                  0);
        EXPECT_EQ(collected, kEarlier);
        EXPECT_STREQ(text.c_str(),
                     "JBIGCompress() :: kelvra_compress: out of memory for the output chain\n"
                     "older text\n");
    }
    gNodeAllocsLeft = 1000;
    EXPECT_EQ(JBIGCompress(BihFor(b, 128), b.data.data(), out, error, LimitedNodeAlloc), 1);
    EXPECT_EQ(JbigSplitStripes(out), stripes);
    EXPECT_LT(gNodeAllocsLeft, 1000) << "the nodes came from the caller's allocator";
}

} // namespace
