// The colour library's entry point: record validation, results, messages, output sizing, the
// version stamp, and the library's exported surface.
#include "tests/unit/cmslib/cms_loader.h"

#include <climits>
#include <cstdio>
#include <set>
#include <sstream>

namespace {

// Output lines of a shell command.
std::vector<std::string> CommandLines(const std::string &command) {
    std::vector<std::string> lines;
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return lines;
    char buf[512];
    while (std::fgets(buf, sizeof buf, pipe) != nullptr) {
        std::string line(buf);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        lines.push_back(line);
    }
    pclose(pipe);
    return lines;
}

class CmsEntry : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(lib.Complete()) << dlerror(); }
    CmsLib lib;
};

TEST_F(CmsEntry, ExportsExactlyItsSevenEntryPoints) {
    std::set<std::string> names;
    for (const std::string &line :
         CommandLines(std::string("nm -D --defined-only ") + KELVRA_CMSLIB_BIN)) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (fields >> address >> type >> name) names.insert(name);
    }
    const std::set<std::string> expected = {
        "GetCMSDllVersion", "GDIPrintCMSmain", "GDIPrintCMSmainWithMessages",
        "MONOtoMONO",       "RGBtoMONO",       "BrightnessLevelLut",
        "ContrastLevelLut"};
    EXPECT_EQ(names, expected);
}

TEST_F(CmsEntry, NeedsOnlyTheCAndCxxRuntimesAndMaths) {
    std::set<std::string> allowed = {"libc.so.6", "libm.so.6", "libstdc++.so.6", "libgcc_s.so.1"};
#if defined(__SANITIZE_ADDRESS__)
    allowed.insert({"libasan.so.8", "libubsan.so.1"});
#endif
    int needed = 0;
    for (const std::string &line :
         CommandLines(std::string("readelf -d ") + KELVRA_CMSLIB_BIN + " | grep NEEDED")) {
        const size_t open = line.find('['), close = line.find(']');
        ASSERT_NE(open, std::string::npos) << line;
        const std::string lib_name = line.substr(open + 1, close - open - 1);
        EXPECT_TRUE(allowed.count(lib_name)) << "unexpected dependency " << lib_name;
        ++needed;
    }
    EXPECT_GT(needed, 0);
}

TEST_F(CmsEntry, ReportsItsVersion) {
    EXPECT_EQ(lib.version(), 16777218);
}

TEST_F(CmsEntry, NullRecordsAreRefusedInOrderWithTheirMessages) {
    CmsPage page(16, 2, 0x80, 1);
    page.src.ColorSrcData = page.grey.data();
    page.dst.ColorDstData = page.bitmap.data();
    page.dst.cbSize = static_cast<int32_t>(page.bitmap.size());
    CMS_TRANSFER_SRC noData = page.src;
    noData.ColorSrcData = nullptr;

    struct Case {
        CMS_TRANSFER_SRC *src;
        CMS_SETTINGS *settings;
        CMS_TRANSFER_DST *dst;
        const char *message;
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr, "cms: A NULL pSrc for CMS!\n"},
        {&noData, &page.settings, &page.dst, "cms: A NULL ColorSrcData for CMS!\n"},
        {&page.src, nullptr, nullptr, "cms: A NULL pSettings for CMS!\n"},
        {&page.src, &page.settings, nullptr, "cms: A NULL pDst for CMS!\n"},
    };
    for (const Case &c : cases) {
        int result = 0;
        const std::string err =
            CaptureStderrOf([&] { result = lib.print(c.src, c.settings, c.dst); });
        EXPECT_EQ(result, -10) << c.message;
        EXPECT_EQ(err, std::string("cms: Welcome to CMS!\n") + c.message);
    }
    // All four are refused before the version stamp.
    EXPECT_EQ(+noData.iStructVersion, 0);
    EXPECT_EQ(+page.src.iStructVersion, 0);
}

TEST_F(CmsEntry, ValidatesPositionWidthHeightAndLineLength) {
    struct Case {
        uint16_t x, y, width, height;
        uint32_t lineByte;
        int result;
        const char *message; // expected somewhere on standard error
    };
    const Case cases[] = {
        {40819, 40819, 16, 2, 16, 0, "cms: GDI_ht complete!\n"},
        {40820, 0, 16, 2, 16, -5, "invalid InputDataX or Y!\n"},
        {0, 40820, 16, 2, 16, -5, "invalid InputDataX or Y!\n"},
        {0, 0, 4956, 2, 4956, -3, "cms: Illegal input inWidth!\n"},
        {0, 0, 4960, 2, 4960, 0, "cms: Okay inWidth can divided by 8!\n"},
        {0, 0, 0, 2, 16, -3, "cms: Illegal input inWidth!\n"},
        {0, 0, 16, 0, 16, -4, "cms: Illegal input inHeight!\n"},
        {0, 0, 16, 2, 0, -1, "cms: Illegal input InputDataLineByte is 0!\n"},
        {0, 0, 16, 2, 8, -1, "cms: Illegal input InputDataLineByte less than inWidth!\n"},
        {0, 0, 16, 2, 24, 0, "cms: Okay inHeight more than 0!\n"},
    };
    for (const Case &c : cases) {
        CmsPage page(16, 2, 0x80, 1);
        page.grey.assign(size_t{c.lineByte} * c.height + size_t{c.width} * 2 + 64, 0x80);
        page.bitmap.assign(size_t{c.width} / 4 * c.height + 1, 0);
        page.src.InputDataX = c.x;
        page.src.InputDataY = c.y;
        page.src.InputDataWidth = c.width;
        page.src.InputDataHeight = c.height;
        page.src.InputDataLineByte = c.lineByte;
        int result = 1;
        const std::string err = CaptureStderrOf([&] { result = page.Run(lib); });
        EXPECT_EQ(result, c.result) << c.width << "x" << c.height << " at " << c.x << "," << c.y;
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
        EXPECT_NE(err.find("cms: version:4097\n"), std::string::npos);
        EXPECT_EQ(+page.src.iStructVersion, 4097);
    }
}

TEST_F(CmsEntry, SuccessfulCallWritesTheMessagesInOrderAndTheOutputFields) {
    CmsPage page(32, 3, 0x80, 1);
    page.src.InputDataX = 7;
    page.src.InputDataY = 9;
    page.dst.OutputBitMode = 0; // overwritten from the settings
    int result = 1;
    const std::string err = CaptureStderrOf([&] { result = page.Run(lib); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(err, "cms: Welcome to CMS!\n"
                   "cms: version:4097\n"
                   "cms: Okay inWidth can divided by 8!\n"
                   "cms: Okay inHeight more than 0!\n"
                   "inLineByte, inWidth is 32, 32 !\n"
                   "GDI_sRGB2CMYK complete!\n"
                   "cms: GDI_ht complete!\n");
    EXPECT_EQ(+page.dst.cbStructSize, 35);
    EXPECT_EQ(+page.dst.OutputDataX, 7);
    EXPECT_EQ(+page.dst.OutputDataY, 9);
    EXPECT_EQ(+page.dst.OutputDataWidth, 32);
    EXPECT_EQ(+page.dst.OutputDataHeight, 3);
    EXPECT_EQ(+page.dst.OutputDataLineByte, 8);
    EXPECT_EQ(+page.dst.OutputBitMode, 1);
    EXPECT_EQ(+page.dst.cbSize, 24);
}

// The entry point with a message function hands it the very text the plain entry point writes to
// standard error (a refused call, a successful one), and writes nothing there itself; its
// bitmap is the same.
TEST_F(CmsEntry, TheMessagesGoToTheCallersFunctionInsteadOfStandardError) {
    for (uint16_t width : {uint16_t{32}, uint16_t{12}}) {
        SCOPED_TRACE(width);
        CmsPage plain(width, 3, 0x80, 1), handed(width, 3, 0x80, 1);
        int plainResult = 1, handedResult = 2;
        const std::string expected = CaptureStderrOf([&] { plainResult = plain.Run(lib); });
        std::string received;
        const std::string err = CaptureStderrOf([&] {
            handed.src.ColorSrcData = handed.grey.data();
            handed.dst.ColorDstData = handed.bitmap.data();
            handed.dst.cbSize = static_cast<int32_t>(handed.bitmap.size());
            handedResult = lib.printWithMessages(
                &handed.src, &handed.settings, &handed.dst,
                [](void *context, const char *text) {
                    *static_cast<std::string *>(context) += text;
                },
                &received);
        });
        EXPECT_EQ(handedResult, plainResult);
        EXPECT_EQ(received, expected);
        EXPECT_NE(received.find("cms: Welcome to CMS!\n"), std::string::npos);
        EXPECT_EQ(err, "");
        EXPECT_EQ(handed.bitmap, plain.bitmap);
    }
}

TEST_F(CmsEntry, SizeQueryReportsTheBytesNeeded) {
    struct Case {
        uint8_t bitMode;
        uint16_t lineByte;
        int32_t needed;
    };
    // An A4 page at 600 dpi: 4960 x 7016 pixels.
    const Case cases[] = {
        {0, 620, 4349920}, {1, 1240, 8699840}, {2, 2480, 17399680}, {3, 4960, 34799360}};
    for (const Case &c : cases) {
        CmsPage page(8, 1, 0xFF, c.bitMode);
        page.src.ColorSrcData = page.grey.data(); // never read: the query stops before
        page.src.InputDataWidth = 4960;
        page.src.InputDataLineByte = 4960;
        page.src.InputDataHeight = 7016;
        page.dst.ColorDstData = nullptr;
        page.dst.cbSize = 0;
        int result = 0;
        CaptureStderrOf([&] { result = lib.print(&page.src, &page.settings, &page.dst); });
        EXPECT_EQ(result, -9) << int(c.bitMode);
        EXPECT_EQ(+page.dst.OutputDataLineByte, c.lineByte);
        EXPECT_EQ(+page.dst.cbSize, c.needed);

        // With the capacity right but no buffer, the result is -10 and the size is reported again.
        page.dst.cbSize = c.needed;
        std::string err;
        err = CaptureStderrOf([&] { result = lib.print(&page.src, &page.settings, &page.dst); });
        EXPECT_EQ(result, -10);
        EXPECT_EQ(+page.dst.cbSize, c.needed);
        EXPECT_NE(err.find("cms: A NULL ColorDstData for CMS!\n"), std::string::npos);
    }
}

TEST_F(CmsEntry, OneByteShortOfTheNeededSizeIsRefusedAndNothingWritten) {
    CmsPage page(64, 4, 0x00, 1);
    page.bitmap.assign(64, 0xA5);
    page.src.ColorSrcData = page.grey.data();
    page.dst.ColorDstData = page.bitmap.data();
    page.dst.cbSize = 63;
    int result = 0;
    CaptureStderrOf([&] { result = lib.print(&page.src, &page.settings, &page.dst); });
    EXPECT_EQ(result, -9);
    EXPECT_EQ(+page.dst.cbSize, 64);
    EXPECT_EQ(page.bitmap, std::vector<uint8_t>(64, 0xA5));
}

TEST_F(CmsEntry, SizeBeyondThe32BitFieldIsRefusedWithTheLargestSize) {
    // 65528 pixels of 8 bits on 65535 lines need more than 2^31 bytes.
    CmsPage page(8, 1, 0xFF, 3);
    page.src.ColorSrcData = page.grey.data();
    page.src.InputDataWidth = 65528;
    page.src.InputDataLineByte = 65528;
    page.src.InputDataHeight = 65535;
    page.dst.ColorDstData = page.bitmap.data();
    page.dst.cbSize = INT32_MAX;
    int result = 0;
    CaptureStderrOf([&] { result = lib.print(&page.src, &page.settings, &page.dst); });
    EXPECT_EQ(result, -9);
    EXPECT_EQ(+page.dst.cbSize, INT32_MAX);
}

TEST_F(CmsEntry, CapacityBeyondTheNeedIsZeroedUpToTheStatedSizeOnly) {
    CmsPage page(16, 2, 0xFF, 1); // white: the bitmap itself stays zero
    page.bitmap.assign(32, 0xA5);
    page.src.ColorSrcData = page.grey.data();
    page.dst.ColorDstData = page.bitmap.data();
    page.dst.cbSize = 20; // 8 bytes needed, 20 stated, 32 allocated
    int result = 1;
    CaptureStderrOf([&] { result = lib.print(&page.src, &page.settings, &page.dst); });
    EXPECT_EQ(result, 0);
    for (size_t k = 0; k < page.bitmap.size(); ++k)
        EXPECT_EQ(page.bitmap[k], k < 20 ? 0 : 0xA5) << k;
}

} // namespace
