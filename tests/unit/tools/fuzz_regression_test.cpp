// Regressions of kelvra-inspect found by fuzzing (tests/fuzz/inspect_fuzz.cpp).
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "tests/support/filter_runner.h"
#include "tests/support/inspect_runner.h"

namespace {

void PutBe(std::string &s, uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        s.push_back(static_cast<char>(v >> (8 * i)));
}

} // namespace

// A platform M block whose record count times 12 wraps around 32 bits to its real record
// bytes (0x80000003 records "in" 36 bytes) is reported, not walked past the block's end.
TEST(InspectFuzzRegression, RecordCountThatWrapsIsAnError) {
    std::string stream = "\x1b%-12345XJZJZ";
    PutBe(stream, 52, 4);         // block length
    PutBe(stream, 0, 4);          // START_DOC_CMD
    PutBe(stream, 0x80000003, 4); // record count
    PutBe(stream, 36, 2);         // record bytes
    PutBe(stream, 0x5A5A, 2);     // "ZZ"
    stream += std::string(36, '\0');
    TempDir dir;
    const std::string path = dir.file("wrap.bin");
    std::ofstream(path, std::ios::binary) << stream;
    const InspectRun r = InspectJson(path);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("announces 2147483651 records in 36 bytes"), std::string::npos) << r.err;
}
