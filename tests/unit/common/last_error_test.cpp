#include "common/last_error.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {
TEST(LastError, StartsEmptyAndNewestMessageStandsFirst) {
    ErrorText error;
    EXPECT_STREQ(error.c_str(), "");
    error.Prepend("older\n");
    error.Prepend("newer\n");
    EXPECT_STREQ(error.c_str(), "newer\nolder\n");
}

TEST(LastError, SetReplacesTheWholeText) {
    ErrorText error;
    error.Set("old");
    error.Set("SendDataToFile() :: NULL == pData");
    EXPECT_STREQ(error.c_str(), "SendDataToFile() :: NULL == pData");
}

TEST(LastError, NullMessagesAreEmpty) {
    ErrorText error;
    error.Set("text");
    error.Prepend(nullptr);
    EXPECT_STREQ(error.c_str(), "text");
    error.Set(nullptr);
    EXPECT_STREQ(error.c_str(), "");
}

TEST(LastError, LongChainDropsTheOldestTextAndStaysTerminated) {
    ErrorText error;
    error.Set(std::string(1000, 'o').c_str());
    error.Prepend("main() :: Start doc Fail ! \n");
    const std::string text = error.c_str();
    EXPECT_EQ(text.size(), 1023u);
    EXPECT_EQ(text.rfind("main() :: Start doc Fail ! \n", 0), 0u);
    EXPECT_EQ(text.back(), 'o');
}

TEST(LastError, MessageLongerThanTheBufferIsCut) {
    ErrorText error;
    error.Set("tail");
    error.Prepend(std::string(3000, 'x').c_str());
    EXPECT_EQ(std::strlen(error.c_str()), 1023u);
    EXPECT_EQ(std::string(error.c_str()).find("tail"), std::string::npos);
    error.Set(std::string(2000, 'y').c_str());
    EXPECT_EQ(std::string(error.c_str()), std::string(1023, 'y'));
}

TEST(LastError, CutNeverSplitsAUtf8Character) {
    // 1022 ASCII bytes then a two-byte character: the character would end at byte 1024.
    ErrorText error;
    std::string msg(1022, 'a');
    msg += "\xC3\xA9";
    error.Prepend(msg.c_str());
    EXPECT_EQ(std::strlen(error.c_str()), 1022u);
    error.Set(msg.c_str());
    EXPECT_EQ(std::strlen(error.c_str()), 1022u);
    // a three-byte character across the end goes whole as well
    error.Set((std::string(1021, 'a') + "\xE2\x82\xAC").c_str());
    EXPECT_EQ(std::strlen(error.c_str()), 1021u);
}

TEST(LastError, MessageTakenFromTheTextItselfIsSafe) {
    ErrorText error;
    error.Set("abc");
    error.Prepend(error.c_str());
    EXPECT_STREQ(error.c_str(), "abcabc");
    error.Set(error.c_str() + 3);
    EXPECT_STREQ(error.c_str(), "abc");
}

// Each job has its own text: one job's failures never show in another's.
TEST(LastError, TextsOfTwoJobsAreIndependent) {
    ErrorText first, second;
    first.Set("first job failed\n");
    second.Prepend("second job failed\n");
    EXPECT_STREQ(first.c_str(), "first job failed\n");
    EXPECT_STREQ(second.c_str(), "second job failed\n");
}
} // namespace
