// Regressions found by fuzzing (tests/fuzz): each test replays the shape of a crashing input.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "filter/page_header_log.h"
#include "filter/page_pipeline.h"
#include "tests/support/raster_writer.h"

namespace {

// Runs fn with standard error sent to a temporary file and returns what it wrote.
template <typename Fn> std::string CaptureStderr(Fn fn) {
    std::fflush(stderr);
    FILE *tmp = std::tmpfile();
    const int saved = dup(STDERR_FILENO);
    dup2(fileno(tmp), STDERR_FILENO);
    fn();
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    std::string text;
    std::rewind(tmp);
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, tmp)) > 0;)
        text.append(buf, n);
    std::fclose(tmp);
    return text;
}

void SetRaw(void *field, uint32_t value) {
    std::memcpy(field, &value, sizeof value);
}

} // namespace

// A raster stream may put any 32 bits into the enumerated header fields; the header log
// writes the numbers the stream carried (reading them as the enumeration was undefined).
TEST(FuzzRegression, HeaderLogWritesEnumFieldsAsTheStreamCarriedThem) {
    cups_page_header2_t h;
    std::memset(&h, 0, sizeof h);
    SetRaw(&h.Duplex, 1850277888u);
    SetRaw(&h.ManualFeed, 7u);
    SetRaw(&h.Orientation, 0xFFFFFFFFu);
    SetRaw(&h.cupsColorOrder, 99u);
    SetRaw(&h.cupsColorSpace, 0x80000000u);
    const std::string log = CaptureStderr([&] { log_page_header2(&h); });
    EXPECT_NE(log.find("DEBUG: Duplex = 1850277888\n"), std::string::npos) << log;
    EXPECT_NE(log.find("DEBUG: ManualFeed = 7\n"), std::string::npos);
    EXPECT_NE(log.find("DEBUG: Orientation = -1\n"), std::string::npos);
    EXPECT_NE(log.find("DEBUG: cupsColorOrder = 99\n"), std::string::npos);
    EXPECT_NE(log.find("DEBUG: cupsColorSpace = -2147483648\n"), std::string::npos);
}

// The header check compares the colour space as a number: a value outside the enumeration
// is refused as not grey, not read as an enumerator.
TEST(FuzzRegression, ColourSpaceOutsideTheEnumerationIsRefused) {
    cups_page_header2_t h = MakeGreyHeader(72, 72);
    ASSERT_TRUE(IsPrintableRasterHeader(h));
    for (uint32_t raw : {0xEEEEEEEEu, 0x80000000u, 1000u}) {
        SetRaw(&h.cupsColorSpace, raw);
        const std::string err = CaptureStderr([&] { EXPECT_FALSE(IsPrintableRasterHeader(h)); });
        EXPECT_NE(err.find("the colour space is not grey"), std::string::npos) << err;
    }
}
