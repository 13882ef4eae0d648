// The page collector: JBIGCompress gathers the encoder's stripe data in gpCompImgData, grows
// the buffer instead of writing past it, and reports failures through prntLastError.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "common/globals.h"
#include "jbig/jbig_compress.h"
#include "jbig/kelvra_compress.h"
#include "tests/support/jbig_decode.h"
#include "tests/unit/jbig/test_bitmaps.h"

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

void collect(const unsigned char *buffer, size_t len, void *file) {
    auto *out = static_cast<Bytes *>(file);
    out->insert(out->end(), buffer, buffer + len);
}

Bytes Reference(const TestBitmap &b, uint32_t l0) {
    Bytes out;
    EXPECT_TRUE(kelvra_compress(b.width, b.height, l0, b.data.data(), &out, collect));
    return out;
}

// Each test starts with the collector as the page-data code sets it up: a zeroed buffer of
// twice the raw size of the bitmap, its capacity, and a count of 0.
class Collector : public ::testing::Test {
  protected:
    void Prepare(size_t raw) {
        gCompImgDataCap = 2 * raw;
        gpCompImgData = static_cast<unsigned char *>(std::calloc(gCompImgDataCap, 1));
        ASSERT_NE(gpCompImgData, nullptr);
        gJbigCompressDataLen = 0;
        std::strcpy(prntLastError, "older text\n");
    }
    void TearDown() override {
        std::free(gpCompImgData);
        gpCompImgData = nullptr;
        gCompImgDataCap = 0;
        gJbigCompressDataLen = 0;
        jbig_collect_realloc = std::realloc;
        prntLastError[0] = '\0';
    }
    Bytes Collected() const { return Bytes(gpCompImgData, gpCompImgData + gJbigCompressDataLen); }
};

// A page within the capacity is collected in place, byte for byte as the encoder emits it.
TEST_F(Collector, CollectsThePageInPlace) {
    const TestBitmap b = MakePage(PageKind::Text, 1600, 900, 5);
    Prepare(b.data.size());
    unsigned char *const before = gpCompImgData;
    ASSERT_EQ(JBIGCompress(BihFor(b, 256), b.data.data()), 1);
    EXPECT_EQ(gpCompImgData, before);
    EXPECT_EQ(Collected(), Reference(b, 256));
    Bytes decoded;
    std::string error;
    ASSERT_TRUE(JbigDecodeStripes(Collected(), 1600, 900, 256, 0x58, decoded, error, 3)) << error;
    EXPECT_EQ(decoded, b.data);
    EXPECT_STREQ(prntLastError, "older text\n");
}

// Coded data larger than twice the raw bitmap (narrow noise in one-line stripes: every line
// costs a marker plus its coded bytes) grows the buffer instead of overrunning it.
TEST_F(Collector, GrowsWhenCodedDataExceedsTwiceTheRawSize) {
    struct Case {
        PageKind kind;
        uint32_t width, height, l0;
    } cases[] = {{PageKind::Noise, 8, 2000, 1},
                 {PageKind::Noise, 16, 777, 1},
                 {PageKind::Halftone, 8, 3000, 1}};
    for (const Case &c : cases) {
        const TestBitmap b = MakePage(c.kind, c.width, c.height, 11);
        Prepare(b.data.size());
        ASSERT_EQ(JBIGCompress(BihFor(b, c.l0), b.data.data()), 1);
        const Bytes expected = Reference(b, c.l0);
        ASSERT_GT(expected.size(), 2 * b.data.size()) << "case does not exceed the capacity";
        EXPECT_EQ(Collected(), expected);
        EXPECT_GE(gCompImgDataCap, size_t(gJbigCompressDataLen));
        Bytes decoded;
        std::string error;
        ASSERT_TRUE(JbigDecodeStripes(Collected(), c.width, c.height, c.l0, 0x48, decoded, error))
            << error;
        EXPECT_EQ(decoded, b.data);
        TearDown();
    }
}

// With no buffer at all the collector allocates one; a second bitmap is appended behind the
// first when the caller does not reset the count.
TEST_F(Collector, AllocatesWhenEmptyAndAppends) {
    const TestBitmap a = MakePage(PageKind::Halftone, 512, 300, 1);
    const TestBitmap b = MakePage(PageKind::Text, 512, 300, 2);
    ASSERT_EQ(JBIGCompress(BihFor(a, 128), a.data.data()), 1);
    ASSERT_NE(gpCompImgData, nullptr);
    ASSERT_EQ(JBIGCompress(BihFor(b, 128), b.data.data()), 1);
    Bytes expected = Reference(a, 128);
    const Bytes second = Reference(b, 128);
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(Collected(), expected);
}

// A null bitmap codes nothing, changes nothing and reports nothing.
TEST_F(Collector, NullBitmapReturnsZeroAndLeavesStateAlone) {
    Prepare(100);
    gJbigCompressDataLen = 17;
    JBIG_BIH bih{};
    bih.ParamImgWidth = 8;
    bih.ParamImgHeight = 8;
    bih.ParamL0 = 8;
    EXPECT_EQ(JBIGCompress(bih, nullptr), 0);
    EXPECT_EQ(gJbigCompressDataLen, 17);
    EXPECT_STREQ(prntLastError, "older text\n");
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
        {8, 8, 0, "JBIGCompress() :: kelvra_compress: l0 != 0\n"},
        {(1ull << 32) + 8, 8, 8, "JBIGCompress() :: image size out of range\n"},
        {8, 1ull << 32, 8, "JBIGCompress() :: image size out of range\n"},
    };
    for (const Case &c : cases) {
        Prepare(100);
        JBIG_BIH bih{};
        bih.ParamImgWidth = c.width;
        bih.ParamImgHeight = c.height;
        bih.ParamL0 = c.l0;
        EXPECT_EQ(JBIGCompress(bih, pixels), 0);
        EXPECT_EQ(gJbigCompressDataLen, 0);
        EXPECT_EQ(std::string(prntLastError), std::string(c.message) + "older text\n");
        TearDown();
    }
}

void *FailingRealloc(void *, size_t) {
    return nullptr;
}

// When the buffer cannot grow, the call fails with a message; what was stored stays within the
// capacity and is a prefix of the coded data.
TEST_F(Collector, FailedGrowthIsReported) {
    const TestBitmap b = MakePage(PageKind::Noise, 8, 2000, 3);
    Prepare(b.data.size());
    unsigned char *const before = gpCompImgData;
    jbig_collect_realloc = FailingRealloc;
    EXPECT_EQ(JBIGCompress(BihFor(b, 1), b.data.data()), 0);
    EXPECT_EQ(gpCompImgData, before);
    EXPECT_EQ(gCompImgDataCap, 2 * b.data.size());
    EXPECT_LE(size_t(gJbigCompressDataLen), gCompImgDataCap);
    const Bytes expected = Reference(b, 1);
    ASSERT_LT(size_t(gJbigCompressDataLen), expected.size());
    EXPECT_EQ(Collected(), Bytes(expected.begin(), expected.begin() + gJbigCompressDataLen));
    EXPECT_STREQ(prntLastError,
                 "JBIGCompress() :: out of memory collecting the coded data\nolder text\n");
    // The failure does not stick: the next bitmap is collected normally.
    jbig_collect_realloc = std::realloc;
    gJbigCompressDataLen = 0;
    EXPECT_EQ(JBIGCompress(BihFor(b, 1), b.data.data()), 1);
    EXPECT_EQ(Collected(), expected);
}

// The node allocator failing inside the encoder surfaces as a failed JBIGCompress.
TEST_F(Collector, EncoderOutOfMemoryIsReported) {
    const TestBitmap b = MakePage(PageKind::Text, 256, 64, 8);
    Prepare(b.data.size());
    kelvra_buff_alloc = [](size_t) -> void * { return nullptr; };
    const int rc = JBIGCompress(BihFor(b, 64), b.data.data());
    kelvra_buff_alloc = std::malloc;
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(gJbigCompressDataLen, 0);
    EXPECT_STREQ(prntLastError,
                 "JBIGCompress() :: kelvra_compress: out of memory for the output chain\n"
                 "older text\n");
}

} // namespace
