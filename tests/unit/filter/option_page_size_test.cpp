#include "filter/options.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "tests/unit/filter/option_test_ppd.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

struct ParsedOptions {
    explicit ParsedOptions(const char *text) { num = cupsParseOptions(text, 0, &options); }
    ~ParsedOptions() { cupsFreeOptions(num, options); }
    int num = 0;
    cups_option_t *options = nullptr;
};

struct PpdCloser {
    void operator()(ppd_file_t *p) const { ppdClose(p); }
};
using PpdHandle = std::unique_ptr<ppd_file_t, PpdCloser>;

// Page sizes and the custom page size with the given largest width and height, in points.
std::string PageSizeEntries(int maxWidth, int maxHeight, bool custom) {
    std::string s = "*OpenUI *PageSize: PickOne\n*DefaultPageSize: Letter\n"
                    "*PageSize Letter: \"\"\n*PageSize A4: \"\"\n*CloseUI: *PageSize\n"
                    "*DefaultPaperDimension: Letter\n*PaperDimension Letter: \"612 792\"\n"
                    "*PaperDimension A4: \"595 842\"\n"
                    "*DefaultImageableArea: Letter\n*ImageableArea Letter: \"0 0 612 792\"\n"
                    "*ImageableArea A4: \"0 0 595 842\"\n";
    if (custom) {
        s += "*VariablePaperSize: True\n*HWMargins: 0 0 0 0\n";
        s += "*MaxMediaWidth: \"" + std::to_string(maxWidth) + "\"\n";
        s += "*MaxMediaHeight: \"" + std::to_string(maxHeight) + "\"\n";
        s += "*CustomPageSize True: \"pop pop pop pop pop\"\n";
        s += "*ParamCustomPageSize Width: 1 points 72 " + std::to_string(maxWidth) + "\n";
        s += "*ParamCustomPageSize Height: 2 points 72 " + std::to_string(maxHeight) + "\n";
        s += "*ParamCustomPageSize WidthOffset: 3 points 0 0\n"
             "*ParamCustomPageSize HeightOffset: 4 points 0 0\n"
             "*ParamCustomPageSize Orientation: 5 int 0 0\n";
    }
    return s;
}

// A small paper table with the end row, in the catalogue's row format.
const PAPER_SIZE_INFO kTable[] = {
    {595, 842, 4760, 6736, 1, 0, 0, "A4"},
    {842, 1191, 6736, 9528, 8, 0, 0, "A3"},
    {612, 792, 4896, 6336, 2, 0, 0, "Letter"},
    {-1, 0, 0, 0, 0, 0, 0, ""},
};

TEST(PageSizeClamp, OversizedPagesTakeTheNamedRowOrTheLimits) {
    TempPpd file;
    file.Write({}, PageSizeEntries(612, 1008, true));
    PpdHandle ppd(ppdOpenFile(file.path().c_str()));
    ASSERT_NE(ppd, nullptr);
    struct Case {
        unsigned w, h;
        const char *options;
        const PAPER_SIZE_INFO *table;
        unsigned ew, eh;
    };
    const Case cases[] = {
        {900, 1300, "PageSize=A3", kTable, 842, 1191}, // the row wins even beyond the limits
        {900, 1300, "PageSize=a3", kTable, 612, 1008}, // row names compare case-sensitively
        {900, 1300, "PageSize=A", kTable, 612, 1008},  // whole names only
        {900, 1300, "", kTable, 612, 1008},
        {900, 1300, "PageSize=A3", nullptr, 612, 1008},
        {700, 500, "", kTable, 612, 500},
        {600, 1100, "Media=A3", kTable, 600, 1008},
        {612, 792, "PageSize=A3", kTable, 612, 792}, // within the limits: untouched
        {612, 1008, "PageSize=A3", kTable, 612, 1008},
    };
    for (const Case &c : cases) {
        cups_page_header2_t h;
        std::memset(&h, 0, sizeof h);
        h.PageSize[0] = c.w;
        h.PageSize[1] = c.h;
        ParsedOptions opts(c.options);
        isCutThePaper(&h, c.table, opts.num, opts.options, ppd.get());
        EXPECT_EQ(h.PageSize[0], c.ew) << c.w << "x" << c.h << " " << c.options;
        EXPECT_EQ(h.PageSize[1], c.eh) << c.w << "x" << c.h << " " << c.options;
    }
}

TEST(PageSizeClamp, NothingChangesWithoutPageSizeLimits) {
    TempPpd file;
    file.Write({}, PageSizeEntries(0, 0, false));
    PpdHandle ppd(ppdOpenFile(file.path().c_str()));
    ASSERT_NE(ppd, nullptr);
    for (ppd_file_t *p : {ppd.get(), static_cast<ppd_file_t *>(nullptr)}) {
        cups_page_header2_t h;
        std::memset(&h, 0, sizeof h);
        h.PageSize[0] = 5000;
        h.PageSize[1] = 6000;
        ParsedOptions opts("PageSize=A3");
        isCutThePaper(&h, kTable, opts.num, opts.options, p);
        EXPECT_EQ(h.PageSize[0], 5000u);
        EXPECT_EQ(h.PageSize[1], 6000u);
    }
}

TEST(MediaName, TakenFromPageSizeOrFromMediaInFrontOfItsParenthesis) {
    struct Case {
        const char *options;
        const char *expected;
    };
    const std::string longName(255, 'N');
    const std::string longOpt = "PageSize=" + longName;
    const std::string longMedia = "Media=" + std::string(150, 'M') + "(x)";
    const Case cases[] = {
        {"PageSize=A4", "A4"},
        {"Media=Letter(8.5x11in)", "Letter"},
        {"Media=Letter(8.5x11in) PageSize=Legal", "Legal"},
        {"Media=Letter", ""},
        {"Collate", ""},
        {"", ""},
    };
    for (const Case &c : cases) {
        char *argv[] = {nullptr, nullptr, nullptr, nullptr, nullptr, const_cast<char *>(c.options)};
        char name[kMediaNameSize];
        std::memset(name, 'z', sizeof name);
        EXPECT_TRUE(Getmediasizename(argv, name)) << c.options;
        EXPECT_STREQ(name, c.expected) << c.options;
    }
    // Overlong names are cut to the buffer, never written past it.
    for (const std::string *opt : {&longOpt, &longMedia}) {
        char *argv[] = {nullptr, nullptr, nullptr,
                        nullptr, nullptr, const_cast<char *>(opt->c_str())};
        auto name = std::make_unique<char[]>(kMediaNameSize);
        EXPECT_TRUE(Getmediasizename(argv, name.get()));
        EXPECT_EQ(std::strlen(name.get()), kMediaNameSize - 1);
        EXPECT_EQ(name[0], opt == &longOpt ? 'N' : 'M');
    }
}

TEST(MediaName, RefusesMissingBuffersOrOptionString) {
    char *argv[] = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    char name[kMediaNameSize] = "keep";
    EXPECT_FALSE(Getmediasizename(argv, name));
    EXPECT_STREQ(name, "keep");
    char opt[] = "PageSize=A4";
    argv[5] = opt;
    EXPECT_FALSE(Getmediasizename(argv, nullptr));
    EXPECT_FALSE(Getmediasizename(nullptr, name));
}

struct CustomCase {
    std::string options;
    bool astra;
    bool ok;
    float w, h;
};

TEST(CustomSize, ParsedFromPageSizeCustomWithOptionalMargins) {
    const std::string margins =
        "PageSize=Custom.300x400 page-left=10 page-right=20 page-top=5 page-bottom=5 ";
    const CustomCase cases[] = {
        {margins, false, true, 300, 400},
        {margins, true, true, 330, 410},
        {"PageSize=Custom.210x297mm", false, true, 210, 297},
        {"Collate pagesize=custom.100.5x200 Duplex", false, true, 100.5f, 200},
        {"PageSize=Custom.300x400", true, true, 300, 400}, // no margins named
        {"PageSize=Custom.abcx20", false, true, 0, 20},
        {"PageSize=A4", false, false, 595, 842},
        {"Collate", true, false, 595, 842},
        // Malformed values are not custom sizes.
        {"PageSize=Custom.300", false, false, 595, 842},
        {"PageSize=Custom.300 media=x5", false, false, 595, 842},
        {"PageSize=Custom.infx400", false, false, 595, 842},
        {"PageSize=Custom.-5x10", false, false, 595, 842},
        {"PageSize=Custom.10xnan", false, false, 595, 842},
        // Width and height texts are read from at most 39 characters each.
        {"PageSize=Custom." + std::string(45, '0') + "300x" + std::string(39, '0') + "7", false,
         true, 0, 0},
        {"PageSize=Custom." + std::string(36, '0') + "300x" + std::string(38, '0') + "7", false,
         true, 300, 7},
    };
    for (const CustomCase &c : cases) {
        float w = -1, h = -1;
        EXPECT_EQ(GetCustomSize(c.options.c_str(), &w, &h, c.astra), c.ok) << c.options;
        EXPECT_FLOAT_EQ(w, c.w) << c.options;
        EXPECT_FLOAT_EQ(h, c.h) << c.options;
    }
    float w = -1, h = -1;
    EXPECT_FALSE(GetCustomSize(nullptr, &w, &h, true));
    EXPECT_EQ(w, -1);
    EXPECT_EQ(h, -1);
}

TEST(PageMargins, EachNamedMarginIsReadFromAtMostThreeCharacters) {
    struct Case {
        const char *options;
        int top, bottom, right, left;
    };
    const Case cases[] = {
        {"page-top=5 page-bottom=6 page-right=7 page-left=8 ", 5, 6, 7, 8},
        {"PAGE-TOP=5 Page-Left=9", 5, -1, -1, 9},
        {"page-top=20", 20, -1, -1, -1}, // last option, no space after it
        {"page-top=1234 page-left=-12 ", 123, -1, -1, -12},
        {"page-top page-bottom=3 ", 0, 3, -1, -1}, // "=" beyond the option: empty value
        {"page-right=abc page-left= ", -1, -1, 0, 0},
        {"Collate", -1, -1, -1, -1},
        {"", -1, -1, -1, -1},
    };
    for (const Case &c : cases) {
        int top = -1, bottom = -1, right = -1, left = -1;
        GetPageMargins(c.options, &top, &bottom, &right, &left);
        EXPECT_EQ(top, c.top) << c.options;
        EXPECT_EQ(bottom, c.bottom) << c.options;
        EXPECT_EQ(right, c.right) << c.options;
        EXPECT_EQ(left, c.left) << c.options;
    }
    int top = -1;
    GetPageMargins(nullptr, &top, nullptr, nullptr, nullptr);
    GetPageMargins("page-bottom=4 ", &top, nullptr, nullptr, nullptr); // unwanted margins
    EXPECT_EQ(top, -1);
}

// A page specification frame (0B 12 12 ...) with the tray in byte 7 and a checksum.
std::vector<unsigned char> PageSpecFrame(unsigned char tray) {
    std::vector<unsigned char> f = {0x0B, 0x12, 0x12, 0x01, 0x00, 0x3C, 0x3C, tray, 0x00,
                                    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x00};
    const unsigned sum = std::accumulate(f.begin(), f.end(), 0u);
    f.push_back(static_cast<unsigned char>(-sum & 0xFF));
    return f;
}

class SpoolTrayEdit : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/spooltray.XXXXXX";
        const int fd = mkstemp(name);
        ASSERT_GE(fd, 0);
        close(fd);
        path_ = name;
    }
    void TearDown() override { unlink(path_.c_str()); }
    void Write(const std::vector<unsigned char> &bytes) {
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char *>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    std::vector<unsigned char> Read() {
        std::ifstream f(path_, std::ios::binary);
        return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    }
    std::string path_;
};

TEST_F(SpoolTrayEdit, PatchesOnlyTheFirstFrameAndKeepsItsChecksumValid) {
    std::vector<unsigned char> bytes = {0x1B, 0x25, 0x0B, 0x12}; // a false start first
    const std::size_t at = bytes.size();
    const auto frame = PageSpecFrame(0x00);
    bytes.insert(bytes.end(), frame.begin(), frame.end());
    bytes.insert(bytes.end(), frame.begin(), frame.end()); // the next page: untouched
    bytes.resize(3000, 0x5A); // data beyond the first 1024 bytes survives
    Write(bytes);

    EXPECT_TRUE(EditMediaSource(path_.c_str(), 0x0104));
    std::vector<unsigned char> expected = bytes;
    expected[at + 7] = 0x04;
    const auto after = Read();
    ASSERT_EQ(after.size(), bytes.size());
    const unsigned sum = std::accumulate(after.begin() + at, after.begin() + at + 18, 0u);
    EXPECT_EQ(sum % 256, 0u) << "frame checksum must still balance";
    expected[at + 17] = after[at + 17];
    EXPECT_EQ(after, expected);
}

TEST_F(SpoolTrayEdit, LeavesTheFileAloneWhenTheFrameIsNotFoundInTheFirst1024Bytes) {
    struct Case {
        const char *what;
        std::size_t frameAt;
    };
    const Case cases[] = {{"frame beyond 1024 bytes", 1100},
                          {"tray byte beyond the bytes read", 1020},
                          {"no frame at all", 0}};
    for (const Case &c : cases) {
        std::vector<unsigned char> bytes(2048, 0x00);
        if (c.frameAt != 0) {
            const auto frame = PageSpecFrame(0x02);
            std::copy(frame.begin(), frame.end(), bytes.begin() + c.frameAt);
        }
        Write(bytes);
        EXPECT_FALSE(EditMediaSource(path_.c_str(), 3)) << c.what;
        EXPECT_EQ(Read(), bytes) << c.what;
    }
}

TEST_F(SpoolTrayEdit, ShortFilesAndMissingFiles) {
    Write({0x0B, 0x12, 0x12, 0, 0, 0, 0, 0x09}); // the tray byte is the last one
    EXPECT_TRUE(EditMediaSource(path_.c_str(), 0x0203));
    EXPECT_EQ(Read(), (std::vector<unsigned char>{0x0B, 0x12, 0x12, 0, 0, 0, 0, 0x03}));

    testing::internal::CaptureStderr();
    EXPECT_FALSE(EditMediaSource("/nonexistent/dir/spool", 1));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Failed to open file=/nonexistent/dir/spool \n");
    EXPECT_FALSE(EditMediaSource(nullptr, 1));
}

} // namespace
