// Page buffers: zeroed, writable to the last byte, small and large alike, and released without
// leaving their pages mapped.
#include "common/page_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>

namespace {

// Resident memory of this process in kB, from /proc/self/status.
long ResidentKb() {
    std::ifstream in("/proc/self/status");
    std::string key;
    long value = 0;
    while (in >> key) {
        if (key == "VmRSS:") {
            in >> value;
            return value;
        }
        in.ignore(1 << 12, '\n');
    }
    return -1;
}

TEST(PageMemory, BuffersComeZeroedAndHoldTheirWholeSize) {
    for (size_t bytes : {size_t{0}, size_t{1}, size_t{4095}, kPageMemoryMapMin - 1,
                         kPageMemoryMapMin, size_t{3} << 20, (size_t{32} << 20) + 17}) {
        SCOPED_TRACE(std::to_string(bytes) + " bytes");
        PageMemory p = AllocPageMemory(bytes);
        ASSERT_NE(p, nullptr);
        const size_t n = std::max<size_t>(bytes, 1);
        EXPECT_TRUE(std::all_of(p.get(), p.get() + n, [](unsigned char b) { return b == 0; }));
        p[0] = 0xA5;
        p[n - 1] = 0x5A;
        EXPECT_EQ(p[0] ^ p[n - 1], n == 1 ? 0 : 0xFF);
    }
}

TEST(PageMemory, LargeBuffersAreReturnedToTheSystem) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer keeps freed blocks in quarantine";
#endif
    const long before = ResidentKb();
    ASSERT_GT(before, 0);
    for (int page = 0; page < 20; ++page) {
        PageMemory p = AllocPageMemory(size_t{64} << 20);
        ASSERT_NE(p, nullptr);
        for (size_t i = 0; i < (size_t{64} << 20); i += 4096)
            p[i] = 1;
    }
    // twenty 64 MB pages written in turn: what stays resident is far below one of them
    EXPECT_LT(ResidentKb() - before, 32 * 1024);
}

TEST(PageMemory, ImpossibleSizesGiveNull) {
    EXPECT_EQ(AllocPageMemory(SIZE_MAX), nullptr);
    EXPECT_EQ(AllocPageMemory(SIZE_MAX - 4096), nullptr);
}

} // namespace
