// The colour library when memory runs out: a missing work buffer is reported with -9, and a
// missing pixel record leaves the page without toner instead of undefined bytes. The test
// executable interposes malloc so that exactly one allocation of a chosen size fails.
#include "tests/unit/cmslib/cms_loader.h"

#include <atomic>
#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define CMS_TEST_CAN_FAIL_MALLOC 0
#else
#define CMS_TEST_CAN_FAIL_MALLOC 1
#endif

namespace {
// Size of the next allocation to refuse; 0 refuses nothing.
std::atomic<size_t> gFailSize{0};
} // namespace

#if CMS_TEST_CAN_FAIL_MALLOC
extern "C" void *__libc_malloc(size_t size);

// Every allocation of the process goes to glibc, except one armed size that fails once.
extern "C" void *malloc(size_t size) {
    size_t armed = gFailSize.load(std::memory_order_relaxed);
    if (armed != 0 && size == armed &&
        gFailSize.compare_exchange_strong(armed, 0, std::memory_order_relaxed))
        return nullptr;
    return __libc_malloc(size);
}
#endif

namespace {

class CmsAllocFailure : public testing::Test {
  protected:
    void SetUp() override {
        if (!CMS_TEST_CAN_FAIL_MALLOC) GTEST_SKIP() << "malloc cannot be interposed under ASan";
        ASSERT_TRUE(lib.Complete()) << dlerror();
    }
    // Runs a black page with the allocation of failSize bytes refused; returns the result.
    int RunFailing(CmsPage &page, size_t failSize, std::string &err) {
        int result = 1;
        err = CaptureStderrOf([&] {
            gFailSize = failSize;
            result = page.Run(lib);
            gFailSize = 0;
        });
        return result;
    }
    CmsLib lib;
};

TEST_F(CmsAllocFailure, MissingPixelRecordGivesAPageWithoutToner) {
    for (uint8_t bitMode : {uint8_t{0}, uint8_t{1}}) {
        CmsPage page(24, 4, 0x00, bitMode); // black: every pixel would print
        std::string err;
        EXPECT_EQ(RunFailing(page, sizeof(CurrS32), err), 0);
        EXPECT_NE(err.find("cms: malloc CurrS32 failed !\n"), std::string::npos) << err;
        EXPECT_NE(err.find("cms: page left without toner!\n"), std::string::npos) << err;
        EXPECT_NE(err.find("cms: GDI_ht complete!\n"), std::string::npos) << err;
        EXPECT_EQ(page.bitmap, std::vector<uint8_t>(page.bitmap.size(), 0)) << int(bitMode);

        // The same page prints in full once memory is back: the failure left no state behind.
        CmsPage again(24, 4, 0x00, bitMode);
        EXPECT_EQ(RunFailing(again, 0, err), 0);
        EXPECT_EQ(again.bitmap, std::vector<uint8_t>(again.bitmap.size(), 0xFF));
    }
}

TEST_F(CmsAllocFailure, MissingWorkBufferIsReportedAsMinusNineWithABlankBitmap) {
    CmsPage page(40, 3, 0x00, 1);
    std::string err;
    EXPECT_EQ(RunFailing(page, 40 * 3, err), -9);
    EXPECT_NE(err.find("cms: failed to malloc memory1!\n"), std::string::npos) << err;
    EXPECT_EQ(err.find("GDI_sRGB2CMYK complete!"), std::string::npos) << err;
    EXPECT_EQ(page.bitmap, std::vector<uint8_t>(page.bitmap.size(), 0));
}

} // namespace
