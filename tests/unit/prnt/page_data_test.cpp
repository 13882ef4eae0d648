#include "prnt/page_data.h"
#include "prnt/prnt.h"
#include "prnt_test_util.h"
#include "tests/support/jbig_decode.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace prnt_test;

namespace {
constexpr uint8_t kCodedOptions = 0x48; // what the encoder codes: two-line template, TPBON

// A deterministic bitmap of `lines` lines of `bytesPerLine` bytes: white margins, text-like
// runs and, where `noise` is set, random bytes.
std::vector<uint8_t> MakeBitmap(uint32_t bytesPerLine, uint32_t lines, bool noise = false) {
    std::vector<uint8_t> b(std::size_t{bytesPerLine} * lines, 0);
    uint32_t seed = 12345;
    for (uint32_t y = 0; y < lines; ++y) {
        for (uint32_t x = 0; x < bytesPerLine; ++x) {
            seed = seed * 1103515245u + 12345u;
            uint8_t v = 0;
            if (noise)
                v = static_cast<uint8_t>(seed >> 16);
            else if (y % 40 > 8 && y % 40 < 20 && x % 7 < 4)
                v = static_cast<uint8_t>(seed >> 20);
            b[std::size_t{y} * bytesPerLine + x] = v;
        }
    }
    return b;
}

Bytes ToBytes(const std::string &s) {
    return Bytes(s.begin(), s.end());
}

// Decodes headerless stripe data and compares it with the expected bitmap.
void ExpectDecodesTo(const std::string &stripes, uint32_t xd, uint32_t yd, uint32_t l0,
                     const uint8_t *expected) {
    Bytes bitmap;
    std::string error;
    ASSERT_TRUE(JbigDecodeStripes(ToBytes(stripes), xd, yd, l0, kCodedOptions, bitmap, error))
        << error;
    ASSERT_EQ(bitmap.size(), std::size_t{xd / 8} * yd);
    EXPECT_TRUE(std::equal(bitmap.begin(), bitmap.end(), expected));
}

std::string CodedBytes(const TestJob &job) {
    return std::string(job.stream.coded.begin(), job.stream.coded.end());
}

class SendPageTest : public ::testing::Test {
  protected:
    GDI_SEND_PAGE_PARAM Page(uint16_t w, uint16_t h, std::vector<uint8_t> &bitmap) {
        GDI_SEND_PAGE_PARAM sp{};
        sp.compression = 0x20;
        sp.whlImgW = w;
        sp.whlImgH = h;
        sp.sendImgBuf = bitmap.data();
        return sp;
    }
    // Sends the page on `job` and returns what the printer received with it.
    std::string Send(TestJob &job, GDI_SEND_PAGE_PARAM &sp, int blank = 0, int expected = 1) {
        const std::size_t before = job.Out().size();
        EXPECT_EQ(Prnt_SendPage(job.stream, sp, blank), expected);
        return job.Out().substr(before);
    }
};

TEST_F(SendPageTest, PlatformCSendsOneImageBehindTheRasterFrame) {
    TestJob job(PLATFORM_C);
    auto bitmap = MakeBitmap(64 / 8, 300);
    auto sp = Page(64, 300, bitmap);
    sp.rasImgW = 64;
    sp.rasImgH = 128;
    const std::string out = Send(job, sp);
    ASSERT_GT(out.size(), 18u);
    const std::string frame = out.substr(0, 18), data = out.substr(18);
    EXPECT_EQ(ToHex(frame),
              ToHex(wire::RasterImage{0x20, 64, 300, 64, 128, uint32_t(data.size())}.Frame()));
    EXPECT_EQ(sp.cmpImgBytes, static_cast<int32_t>(data.size()));
    ExpectDecodesTo(data, 64, 300, 128, bitmap.data());
    EXPECT_EQ(job.stream.imageChecksum, (ByteSum(data) + 0x9E) % 256);
    EXPECT_EQ(CodedBytes(job), data); // the coded page stays with the stream
}

// The coded bytes of a page replace the last page's: a page sends the same bytes whatever
// page the stream sent before.
TEST_F(SendPageTest, PageAfterAPageSendsWhatItSendsAlone) {
    for (int platform : {PLATFORM_C, PLATFORM_Z, PLATFORM_M}) {
        SCOPED_TRACE(platform);
        auto noise = MakeBitmap(64 / 8, 300, true);
        auto text = MakeBitmap(64 / 8, 20);
        auto first = Page(64, 300, noise);
        auto second = Page(64, 20, text);
        first.rasImgH = second.rasImgH = 128;
        TestJob alone(platform);
        const std::string expected = Send(alone, second);
        TestJob job(platform);
        Send(job, first);
        EXPECT_EQ(ToHex(Send(job, second)), ToHex(expected));
        EXPECT_EQ(CodedBytes(job), CodedBytes(alone));
        EXPECT_EQ(job.stream.imageChecksum, alone.stream.imageChecksum);
    }
}

// Takes apart the band frames that follow the raster image frame of platform Z.
std::vector<wire::Band> SplitBands(const std::string &s) {
    std::string error;
    const auto bands = wire::Band::Split(s, error);
    EXPECT_EQ(error, "");
    return bands;
}

TEST_F(SendPageTest, PlatformZSends600LinesAsBandsOf256_256_88) {
    TestJob job(PLATFORM_Z);
    job.stream.imageCoverage = 5 * 1000;
    auto bitmap = MakeBitmap(96 / 8, 600);
    auto sp = Page(96, 600, bitmap);
    sp.cmpImgBytes = 853;
    const std::string out = Send(job, sp);
    EXPECT_EQ(ToHex(out.substr(0, 7)), ToHex(Hex("0B 07 19 05 00 00 D0")));
    EXPECT_EQ(ToHex(out.substr(7, 2)), ToHex(Hex("00 00")));
    // Platform Z reports no stripe and no compressed size.
    EXPECT_EQ(ToHex(out.substr(9, 18)), ToHex(wire::RasterImage{0x20, 96, 600}.Frame()));
    const auto bands = SplitBands(out.substr(27));
    ASSERT_EQ(bands.size(), 3u);
    const uint32_t heights[] = {256, 256, 88};
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(bands[i].xd, 96u);
        EXPECT_EQ(bands[i].l0, heights[i]);
        EXPECT_EQ(bands[i].yd, heights[i]);
        EXPECT_EQ(bands[i].posVert, 256u * i);
        ExpectDecodesTo(bands[i].data, 96, heights[i], heights[i],
                        bitmap.data() + std::size_t{12} * 256 * i);
    }
    EXPECT_EQ(sp.cmpImgBytes, 0);
    EXPECT_EQ(job.stream.imageChecksum, (ByteSum(bands[2].data) + 0x9E) % 256);
}

TEST_F(SendPageTest, PlatformZHeightOfWholeBandsHasNoShortBand) {
    TestJob job(PLATFORM_Z, ModelGroup::QV); // no separator for the QV models
    job.settings.colorBits = 1;
    auto bitmap = MakeBitmap(8, 512);
    auto sp = Page(8, 512, bitmap);
    const std::string out = Send(job, sp, 3);
    EXPECT_EQ(ToHex(out.substr(0, 7)), ToHex(Hex("0B 07 19 01 00 00 D4"))); // blank page
    const auto bands = SplitBands(out.substr(7 + 18));
    ASSERT_EQ(bands.size(), 2u);
    EXPECT_EQ(bands[1].yd, 256u);
}

// 2-bit pages of the QV models are coded twice as wide; the band frame reports the pixels.
TEST_F(SendPageTest, PlatformZQV2BitBandsReportThePixelWidth) {
    TestJob job(PLATFORM_Z, ModelGroup::QV);
    job.settings.colorBits = 2;
    auto bitmap = MakeBitmap(128 / 8, 40);
    auto sp = Page(64, 40, bitmap);
    const std::string out = Send(job, sp);
    const auto bands = SplitBands(out.substr(7 + 18));
    ASSERT_EQ(bands.size(), 1u);
    EXPECT_EQ(bands[0].xd, 64u);
    ExpectDecodesTo(bands[0].data, 128, 40, 40, bitmap.data());
}

// Takes apart the platform M page data: parameter block, packages, end block.
std::vector<wire::Package> SplitPackages(const std::string &s, std::string &param) {
    param = s.substr(0, wire::JbigParam::kSize);
    std::string error;
    const auto packages = wire::SplitPackages(s.substr(param.size()), error);
    EXPECT_EQ(error, "");
    return packages;
}

TEST_F(SendPageTest, PlatformMSendsPackagesOfAtMost65536Bytes) {
    TestJob job(PLATFORM_M);
    auto bitmap = MakeBitmap(1024 / 8, 1100, true); // noise: about 140 KB coded
    auto sp = Page(1024, 1100, bitmap);
    const std::string out = Send(job, sp);
    std::string param;
    const auto packages = SplitPackages(out, param);
    EXPECT_EQ(ToHex(param), ToHex(wire::JbigParam{1024, 1100, 256}.Block()));
    ASSERT_EQ(packages.size(), 3u);
    std::string coded;
    for (std::size_t i = 0; i < packages.size(); ++i) {
        if (i + 1 < packages.size()) {
            EXPECT_EQ(packages[i].length, 65552u);
        }
        coded += packages[i].data;
    }
    EXPECT_EQ(sp.cmpImgBytes, static_cast<int32_t>(coded.size()));
    ExpectDecodesTo(coded, 1024, 1100, 256, bitmap.data());
}

TEST_F(SendPageTest, PlatformMParameterBlockWidthPerModelGroup) {
    struct Case {
        ModelGroup group;
        uint32_t xd;
    } cases[] = {{ModelGroup::QV, 64}, {ModelGroup::Mirodel, 128}};
    for (const auto &c : cases) {
        TestJob job(PLATFORM_M, c.group);
        job.settings.colorBits = 2;
        auto bitmap = MakeBitmap(128 / 8, 20);
        auto sp = Page(64, 20, bitmap);
        const std::string out = Send(job, sp);
        std::string param;
        const auto packages = SplitPackages(out, param);
        EXPECT_EQ(wire::Be32At(param, wire::JbigParam::kXd), c.xd) << static_cast<int>(c.group);
        ASSERT_EQ(packages.size(), 1u);
        ExpectDecodesTo(packages[0].data, 128, 20, 256, bitmap.data());
    }
}

TEST_F(SendPageTest, PlatformMExactMultipleOf65536GivesOnlyFullPackages) {
    JBIG_BIH bih{};
    for (std::size_t n : {1u, 2u}) {
        TestJob job(PLATFORM_M);
        std::vector<uint8_t> coded(65536 * n, 0x5A);
        ASSERT_EQ(SendJbigPackagesM(job.stream, bih, coded), 1);
        const std::string &out = job.Out();
        std::string param;
        const auto packages = SplitPackages(out, param);
        ASSERT_EQ(packages.size(), n);
        for (const auto &p : packages)
            EXPECT_EQ(p.length, 65552u);
        EXPECT_EQ(ToHex(out.substr(36, 4)), ToHex(Hex("00 01 00 10")));
    }
    TestJob job(PLATFORM_M);
    std::vector<uint8_t> small(1000, 1);
    ASSERT_EQ(SendJbigPackagesM(job.stream, bih, small), 1);
    const std::string &out = job.Out();
    std::string param;
    const auto packages = SplitPackages(out, param);
    ASSERT_EQ(packages.size(), 1u);
    EXPECT_EQ(packages[0].length, 1016u);
}

// A tiny noisy page codes to more than twice its raw size, past the capacity the page
// buffers would have had; the page still goes out whole and decodes.
TEST_F(SendPageTest, CodedDataLargerThanTwiceTheRawSize) {
    for (int platform : {PLATFORM_C, PLATFORM_Z, PLATFORM_M}) {
        TestJob job(platform);
        auto bitmap = MakeBitmap(1, 2, true);
        auto sp = Page(8, 2, bitmap);
        sp.rasImgH = 768;
        const std::string out = Send(job, sp);
        std::string coded;
        if (platform == PLATFORM_C) coded = out.substr(18);
        if (platform == PLATFORM_Z) coded = SplitBands(out.substr(9 + 18)).at(0).data;
        if (platform == PLATFORM_M) {
            std::string param;
            coded = SplitPackages(out, param).at(0).data;
        }
        EXPECT_GT(coded.size(), 2 * bitmap.size()) << platform;
        ExpectDecodesTo(coded, 8, 2,
                        platform == PLATFORM_C   ? 768
                        : platform == PLATFORM_Z ? 2
                                                 : 256,
                        bitmap.data());
    }
}

TEST_F(SendPageTest, PageThatCannotBeCodedSendsNothing) {
    auto bitmap = MakeBitmap(2, 10);
    auto sp = Page(12, 10, bitmap); // not a whole number of bytes per line
    sp.rasImgH = 768;
    for (int platform : {PLATFORM_C, PLATFORM_Z, PLATFORM_M}) {
        TestJob job(platform);
        job.error.Set("older text\n");
        EXPECT_EQ(Send(job, sp, 0, 0), "");
        const std::string text = job.error.c_str();
        EXPECT_EQ(text.rfind("Prnt_SendPage() :: JBIG compression Fail .  \nJBIGCompress() :: ", 0),
                  0u)
            << text;
        EXPECT_EQ(text.substr(text.size() - 11), "older text\n");
    }
    TestJob job(PLATFORM_C);
    sp.sendImgBuf = nullptr;
    EXPECT_EQ(Send(job, sp, 0, 0), "");
    TestJob jobZ(PLATFORM_Z);
    auto empty = Page(8, 0, bitmap);
    EXPECT_EQ(Send(jobZ, empty, 0, 0), "");
    EXPECT_EQ(std::string(jobZ.error.c_str())
                  .rfind("Prnt_SendPage() :: JBIG compression Fail .  \n"
                         "OutputJbigkitCompression() :: empty bitmap\n",
                         0),
              0u)
        << jobZ.error.c_str();
}

TEST_F(SendPageTest, UnknownPlatformSendsNothing) {
    TestJob job(PLATFORM_NONE);
    job.error.Set("untouched");
    auto bitmap = MakeBitmap(1, 8);
    auto sp = Page(8, 8, bitmap);
    EXPECT_EQ(Send(job, sp, 0, 0), "");
    EXPECT_STREQ(job.error.c_str(), "untouched");
}

TEST(ImageChecksum, AddsTheUniversalExitBytes) {
    const uint8_t zeroSum[] = {0x01, 0xFF};
    EXPECT_EQ(ImageChecksum(zeroSum, 2), 0x9Eu);
    EXPECT_EQ(ImageChecksum(nullptr, 0), 0x9Eu);
    const uint8_t one[] = {0x70};
    EXPECT_EQ(ImageChecksum(one, 1), 0x0Eu);
}

struct DataFailCase {
    int platform;
    int failWrite;
    const char *message;
};

TEST_F(SendPageTest, FailingSendStopsThePage) {
    const DataFailCase cases[] = {
        {PLATFORM_C, 1, "Prnt_SendPage() :: send cmdRasterImage Fail .  \n"},
        {PLATFORM_C, 2, "Prnt_SendPage() :: Send compressed data and cmd fail.  \n"},
        {PLATFORM_Z, 1, "Prnt_SendPage() :: send cmdCoverage Fail 0 ==  \n"},
        {PLATFORM_Z, 4, "Prnt_SendPage() :: Send compressed data and cmd fail.  \n"},
        {PLATFORM_M, 1, "Prnt_SendPage() :: send JBIG_PARAM_CMD Fail 0 ==  \n"},
        {PLATFORM_M, 2, "Prnt_SendPage() :: send JBIG_DATA_CMD Fail 0 ==  \n"},
        {PLATFORM_M, 3, "Prnt_SendPage() :: Send compressed data and cmd fail.  \n"},
        {PLATFORM_M, 4, "Prnt_SendPage() :: send JBIG_END_CMD Fail 0 ==  \n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.platform) + " write " + std::to_string(c.failWrite));
        TestJob job(c.platform);
        auto bitmap = MakeBitmap(8, 100);
        auto sp = Page(64, 100, bitmap);
        sp.rasImgH = 768;
        job.error.Set("older text\n");
        job.writer.failAt = c.failWrite;
        Send(job, sp, 0, 0);
        EXPECT_EQ(job.writer.writes.size(), static_cast<std::size_t>(c.failWrite));
        EXPECT_EQ(std::string(job.error.c_str()).rfind(c.message, 0), 0u) << job.error.c_str();
    }
}
} // namespace
