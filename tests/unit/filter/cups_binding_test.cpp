#include "filter/cups_binding.h"

#include <cstdlib>
#include <cups/raster.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

TEST(CupsBinding, TableWorksWhetherOrNotTheFixedLibraryPathsExist) {
    struct stat st;
    const bool haveCups = stat("/usr/lib/libcups.so", &st) == 0;
    const bool haveImage = stat("/usr/lib/libcupsimage.so", &st) == 0;
    EXPECT_EQ(InitCUPSIMAGEDLL(), haveImage ? 1 : 0);
    EXPECT_EQ(InitCUPSDLL(), haveCups ? 1 : 0);
    if (!haveCups) {
        EXPECT_EQ(pfcupsParseOptions, &cupsParseOptions);
    }
    // Every entry is callable: parse and query an option list through the table.
    cups_option_t *options = nullptr;
    int n = pfcupsParseOptions("Density=4 nocollate", 0, &options);
    ASSERT_EQ(n, 2);
    const char *density = pfcupsGetOption("Density", n, options);
    ASSERT_NE(density, nullptr);
    EXPECT_STREQ(density, "4");
    pfcupsFreeOptions(n, options);
    for (auto entry : {(void *)pfppdClose, (void *)pfppdOpenFile, (void *)pfppdLocalizeIPPReason,
                       (void *)pfcupsSideChannelDoRequest, (void *)pfcupsTempFd,
                       (void *)pfppdFindOption, (void *)pfcupsRasterReadPixels,
                       (void *)pfcupsRasterClose, (void *)pfcupsRasterReadHeader2,
                       (void *)pfcupsRasterOpen})
        EXPECT_NE(entry, nullptr);
    // Binding twice replaces the first binding.
    EXPECT_EQ(InitCUPSDLL(), haveCups ? 1 : 0);
    UnloadDLLs();
    EXPECT_EQ(m_hCUPS, nullptr);
    EXPECT_EQ(m_hCUPSImage, nullptr);
}

TEST(CupsBinding, ColourLibraryAbsentOrIncompleteCountsAsNotLoaded) {
    // A path that does not exist, and a library that lacks the two entry points.
    for (const char *path : {"/nonexistent/mirodelCMSLib-amd64.so", "libm.so.6", ""}) {
        setenv("KELVRA_CMS_LIBRARY", path, 1);
        testing::internal::CaptureStderr();
        EXPECT_EQ(InitCMSDLL(), 0) << path;
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.rfind("加载CMS库失败", 0), 0u) << err;
        EXPECT_EQ(err.back(), '\n');
        EXPECT_FALSE(IsUseCMSLib);
        EXPECT_EQ(m_hCMS, nullptr);
        EXPECT_EQ(pGDIPrintCMSmain, nullptr);
    }
    unsetenv("KELVRA_CMS_LIBRARY");
}

#ifdef KELVRA_CMSLIB_BIN
TEST(CupsBinding, BuiltColourLibraryLoadsAndBindsBothEntries) {
    setenv("KELVRA_CMS_LIBRARY", KELVRA_CMSLIB_BIN, 1);
    ASSERT_EQ(InitCMSDLL(), 1);
    EXPECT_TRUE(IsUseCMSLib);
    ASSERT_NE(pGetCMSDllVersion, nullptr);
    EXPECT_EQ(pGetCMSDllVersion(), 0x01000002);
    EXPECT_NE(pGDIPrintCMSmain, nullptr);
    void *first = m_hCMS;
    EXPECT_EQ(InitCMSDLL(), 1) << "loading again unloads the first instance";
    EXPECT_NE(m_hCMS, nullptr);
    (void)first;
    UnloadDLLs();
    EXPECT_EQ(m_hCMS, nullptr);
    EXPECT_FALSE(IsUseCMSLib);
    unsetenv("KELVRA_CMS_LIBRARY");
}
#endif
