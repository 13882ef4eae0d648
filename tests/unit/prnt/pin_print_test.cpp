#include "prnt/pin_print.h"
#include "prnt/text_cut.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

bool IsValidUtf8(const std::string &s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        const int len = c < 0x80         ? 1
                        : (c >> 5) == 6  ? 2
                        : (c >> 4) == 14 ? 3
                        : (c >> 3) == 30 ? 4
                                         : 0;
        if (len == 0 || i + len > s.size()) return false;
        for (int k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += len;
    }
    return true;
}

std::vector<std::string> Lines(const std::string &ticket) {
    std::vector<std::string> lines;
    std::size_t start = 0, nl;
    while ((nl = ticket.find('\n', start)) != std::string::npos) {
        lines.push_back(ticket.substr(start, nl - start));
        start = nl + 1;
    }
    EXPECT_EQ(start, ticket.size()) << "ticket does not end with a line feed";
    return lines;
}

// Every line is one PJL SET command with one quoted value and no control characters.
void ExpectWellFormed(const std::string &ticket) {
    for (const std::string &line : Lines(ticket)) {
        EXPECT_EQ(line.rfind("@PJL SET ", 0), 0u) << line;
        EXPECT_EQ(std::count(line.begin(), line.end(), '"'), 2) << line;
        EXPECT_EQ(line.back(), '"') << line;
        for (unsigned char c : line)
            EXPECT_GE(c, 0x20) << line;
        EXPECT_TRUE(IsValidUtf8(line)) << line;
    }
}

class TicketTest : public ::testing::Test {
  protected:
    void SetUp() override { std::setlocale(LC_ALL, "C.UTF-8"); }
    void TearDown() override { std::setlocale(LC_ALL, "C"); }
    // The ticket of job 77 from host `host`; `pin` given: a locked job with that PIN.
    std::string Ticket(const std::string &user, const std::string &title, const char *pin = nullptr,
                       bool owner = false) {
        JobIdentity id;
        id.jobId = 77;
        id.jobIdText = "77";
        id.user = user;
        id.title = title;
        id.host = host;
        char ticket[kPinPrintPJLSize];
        char *text = nullptr;
        size_t length = 0;
        std::FILE *log = open_memstream(&text, &length);
        CaptureStderr();
        GetPinPrintPJL(id, pin != nullptr, pin, ticket, owner, sizeof ticket, log);
        stderrText = GetCapturedStderr();
        std::fclose(log);
        logText.assign(text, length);
        std::free(text);
        return ticket;
    }
    // The notes go to the job's log, never to the process's standard error.
    std::string host = "printhost", stderrText, logText;
};

TEST_F(TicketTest, NotLocked) {
    const std::string t = Ticket("alice", "/home/user/report.pdf");
    EXPECT_EQ(t, "@PJL SET USERNAME=\"alice\"\n@PJL SET JOBNAME=\"report.pdf\"\n");
    EXPECT_NE(logText.find("-->pin print isn't need!\n"), std::string::npos);
    EXPECT_EQ(stderrText, "");
}

TEST_F(TicketTest, LockedJobListsTheUserAndThePin) {
    const std::string t = Ticket("alice", "report.pdf", "1234");
    EXPECT_EQ(t, "@PJL SET USERNAME=\"alice\"\n@PJL SET JOBNAME=\"report.pdf\"\n"
                 "@PJL SET PINJOBNAME=\"alice\"\n@PJL SET JOBPASSWORD=\"1234\"\n");
    EXPECT_EQ(logText.find("isn't need"), std::string::npos);
}

// A PIN of any length leaves its line whole: closing quote and line end.
TEST_F(TicketTest, LongPinKeepsItsLineWhole) {
    const std::string pin(400, '7');
    const std::vector<std::string> lines = Lines(Ticket("alice", "x", pin.c_str()));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3].rfind("@PJL SET JOBPASSWORD=\"7777", 0), 0u);
    EXPECT_EQ(lines[3].back(), '"');
}

// The owner line names the job's host behind "kv", cut to its last 63 characters.
TEST_F(TicketTest, OwnerLineComesFirstWhenAsked) {
    const std::string t = Ticket("alice", "x", nullptr, true);
    EXPECT_EQ(t.rfind("@PJL SET JOBOWNER=\"kvprinthost\"\n@PJL SET USERNAME=", 0), 0u) << t;
    EXPECT_EQ(Lines(t).size(), 3u);
    host = std::string(62, 'h');
    EXPECT_EQ(Lines(Ticket("alice", "x", nullptr, true))[0], "@PJL SET JOBOWNER=\"v" + host + "\"");
    host = "a\"b\n@PJL RESET";
    EXPECT_EQ(Lines(Ticket("alice", "x", nullptr, true))[0],
              "@PJL SET JOBOWNER=\"kvab@PJL RESET\"");
}

TEST_F(TicketTest, JobNameFromTheTitle) {
    struct Case {
        const char *title;
        const char *name;
    } cases[] = {
        {"/home/user/report.pdf", "report.pdf"}, {"dir/", "77"}, {"", "77"}, {"plain", "plain"}};
    for (const auto &c : cases) {
        const auto lines = Lines(Ticket("u", c.title));
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[1], std::string("@PJL SET JOBNAME=\"") + c.name + "\"") << c.title;
    }
}

TEST_F(TicketTest, UserNameKeepsItsLast20Characters) {
    const auto lines = Lines(Ticket("abcdefghijklmnopqrstuvwxy", "t", "0123"));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "@PJL SET USERNAME=\"fghijklmnopqrstuvwxy\"");
    EXPECT_EQ(lines[2], "@PJL SET PINJOBNAME=\"fghijklmnopqrstuvwxy\"");
    EXPECT_EQ(Lines(Ticket("z", "t"))[0], "@PJL SET USERNAME=\"z\"");
}

// Names and PINs from outside cannot end a PJL line early or add commands.
TEST_F(TicketTest, HostileNamesCannotInjectPjl) {
    const std::string t =
        Ticket("ev\"il\r\n@PJL SET X=1\x1B", "a\"b\n@PJL RESET\r\nc", "\"\n5\r6\x1B", true);
    ExpectWellFormed(t);
    const auto lines = Lines(t);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1], "@PJL SET USERNAME=\"evil@PJL SET X=1\"");
    EXPECT_EQ(lines[2], "@PJL SET JOBNAME=\"ab@PJL RESETc\"");
    EXPECT_EQ(lines[4], "@PJL SET JOBPASSWORD=\"56\"");
}

TEST_F(TicketTest, LongTitleKeepsItsLast256Characters) {
    std::string title(1744, 'a');
    for (int i = 0; i < 256; ++i)
        title += static_cast<char>('A' + i % 26);
    const auto lines = Lines(Ticket("u", title));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "@PJL SET JOBNAME=\"" + title.substr(1744) + "\"");
}

// 300 four-byte characters: the last 256 would take 1024 bytes, more than the line holds;
// whole characters are dropped from the front until the line fits.
TEST_F(TicketTest, WideCharacterTitleIsCutToTheLineAtACharacterBoundary) {
    std::string title;
    for (int i = 0; i < 300; ++i)
        title += "\xF0\x9F\x98\x80";
    const std::string t = Ticket("u", title);
    ExpectWellFormed(t);
    const auto lines = Lines(t);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_LE(lines[1].size() + 1, 1023u);
    EXPECT_GT(lines[1].size(), 900u);
}

TEST_F(TicketTest, MultibyteUserNameCutByCharacters) {
    const std::string user = "J\xC3\xBCrgen-\xC3\x9Cnal-\xC3\x98ster-\xC3\x86r\xC3\xB8-\xC3\x85se";
    const auto lines = Lines(Ticket(user, "t"));
    ASSERT_EQ(lines.size(), 2u);
    // 25 characters: the last 20 start at "n-".
    EXPECT_EQ(lines[0],
              "@PJL SET USERNAME=\"n-\xC3\x9Cnal-\xC3\x98ster-\xC3\x86r\xC3\xB8-\xC3\x85se\"");
    // Names are UTF-8 whatever the locale: in the C locale the cut is by characters too, and
    // text that is not UTF-8 still gets a byte tail that starts on a character.
    std::setlocale(LC_ALL, "C");
    std::string longUser;
    for (int i = 0; i < 40; ++i)
        longUser += "\xC3\xBC";
    const std::string t = Ticket(longUser, "t");
    ExpectWellFormed(t);
    EXPECT_EQ(Lines(t)[0], "@PJL SET USERNAME=\"" + longUser.substr(40) + "\"");
    const std::string broken = "\xFF" + longUser;
    EXPECT_EQ(Lines(Ticket(broken, "t"))[0], "@PJL SET USERNAME=\"" + longUser.substr(32) + "\"");
    std::setlocale(LC_ALL, "C.UTF-8");
}

TEST(TextCut, TailOfHostNamesAndSmallBuffers) {
    std::setlocale(LC_ALL, "C.UTF-8");
    char out[256];
    const std::string h61(61, 'h'), h62(62, 'h'), h63(63, 'h');
    Getsubtext(out, 63, ("kv" + h61).c_str(), sizeof out);
    EXPECT_EQ(std::string(out), "kv" + h61);
    Getsubtext(out, 63, ("kv" + h62).c_str(), sizeof out);
    EXPECT_EQ(std::string(out), "v" + h62);
    Getsubtext(out, 63, ("kv" + h63).c_str(), sizeof out);
    EXPECT_EQ(std::string(out), h63);
    char small[5];
    Getsubtext(small, 20, "\xC3\xA4\xC3\xB6\xC3\xBC", sizeof small); // 6 bytes into 4
    EXPECT_STREQ(small, "\xC3\xB6\xC3\xBC");
    Getsubtext(out, 20, "", sizeof out);
    EXPECT_STREQ(out, "");
    std::setlocale(LC_ALL, "C");
}

TEST(TextCut, SanitizeRemovesQuotesAndControlCharacters) {
    EXPECT_EQ(SanitizePjlText("a\"b\r\n\tc\x1B\x7F"
                              "d\xC3\xA4"),
              "abcd\xC3\xA4");
    EXPECT_EQ(SanitizePjlText(nullptr), "");
}
} // namespace
