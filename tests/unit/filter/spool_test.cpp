#include "common/globals.h"
#include "common/sink.h"
#include "common/tempfile.h"
#include "filter/cups_binding.h"
#include "filter/spool.h"
#include "prnt/prnt.h"

#include "tests/support/filter_runner.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <cups/cups.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr char kOtherModel[] = "Kelvra R18 Series";
constexpr char kQVModel[] = "Kelvra QV66ADN Series";

// Points standard output at a fresh file for the lifetime of the object.
struct CapturedStdout {
    int fd;
    int saved;
    CapturedStdout() {
        char path[] = "/tmp/kelvra_spool_out_XXXXXX";
        fd = mkstemp(path);
        unlink(path);
        std::fflush(stdout);
        saved = dup(STDOUT_FILENO);
        dup2(fd, STDOUT_FILENO);
    }
    ~CapturedStdout() {
        std::fflush(stdout);
        dup2(saved, STDOUT_FILENO);
        close(saved);
        close(fd);
    }
    std::string Contents() const {
        std::fflush(stdout);
        std::string out;
        char buf[65536];
        ssize_t n;
        off_t off = 0;
        while ((n = pread(fd, buf, sizeof buf, off)) > 0) {
            out.append(buf, static_cast<size_t>(n));
            off += n;
        }
        return out;
    }
};

// The manual-duplex command of platform Z as the command stream sends it.
std::string ManualDuplexCommandBytes() {
    CapturedStdout out;
    gSendDataToDevice = 1;
    SendManualDuplexCmd(PLATFORM_Z);
    return out.Contents();
}

// A page's spooled item: "[P<n>" and filler of a size that varies from page to page (so
// pages straddle the replay chunks), then "]".
std::string PageItem(int page) {
    return "[P" + std::to_string(page) + std::string(static_cast<size_t>(page * 1777 % 9001), '.') +
           "]";
}

// Splits an output stream into page markers ("P3", "B") and "CMD" for the manual-duplex
// command; anything else is reported as "?" so that stray bytes fail the comparison.
std::vector<std::string> Tokens(const std::string &out, const std::string &cmd) {
    std::vector<std::string> tokens;
    size_t i = 0;
    while (i < out.size()) {
        if (!cmd.empty() && out.compare(i, cmd.size(), cmd) == 0) {
            tokens.push_back("CMD");
            i += cmd.size();
        } else if (out[i] == '[') {
            const size_t end = out.find(']', i);
            if (end == std::string::npos) {
                tokens.push_back("?");
                break;
            }
            std::string body = out.substr(i + 1, end - i - 1);
            const size_t dots = body.find('.');
            const std::string name = body.substr(0, dots);
            if (dots != std::string::npos && body.find_first_not_of('.', dots) != std::string::npos)
                tokens.push_back("?");
            else
                tokens.push_back(name);
            i = end + 1;
        } else {
            tokens.push_back("?");
            ++i;
        }
    }
    return tokens;
}

std::vector<std::string> Pages(std::initializer_list<const char *> names) {
    return std::vector<std::string>(names.begin(), names.end());
}

class SpoolTest : public ::testing::Test {
  protected:
    TempDir tmp;
    std::string savedTmpdir;
    bool hadTmpdir = false;
    std::string cmd;

    void SetUp() override {
        if (const char *v = std::getenv("TMPDIR")) {
            hadTmpdir = true;
            savedTmpdir = v;
        }
        setenv("TMPDIR", tmp.path().c_str(), 1);
        gSendDataToDevice = 1;
        gTempDataFile = gCollateFile = gManualDuplexOddFile = gManualDuplexEvenFile = 0;
        g_page = 0;
        Canceled = 0;
        gStdoutBroken = 0;
        gSinkWrite = ::write;
        pfcupsTempFd = cupsTempFd;
        gOddNumberCacheSize.assign(1024, 0);
        gEvenNumberCacheSize.assign(1024, 0);
        std::snprintf(gPPDFile, sizeof gPPDFile, "%s", kOtherModel);
        cmd = ManualDuplexCommandBytes();
        ASSERT_FALSE(cmd.empty());
    }
    void TearDown() override {
        CloseAndRemoveSpools();
        RemoveRegisteredTempFiles();
        gSinkWrite = ::write;
        pfcupsTempFd = cupsTempFd;
        Canceled = 0;
        gStdoutBroken = 0;
        if (hadTmpdir)
            setenv("TMPDIR", savedTmpdir.c_str(), 1);
        else
            unsetenv("TMPDIR");
    }

    // The pass over the pages as the job loop makes it: destination by parity, then the
    // page's items through the sink with the cache flag set.
    void RunPass(int pages, int manualDuplex, bool qv) {
        for (int p = 1; p <= pages; ++p) {
            g_page = p;
            SetManualDuplexDestination(manualDuplex, p, qv);
            const std::string item = PageItem(p);
            SendDataToFile(item.data(), static_cast<int>(item.size()), 1);
        }
    }
};

// The blank page as InsertBlankPage routes it: for the QV models with manual-duplex support
// it advances the page counter and prints at once.
void SendBlank(bool qv) {
    if (qv) {
        ++g_page;
        gSendDataToDevice = 1;
    }
    SendDataToFile("[B]", 3, 1);
}

TEST_F(SpoolTest, CollatedCopiesReplayTheWholeDocument) {
    CapturedStdout out;
    ASSERT_TRUE(OpenCollateSpool(1, 3));
    ASSERT_NE(gCollateFile, 0);
    EXPECT_TRUE(IsRegisteredTempFile(collateTmpFile));
    RunPass(3, 0, false);
    EXPECT_EQ(ReplayCollateCopies(3), 1);
    EXPECT_EQ(Tokens(out.Contents(), cmd),
              Pages({"P1", "P2", "P3", "P1", "P2", "P3", "P1", "P2", "P3"}));
    EXPECT_EQ(gCollateFile, 0);
    EXPECT_TRUE(tmp.entries().empty());
}

TEST_F(SpoolTest, CollationWithOneCopyOrWithoutTheOptionOpensNoSpool) {
    for (auto [collate, copies] : {std::pair{1, 1u}, std::pair{0, 4u}, std::pair{1, 0u}}) {
        EXPECT_TRUE(OpenCollateSpool(collate, copies));
        EXPECT_EQ(gCollateFile, 0);
        EXPECT_TRUE(tmp.entries().empty());
    }
}

struct ManualDuplexCase {
    const char *name;
    bool qv;
    int pages;
    int collate;
    unsigned copies;
    std::vector<std::string> duringPass;
    std::vector<std::string> printed; // the whole job, pass and replay
};

// The printer order of manual-duplex jobs: the first side during the pass, the command,
// then the other side in the order the turned stack needs.
TEST_F(SpoolTest, ManualDuplexPrintsBothSidesInTheModelsOrder) {
    const std::vector<ManualDuplexCase> cases = {
        {"other, five pages", false, 5, 0, 1, Pages({"P1", "P3", "P5"}),
         Pages({"P1", "P3", "P5", "CMD", "B", "P4", "P2"})},
        {"other, four pages", false, 4, 0, 1, Pages({"P1", "P3"}),
         Pages({"P1", "P3", "CMD", "P4", "P2"})},
        {"other, three pages, two collated copies", false, 3, 1, 2, Pages({"P1", "P3"}),
         Pages({"P1", "P3", "P1", "P3", "CMD", "B", "P2", "B", "P2"})},
        {"other, copies without collation", false, 2, 0, 3, Pages({"P1"}),
         Pages({"P1", "CMD", "P2"})},
        {"QV, five pages", true, 5, 0, 1, Pages({"P2", "P4", "B"}),
         Pages({"P2", "P4", "B", "CMD", "P1", "P3", "P5"})},
        {"QV, four pages, two collated copies", true, 4, 1, 2, Pages({"P2", "P4"}),
         Pages({"P2", "P4", "P2", "P4", "CMD", "P1", "P3", "P1", "P3"})},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::snprintf(gPPDFile, sizeof gPPDFile, "%s", c.qv ? kQVModel : kOtherModel);
        gOddNumberCacheSize.assign(1024, 0);
        CapturedStdout out;
        gSendDataToDevice = 1;
        ASSERT_TRUE(OpenCollateSpool(c.collate, c.copies));
        ASSERT_TRUE(OpenManualDuplexSpools(1));
        EXPECT_EQ(gSendDataToDevice, 0);
        RunPass(c.pages, 1, c.qv);
        // Job end: the QV models give an odd page count above 1 its blank page first.
        if (c.qv && g_page % 2 == 1 && g_page != 1) SendBlank(true);
        EXPECT_EQ(Tokens(out.Contents(), cmd), c.duringPass);
        testing::internal::CaptureStderr();
        const int rc = ReplayManualDuplex(PLATFORM_Z, c.qv, c.collate, c.copies,
                                          "Turn the stack over", 0, [&] { SendBlank(c.qv); });
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(rc, 1);
        EXPECT_NE(err.find("INFO:Turn the stack over\n"), std::string::npos);
        EXPECT_EQ(Tokens(out.Contents(), cmd), c.printed);
        CloseAndRemoveSpools();
        EXPECT_EQ(gCollateFile + gManualDuplexOddFile + gManualDuplexEvenFile, 0);
        EXPECT_TRUE(tmp.entries().empty());
    }
}

// A one-page QV job prints nothing during the pass; at job end its tray is rewritten and it
// prints once per copy, without the manual-duplex command.
TEST_F(SpoolTest, SinglePageQVJobPrintsAtJobEndFromTheRecordedTray) {
    std::snprintf(gPPDFile, sizeof gPPDFile, "%s", kQVModel);
    CapturedStdout out;
    ASSERT_TRUE(OpenCollateSpool(1, 2));
    ASSERT_TRUE(OpenManualDuplexSpools(1));
    g_page = 1;
    SetManualDuplexDestination(1, 1, true);
    // A page specification frame (0B 12 12, tray in byte 7, checksum in byte 17).
    std::string frame = "\x0B\x12\x12";
    frame += std::string(15, '\x01');
    frame[7] = 1;
    const std::string item = "[P1]" + frame;
    SendDataToFile(item.data(), static_cast<int>(item.size()), 1);
    EXPECT_TRUE(out.Contents().empty());
    testing::internal::CaptureStderr();
    EXPECT_EQ(ReplayManualDuplex(PLATFORM_Z, true, 1, 2, "", 4, {}), 1);
    testing::internal::GetCapturedStderr();
    const std::string printed = out.Contents();
    ASSERT_EQ(printed.size(), 2 * item.size());
    EXPECT_EQ(printed.find(cmd), std::string::npos);
    for (size_t copy = 0; copy < 2; ++copy) {
        EXPECT_EQ(printed.compare(copy * item.size(), 4, "[P1]"), 0);
        EXPECT_EQ(printed[copy * item.size() + 4 + 7], 4); // the recorded tray
    }
}

// Jobs beyond 1024 even pages: the byte counts grow with the job and the even pages still
// come back from the last to the first.
TEST_F(SpoolTest, LongManualDuplexJobReplaysEveryEvenPageBackwards) {
    CapturedStdout out;
    ASSERT_TRUE(OpenManualDuplexSpools(1));
    constexpr int kPages = 2501;
    for (int p = 1; p <= kPages; ++p) {
        g_page = p;
        SetManualDuplexDestination(1, p, false);
        const std::string item = "[P" + std::to_string(p) + "]";
        SendDataToFile(item.data(), static_cast<int>(item.size()), 1);
    }
    EXPECT_GE(gEvenNumberCacheSize.size(), static_cast<size_t>(kPages / 2));
    testing::internal::CaptureStderr();
    EXPECT_EQ(ReplayManualDuplex(PLATFORM_Z, false, 0, 1, "", 0, [] { SendBlank(false); }), 1);
    testing::internal::GetCapturedStderr();
    std::vector<std::string> expect;
    for (int p = 1; p <= kPages; p += 2)
        expect.push_back("P" + std::to_string(p));
    expect.push_back("CMD");
    expect.push_back("B");
    for (int p = kPages - 1; p >= 2; p -= 2)
        expect.push_back("P" + std::to_string(p));
    EXPECT_EQ(Tokens(out.Contents(), cmd), expect);
}

int gRefusals = 0;    // writes to standard output refused so far
int gRefuseLimit = 0; // refuse this many, then accept
int gOffered = 0;     // writes to standard output attempted
ssize_t RefusingWrite(int fd, const void *buf, size_t count) {
    if (fd == STDOUT_FILENO) {
        ++gOffered;
        if (gRefusals < gRefuseLimit) {
            ++gRefusals;
            errno = EIO;
            return -1;
        }
    }
    return ::write(fd, buf, count);
}

// A chunk that the output keeps refusing is offered three times, then the replay stops
// with a message instead of looping; a chunk accepted on a later offer is sent once.
TEST_F(SpoolTest, RefusedChunkIsOfferedAtMostThreeTimes) {
    const struct {
        int refusals;
        int expectRc;
        int expectOffers;
    } cases[] = {{1000, 0, 3}, {2, 1, 3 + 1}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.refusals);
        CapturedStdout out;
        ASSERT_TRUE(OpenCollateSpool(1, 3));
        RunPass(2, 0, false); // 3556 + 7110 bytes: one collate chunk per copy
        const std::string pass = out.Contents();
        gRefusals = 0;
        gRefuseLimit = c.refusals;
        gOffered = 0;
        gSinkWrite = RefusingWrite;
        testing::internal::CaptureStderr();
        EXPECT_EQ(ReplayCollateCopies(3), c.expectRc);
        const std::string err = testing::internal::GetCapturedStderr();
        gSinkWrite = ::write;
        EXPECT_EQ(gOffered, c.expectOffers);
        if (c.expectRc == 0) {
            EXPECT_NE(err.find("ERROR: The printer output refused the collate spool data"),
                      std::string::npos)
                << err;
            EXPECT_EQ(out.Contents(), pass);
        } else {
            EXPECT_EQ(Tokens(out.Contents(), cmd), Pages({"P1", "P2", "P1", "P2", "P1", "P2"}));
        }
        EXPECT_EQ(gCollateFile, 0);
        EXPECT_TRUE(tmp.entries().empty());
    }
}

TEST_F(SpoolTest, RefusedOutputStopsTheManualDuplexReplayAndRemovesTheSpools) {
    CapturedStdout out;
    ASSERT_TRUE(OpenManualDuplexSpools(1));
    RunPass(4, 1, false);
    gRefusals = 0;
    gRefuseLimit = 1000;
    gOffered = 0;
    gSinkWrite = RefusingWrite;
    testing::internal::CaptureStderr();
    EXPECT_EQ(ReplayManualDuplex(PLATFORM_Z, false, 1, 2, "", 0, [] { SendBlank(false); }), 0);
    const std::string err = testing::internal::GetCapturedStderr();
    gSinkWrite = ::write;
    EXPECT_EQ(gOffered, 3);
    EXPECT_NE(err.find("replay was stopped"), std::string::npos);
    EXPECT_TRUE(tmp.entries().empty());
}

// A cancelled job skips the replays; every spool is still closed and removed, and output
// to the printer is back on for the job end.
TEST_F(SpoolTest, CancelledJobSkipsReplaysButRemovesEverySpool) {
    for (bool manual : {false, true}) {
        CapturedStdout out;
        ASSERT_TRUE(OpenCollateSpool(1, 2));
        ASSERT_TRUE(OpenManualDuplexSpools(manual ? 1 : 0));
        RunPass(4, manual ? 1 : 0, false);
        EXPECT_EQ(tmp.entries().size(), manual ? 3u : 1u);
        const std::string pass = out.Contents();
        Canceled = 1;
        testing::internal::CaptureStderr();
        EXPECT_EQ(ReplayCollateCopies(2), 0);
        EXPECT_EQ(ReplayManualDuplex(PLATFORM_Z, false, 1, 2, "msg", 0, [] { SendBlank(false); }),
                  0);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.find("INFO:"), std::string::npos);
        CloseAndRemoveSpools();
        Canceled = 0;
        EXPECT_EQ(out.Contents(), pass);
        EXPECT_EQ(gCollateFile + gManualDuplexOddFile + gManualDuplexEvenFile, 0);
        EXPECT_EQ(gSendDataToDevice, 1);
        EXPECT_TRUE(tmp.entries().empty());
    }
}

int gTempCalls = 0;
int gFailOnCall = 0;
int FailingTempFd(char *name, int size) {
    ++gTempCalls;
    if (gTempCalls == gFailOnCall) {
        std::snprintf(name, static_cast<size_t>(size), "/no/such/dir/spool%d", gTempCalls);
        errno = ENOENT;
        return -1;
    }
    return cupsTempFd(name, size);
}

// A spool that cannot be created ends the job: the message names it and the spools
// already made are removed.
TEST_F(SpoolTest, SpoolCreationFailureIsReportedAndCleansUp) {
    pfcupsTempFd = FailingTempFd;
    for (int failOn : {1, 2}) {
        SCOPED_TRACE(failOn);
        gTempCalls = 0;
        gFailOnCall = failOn;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(OpenManualDuplexSpools(1));
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err, "/no/such/dir/spool" + std::to_string(failOn) + " file open fail");
        EXPECT_EQ(gManualDuplexOddFile + gManualDuplexEvenFile, 0);
        EXPECT_TRUE(tmp.entries().empty());
    }
    gTempCalls = 0;
    gFailOnCall = 1;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(OpenCollateSpool(1, 2));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("ERROR: Unable to create the collate spool file"), std::string::npos);
    EXPECT_EQ(gCollateFile, 0);
}

} // namespace
