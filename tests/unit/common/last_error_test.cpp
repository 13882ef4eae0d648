#include "common/globals.h"
#include "common/last_error.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {
TEST(LastError, NewestMessageStandsFirst) {
    SetLastError("");
    PrependLastError("older\n");
    PrependLastError("newer\n");
    EXPECT_STREQ(prntLastError, "newer\nolder\n");
}

TEST(LastError, SetReplacesTheWholeText) {
    SetLastError("old");
    SetLastError("SendDataToFile() :: NULL == pData");
    EXPECT_STREQ(prntLastError, "SendDataToFile() :: NULL == pData");
}

TEST(LastError, LongChainDropsTheOldestTextAndStaysTerminated) {
    SetLastError(std::string(1000, 'o').c_str());
    PrependLastError("main() :: Start doc Fail ! \n");
    const std::string text = prntLastError;
    EXPECT_EQ(text.size(), 1023u);
    EXPECT_EQ(text.rfind("main() :: Start doc Fail ! \n", 0), 0u);
    EXPECT_EQ(text.back(), 'o');
}

TEST(LastError, MessageLongerThanTheBufferIsCut) {
    SetLastError("tail");
    PrependLastError(std::string(3000, 'x').c_str());
    EXPECT_EQ(std::strlen(prntLastError), 1023u);
    EXPECT_EQ(std::string(prntLastError).find("tail"), std::string::npos);
}

TEST(LastError, CutNeverSplitsAUtf8Character) {
    // 1022 ASCII bytes then a two-byte character: the character would end at byte 1024.
    SetLastError("");
    std::string msg(1022, 'a');
    msg += "\xC3\xA9";
    PrependLastError(msg.c_str());
    EXPECT_EQ(std::strlen(prntLastError), 1022u);
}

TEST(LastError, MessageTakenFromTheBufferItselfIsSafe) {
    SetLastError("abc");
    PrependLastError(prntLastError);
    EXPECT_STREQ(prntLastError, "abcabc");
}
} // namespace
