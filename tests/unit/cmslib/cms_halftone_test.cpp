// The colour library's halftone stage: screening against the 16 x 16 matrices, bit packing, screen
// phase, refused depths, and the bounds of what the library reads and writes.
#include "tests/unit/cmslib/cms_loader.h"

#include "cmslib/ht_thresholds.h"
#include "cmslib/tone_curves.h"

#include <sys/mman.h>
#include <unistd.h>

#include <random>

namespace {

// Ink value of a grey sample with the identity density at 600 dpi.
unsigned Ink600(uint8_t grey) {
    return linearcurveMono[255 - grey];
}

// Output level of one pixel, straight from the screening rule.
unsigned ReferenceLevel(unsigned ink, size_t row, size_t col, unsigned bits) {
    const unsigned levels = (1u << bits) - 1u;
    const uint8_t *matrix = bits == 1 ? bi_highLPI_K_cluster_thresh : con2_MedLPI_K_cluster_thresh;
    const uint8_t *cell = matrix + ((row % 16) * 16 + col % 16) * levels;
    unsigned level = 0;
    for (unsigned k = 0; k < levels; ++k)
        level += ink >= std::max<unsigned>(cell[k], 1) ? 1 : 0;
    return level;
}

// A buffer of n bytes whose last byte sits just before an inaccessible page, so that any access
// past its end faults.
class GuardedBuffer {
  public:
    explicit GuardedBuffer(size_t n) : size_(n) {
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        const size_t body = (n + page - 1) / page * page;
        mapLength_ = body + page;
        map_ = static_cast<uint8_t *>(
            mmap(nullptr, mapLength_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        if (map_ == MAP_FAILED) {
            map_ = nullptr;
            return;
        }
        mprotect(map_ + body, page, PROT_NONE);
        data_ = map_ + body - n;
    }
    ~GuardedBuffer() {
        if (map_ != nullptr) munmap(map_, mapLength_);
    }
    GuardedBuffer(const GuardedBuffer &) = delete;
    GuardedBuffer &operator=(const GuardedBuffer &) = delete;
    uint8_t *data() const { return data_; }
    size_t size() const { return size_; }

  private:
    size_t size_;
    size_t mapLength_ = 0;
    uint8_t *map_ = nullptr;
    uint8_t *data_ = nullptr;
};

// Every case runs on the library and on its baseline build, which takes the paths of processors
// without AVX2 and AVX-512 VBMI.
class CmsHalftone : public testing::TestWithParam<std::string> {
  protected:
    void SetUp() override { ASSERT_TRUE(lib.Complete()) << GetParam() << ": " << dlerror(); }
    int RunQuiet(CmsPage &page) {
        int result = 1;
        CaptureStderrOf([&] { result = page.Run(lib); });
        return result;
    }
    CmsLib lib{GetParam()};
};

TEST_P(CmsHalftone, RandomPagesMatchTheScreeningRuleAtEveryWidthAndPhase) {
    std::mt19937 rng(20240611);
    const uint16_t widths[] = {8, 16, 24, 56, 64, 72, 128, 136, 200, 4960};
    for (uint8_t bitMode : {uint8_t{0}, uint8_t{1}}) {
        const unsigned bits = bitMode + 1u;
        for (uint16_t width : widths) {
            const uint16_t height = width > 1000 ? 3 : 19;
            CmsPage page(width, height, 0, bitMode);
            for (uint8_t &g : page.grey)
                g = static_cast<uint8_t>(rng());
            page.src.InputDataX = static_cast<uint16_t>(rng() % 40820);
            page.src.InputDataY = static_cast<uint16_t>(rng() % 40820);
            ASSERT_EQ(RunQuiet(page), 0);
            size_t mismatches = 0;
            for (size_t i = 0; i < height; ++i)
                for (size_t j = 0; j < width; ++j) {
                    const unsigned expected =
                        ReferenceLevel(Ink600(page.grey[i * width + j]), i + page.src.InputDataY,
                                       j + page.src.InputDataX, bits);
                    if (page.Level(i, j, bits) != expected && ++mismatches < 5)
                        ADD_FAILURE()
                            << "bits " << bits << " width " << width << " pixel " << i << "," << j
                            << ": " << page.Level(i, j, bits) << " != " << expected;
                }
            EXPECT_EQ(mismatches, 0u) << "bits " << bits << " width " << width;
        }
    }
}

TEST_P(CmsHalftone, WhiteGivesZerosAndBlackGivesFullToner) {
    struct Case {
        uint8_t grey, bitMode, byte;
    };
    const Case cases[] = {{255, 0, 0x00}, {255, 1, 0x00}, {0, 0, 0xFF}, {0, 1, 0xFF}};
    for (const Case &c : cases) {
        CmsPage page(4960, 4, c.grey, c.bitMode);
        ASSERT_EQ(RunQuiet(page), 0);
        EXPECT_EQ(page.bitmap, std::vector<uint8_t>(page.bitmap.size(), c.byte))
            << "grey " << int(c.grey) << " bit mode " << int(c.bitMode);
    }
}

TEST_P(CmsHalftone, InkBetweenTheThresholdsOfACellGivesTheMiddleLevel) {
    // Grey 108 is ink 147, then 150 after linearisation; cell (0, 0) holds 156/145/136.
    ASSERT_EQ(Ink600(108), 150u);
    CmsPage page(16, 1, 108, 1);
    ASSERT_EQ(RunQuiet(page), 0);
    EXPECT_EQ(page.Level(0, 0, 2), 2u);
}

TEST_P(CmsHalftone, ScreenPhaseFollowsTheAreaPosition) {
    for (uint8_t bitMode : {uint8_t{0}, uint8_t{1}}) {
        const unsigned bits = bitMode + 1u;
        auto run = [&](uint16_t x, uint16_t y) {
            CmsPage page(64, 32, 128, bitMode);
            page.src.InputDataX = x;
            page.src.InputDataY = y;
            EXPECT_EQ(RunQuiet(page), 0);
            return page;
        };
        const CmsPage base = run(0, 0);
        EXPECT_EQ(run(16, 0).bitmap, base.bitmap) << "a whole tile to the right";
        EXPECT_EQ(run(0, 16).bitmap, base.bitmap) << "a whole tile down";
        EXPECT_EQ(run(40816, 40816).bitmap, base.bitmap) << "2551 tiles away";
        const CmsPage half = run(8, 0);
        EXPECT_NE(half.bitmap, base.bitmap);
        for (size_t i = 0; i < 32; ++i)
            for (size_t j = 0; j + 8 < 64; ++j)
                ASSERT_EQ(half.Level(i, j, bits), base.Level(i, j + 8, bits)) << i << "," << j;
    }
}

TEST_P(CmsHalftone, TwoAreasOfOnePageLineUpWithTheWholePage) {
    std::mt19937 rng(7);
    CmsPage whole(96, 20, 0, 1);
    for (uint8_t &g : whole.grey)
        g = static_cast<uint8_t>(rng());
    ASSERT_EQ(RunQuiet(whole), 0);
    for (uint16_t left : {uint16_t{40}, uint16_t{56}}) {
        CmsPage right(static_cast<uint16_t>(96 - left), 20, 0, 1);
        right.grey.clear();
        for (size_t i = 0; i < 20; ++i)
            right.grey.insert(right.grey.end(), whole.grey.begin() + i * 96 + left,
                              whole.grey.begin() + (i + 1) * 96);
        right.src.InputDataX = left;
        ASSERT_EQ(RunQuiet(right), 0);
        for (size_t i = 0; i < 20; ++i)
            for (size_t j = 0; j < size_t{96} - left; ++j)
                ASSERT_EQ(right.Level(i, j, 2), whole.Level(i, j + left, 2)) << i << "," << j;
    }
}

TEST_P(CmsHalftone, DepthsWithoutAMatrixLeaveTheBitmapBlank) {
    struct Case {
        uint8_t bitMode;
        uint16_t lineByte;
        const char *message;
    };
    const Case cases[] = {
        {3, 64, "cms: 8bit output!\n"},
        {2, 32, "cms: no halftone matrix for OutputBitMode 2, page left blank!\n"},
        {4, 128, "cms: no halftone matrix for OutputBitMode 4, page left blank!\n"},
    };
    for (const Case &c : cases) {
        CmsPage page(64, 5, 0, c.bitMode); // black: full toner if it were screened
        page.bitmap.assign(size_t{c.lineByte} * 5, 0xA5);
        int result = 1;
        const std::string err = CaptureStderrOf([&] { result = page.Run(lib); });
        EXPECT_EQ(result, 0) << int(c.bitMode);
        EXPECT_EQ(+page.dst.OutputDataLineByte, c.lineByte);
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
        EXPECT_NE(err.find("cms: GDI_ht complete!\n"), std::string::npos);
        EXPECT_EQ(page.bitmap, std::vector<uint8_t>(page.bitmap.size(), 0)) << int(c.bitMode);
    }
}

TEST_P(CmsHalftone, NeverReadsPastTheSourceLinesNorWritesPastTheStatedCapacity) {
    struct Case {
        uint16_t width, height;
        uint32_t lineByte;
        uint8_t bitMode;
    };
    const Case cases[] = {{8, 1, 8, 0},       {8, 3, 8, 1},       {72, 9, 72, 1},
                          {72, 9, 80, 0},     {136, 5, 200, 1},   {4960, 7, 4960, 1},
                          {4960, 7, 4960, 0}, {4952, 3, 4952, 1}, {64, 4, 64, 3},
                          {64, 4, 64, 2}};
    for (const Case &c : cases) {
        const size_t srcBytes = size_t{c.lineByte} * c.height;
        const size_t lineOut = size_t{c.width} * (1u << c.bitMode) / 8;
        GuardedBuffer src(srcBytes), dst(lineOut * c.height);
        ASSERT_NE(src.data(), nullptr);
        ASSERT_NE(dst.data(), nullptr);
        std::fill(src.data(), src.data() + srcBytes, 0x00);
        std::fill(dst.data(), dst.data() + dst.size(), 0xA5);
        CmsPage page(c.width, c.height, 0, c.bitMode);
        page.src.ColorSrcData = src.data();
        page.src.InputDataLineByte = c.lineByte;
        page.dst.ColorDstData = dst.data();
        page.dst.cbSize = static_cast<int32_t>(dst.size());
        int result = 1;
        CaptureStderrOf([&] { result = lib.print(&page.src, &page.settings, &page.dst); });
        EXPECT_EQ(result, 0) << c.width << "x" << c.height << " mode " << int(c.bitMode);
        // Every byte was written: full toner where screened, zero where the depth is refused.
        const uint8_t expected = c.bitMode <= 1 ? 0xFF : 0x00;
        EXPECT_EQ(std::count(dst.data(), dst.data() + dst.size(), expected),
                  static_cast<long>(dst.size()));
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, CmsHalftone, testing::Values(KELVRA_CMSLIB_BIN, BaselineLibPath()),
                         [](const testing::TestParamInfo<std::string> &info) {
                             return info.index == 0 ? "Library" : "Baseline";
                         });

} // namespace
