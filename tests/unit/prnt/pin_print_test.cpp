#include "prnt/pin_print.h"
#include "prnt/text_cut.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {
using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

// A PPD like the QV fixture whose locked-print default is `locked` and whose PIN digit
// options PinNum1..4 default to 0, 1, 2, 3.
std::string WritePpd(bool locked) {
    std::ifstream in(KELVRA_FIXTURES_DIR "/ppd/qv.ppd");
    std::stringstream ss;
    ss << in.rdbuf();
    std::string ppd = ss.str();
    if (locked) {
        const std::string from = "*DefaultLockedPinPrint: False";
        ppd.replace(ppd.find(from), from.size(), "*DefaultLockedPinPrint: true");
    }
    for (int i = 2; i <= 4; ++i) {
        const std::string n = "PinNum" + std::to_string(i);
        const std::string d = std::to_string(i - 1);
        ppd += "*OpenUI *" + n + "/PIN digit: PickOne\n*Default" + n + ": " + d + "\n*" + n + " " +
               d + "/" + d + ": \"\"\n*CloseUI: *" + n + "\n";
    }
    char path[] = "/tmp/kelvra_pin_XXXXXX";
    const int fd = mkstemp(path);
    const ssize_t n = write(fd, ppd.data(), ppd.size());
    close(fd);
    EXPECT_EQ(n, static_cast<ssize_t>(ppd.size()));
    return path;
}

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
    void SetUp() override {
        ppdLocked = WritePpd(true);
        ppdUnlocked = WritePpd(false);
        setenv("PPD", ppdUnlocked.c_str(), 1);
        std::setlocale(LC_ALL, "C.UTF-8");
    }
    void TearDown() override {
        unlink(ppdLocked.c_str());
        unlink(ppdUnlocked.c_str());
        std::setlocale(LC_ALL, "C");
    }
    std::string Ticket(const std::string &user, const std::string &title,
                       const std::string &options, bool owner = false) {
        std::string u = user, t = title, o = options;
        char a0[] = "rastertoKelvra", id[] = "77", copies[] = "1";
        char *argv[] = {a0, id, u.data(), t.data(), copies, o.data(), nullptr};
        char ticket[kPinPrintPJLSize];
        CaptureStderr();
        GetPinPrintPJL(argv, ticket, owner);
        stderrText = GetCapturedStderr();
        return ticket;
    }
    std::string Pin(const char *options) {
        char pin[kPinBufferSize] = {};
        CaptureStderr();
        locked = ispinPrint(options, pin);
        GetCapturedStderr();
        return pin;
    }
    std::string ppdLocked, ppdUnlocked, stderrText;
    bool locked = false;
};

TEST_F(TicketTest, NotLockedWithoutTheOption) {
    const std::string t = Ticket("alice", "/home/user/report.pdf", "noLockedPinPrint PinNum1=5");
    EXPECT_EQ(t, "@PJL SET USERNAME=\"alice\"\n@PJL SET JOBNAME=\"report.pdf\"\n");
    EXPECT_NE(stderrText.find("-->pin print isn't need!\n"), std::string::npos);
}

TEST_F(TicketTest, LockedJobListsTheUserAndThePin) {
    const std::string t = Ticket("alice", "report.pdf",
                                 "PinNum4=4 LockedPinPrint PinNum1=1 "
                                 "pinnum2=2 PinNum3=34");
    EXPECT_EQ(t, "@PJL SET USERNAME=\"alice\"\n@PJL SET JOBNAME=\"report.pdf\"\n"
                 "@PJL SET PINJOBNAME=\"alice\"\n@PJL SET JOBPASSWORD=\"1234\"\n");
}

TEST_F(TicketTest, OwnerLineComesFirstWhenAsked) {
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    const std::string t = Ticket("alice", "x", "", true);
    EXPECT_EQ(t.rfind(std::string("@PJL SET JOBOWNER=\"kv") + host, 0), 0u) << t;
    EXPECT_EQ(Lines(t).size(), 3u);
}

TEST_F(TicketTest, PinPartsComeFromOptionsOrPpdDefaults) {
    setenv("PPD", ppdUnlocked.c_str(), 1);
    EXPECT_EQ(Pin("LockedPinPrint"), "0123");
    EXPECT_TRUE(locked);
    EXPECT_EQ(Pin("LockedPinPrint PinNum2=9"), "0923");
    EXPECT_EQ(Pin("LockedPinPrint PinNum3"), "013"); // no "=": nothing for that digit
    EXPECT_EQ(Pin(""), "");
    EXPECT_FALSE(locked);
    setenv("PPD", ppdLocked.c_str(), 1);
    EXPECT_EQ(Pin("Collate"), "0123");
    EXPECT_TRUE(locked);
    EXPECT_EQ(Pin("nolockedpinprint"), "");
    EXPECT_FALSE(locked);
    setenv("PPD", ppdUnlocked.c_str(), 1);
    // An explicit "off" value is no lock, whatever the PIN options say.
    for (const char *off : {"LockedPinPrint=False PinNum1=5", "Collate lockedpinprint=no",
                            "LockedPinPrint=Off", "LockedPinPrint=0"}) {
        EXPECT_EQ(Pin(off), "") << off;
        EXPECT_FALSE(locked) << off;
    }
    EXPECT_EQ(Pin("LockedPinPrint=True PinNum1=5"), "5123");
    EXPECT_TRUE(locked);
    CaptureStderr();
    EXPECT_FALSE(ispinPrint(nullptr, nullptr));
    EXPECT_EQ(GetCapturedStderr(), "-->invalid parameter!\n");
}

TEST_F(TicketTest, JobNameFromTheTitle) {
    struct Case {
        const char *title;
        const char *name;
    } cases[] = {
        {"/home/user/report.pdf", "report.pdf"}, {"dir/", "77"}, {"", "77"}, {"plain", "plain"}};
    for (const auto &c : cases) {
        const auto lines = Lines(Ticket("u", c.title, ""));
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[1], std::string("@PJL SET JOBNAME=\"") + c.name + "\"") << c.title;
    }
}

TEST_F(TicketTest, UserNameKeepsItsLast20Characters) {
    const auto lines = Lines(Ticket("abcdefghijklmnopqrstuvwxy", "t", "LockedPinPrint"));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "@PJL SET USERNAME=\"fghijklmnopqrstuvwxy\"");
    EXPECT_EQ(lines[2], "@PJL SET PINJOBNAME=\"fghijklmnopqrstuvwxy\"");
    EXPECT_EQ(Lines(Ticket("z", "t", ""))[0], "@PJL SET USERNAME=\"z\"");
}

// Names from outside cannot end a PJL line early or add commands.
TEST_F(TicketTest, HostileNamesCannotInjectPjl) {
    const std::string t = Ticket("ev\"il\r\n@PJL SET X=1\x1B", "a\"b\n@PJL RESET\r\nc",
                                 "LockedPinPrint PinNum1=\" PinNum2=\n PinNum3=5 PinNum4=6", true);
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
    const auto lines = Lines(Ticket("u", title, ""));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "@PJL SET JOBNAME=\"" + title.substr(1744) + "\"");
}

// 300 four-byte characters: the last 256 would take 1024 bytes, more than the line holds;
// whole characters are dropped from the front until the line fits.
TEST_F(TicketTest, WideCharacterTitleIsCutToTheLineAtACharacterBoundary) {
    std::string title;
    for (int i = 0; i < 300; ++i)
        title += "\xF0\x9F\x98\x80";
    const std::string t = Ticket("u", title, "");
    ExpectWellFormed(t);
    const auto lines = Lines(t);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_LE(lines[1].size() + 1, 1023u);
    EXPECT_GT(lines[1].size(), 900u);
}

TEST_F(TicketTest, MultibyteUserNameCutByCharacters) {
    const std::string user = "J\xC3\xBCrgen-\xC3\x9Cnal-\xC3\x98ster-\xC3\x86r\xC3\xB8-\xC3\x85se";
    const auto lines = Lines(Ticket(user, "t", ""));
    ASSERT_EQ(lines.size(), 2u);
    // 25 characters: the last 20 start at "n-".
    EXPECT_EQ(lines[0],
              "@PJL SET USERNAME=\"n-\xC3\x9Cnal-\xC3\x98ster-\xC3\x86r\xC3\xB8-\xC3\x85se\"");
    // In the C locale the conversion fails and the byte tail still starts on a character.
    std::setlocale(LC_ALL, "C");
    std::string longUser;
    for (int i = 0; i < 40; ++i)
        longUser += "\xC3\xBC";
    const std::string t = Ticket(longUser, "t", "");
    ExpectWellFormed(t);
    EXPECT_EQ(Lines(t)[0], "@PJL SET USERNAME=\"" + longUser.substr(32) + "\"");
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
