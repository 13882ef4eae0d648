#include "common/globals.h"
#include "common/last_error.h"
#include "common/sink.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {
// A temporary file opened read-write; removed when the test ends.
struct TempFile {
    int fd = -1;
    TempFile() {
        char path[] = "/tmp/kelvra_sink_XXXXXX";
        fd = mkstemp(path);
        unlink(path);
    }
    ~TempFile() {
        if (fd >= 0) close(fd);
    }
    std::string Contents() const {
        std::string out;
        char buf[4096];
        ssize_t n;
        off_t off = 0;
        while ((n = pread(fd, buf, sizeof buf, off)) > 0) {
            out.append(buf, static_cast<std::size_t>(n));
            off += n;
        }
        return out;
    }
};

// Points standard output at `fd` for the lifetime of the object.
struct StdoutRedirect {
    int saved;
    explicit StdoutRedirect(int fd) {
        std::fflush(stdout);
        saved = dup(STDOUT_FILENO);
        dup2(fd, STDOUT_FILENO);
    }
    ~StdoutRedirect() {
        std::fflush(stdout);
        dup2(saved, STDOUT_FILENO);
        close(saved);
    }
};

class SinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gSendDataToDevice = 1;
        gTempDataFile = gCollateFile = gManualDuplexOddFile = gManualDuplexEvenFile = 0;
        g_page = 1;
        gStdoutBroken = 0;
        gSinkWrite = ::write;
        gOddNumberCacheSize.assign(1024, 0);
        gEvenNumberCacheSize.assign(1024, 0);
        SetLastError("older text");
    }
    void TearDown() override {
        gTempDataFile = gCollateFile = gManualDuplexOddFile = gManualDuplexEvenFile = 0;
        gSinkWrite = ::write;
    }
};

// Every combination of device switch, open descriptors, cache flag and page parity: the
// bytes reach exactly the destinations that apply, and the call succeeds when any did.
TEST_F(SinkTest, RoutesEachItemToTheDestinationsThatApply) {
    for (int combo = 0; combo < 128; ++combo) {
        const bool device = combo & 1, copy = combo & 2, collate = combo & 4, odd = combo & 8,
                   even = combo & 16, cache = combo & 32, oddPage = combo & 64;
        SCOPED_TRACE(combo);
        TempFile out, tmp, col, oddF, evenF;
        StdoutRedirect redirect(out.fd);
        gSendDataToDevice = device ? 1 : 0;
        gTempDataFile = copy ? tmp.fd : 0;
        gCollateFile = collate ? col.fd : 0;
        gManualDuplexOddFile = odd ? oddF.fd : 0;
        gManualDuplexEvenFile = even ? evenF.fd : 0;
        g_page = oddPage ? 5 : 6;
        gOddNumberCacheSize.assign(1024, 0);
        gEvenNumberCacheSize.assign(1024, 0);
        g_ismiddlepage = 0;

        const int result = SendDataToFile("\x0B\x04\x18\xD9", 4, cache ? 1 : 0);
        const std::string frame = "\x0B\x04\x18\xD9";
        const bool toOdd = cache && odd && oddPage;
        const bool toEven = cache && even && !oddPage;
        const bool toCollate = cache && collate;
        EXPECT_EQ(out.Contents(), device ? frame : "");
        EXPECT_EQ(tmp.Contents(), device && copy ? frame : "");
        EXPECT_EQ(col.Contents(), toCollate ? frame : "");
        EXPECT_EQ(oddF.Contents(), toOdd ? frame : "");
        EXPECT_EQ(evenF.Contents(), toEven ? frame : "");
        EXPECT_EQ(gOddNumberCacheSize[2], toOdd ? 4 : 0);   // page 5 counts at 5 / 2
        EXPECT_EQ(gEvenNumberCacheSize[2], toEven ? 4 : 0); // page 6 counts at 6 / 2 - 1
        EXPECT_EQ(result, (device || toCollate || toOdd || toEven) ? 1 : 0);
        EXPECT_EQ(g_ismiddlepage, 1);
    }
}

TEST_F(SinkTest, NullDataReplacesTheErrorText) {
    EXPECT_EQ(SendDataToFile(nullptr, 4, 1), 0);
    EXPECT_STREQ(prntLastError, "SendDataToFile() :: NULL == pData");
}

TEST_F(SinkTest, NothingToSendIsAFailedSend) {
    TempFile out;
    StdoutRedirect redirect(out.fd);
    EXPECT_EQ(SendDataToFile("x", 0, 1), 0);
    EXPECT_EQ(out.Contents(), "");
}

TEST_F(SinkTest, FailedWriteToStandardOutputFailsEvenWhenTheSpoolWriteSucceeds) {
    const int full = open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    TempFile col;
    {
        StdoutRedirect redirect(full);
        gCollateFile = col.fd;
        EXPECT_EQ(SendDataToFile("abcd", 4, 1), 0);
    }
    close(full);
    EXPECT_EQ(col.Contents(), "abcd");
    const std::string err = prntLastError;
    EXPECT_EQ(err.rfind("SendDataToFile() :: write to standard output Fail", 0), 0u) << err;
    EXPECT_NE(err.find("older text"), std::string::npos);
    EXPECT_EQ(gStdoutBroken, 0); // no space is not a vanished reader
}

// The device-stream copy is never read back: a full disk drops the copy (reported, closed)
// and the send to the printer still counts as done, so no command is cut short.
TEST_F(SinkTest, FailedDeviceCopyWriteDropsTheCopyNotTheSend) {
    TempFile out;
    const int full = open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    StdoutRedirect redirect(out.fd);
    gTempDataFile = full;
    EXPECT_EQ(SendDataToFile("abcd", 4, 0), 1);
    EXPECT_EQ(gTempDataFile, 0) << "the copy is not written again";
    EXPECT_EQ(SendDataToFile("ef", 2, 0), 1);
    EXPECT_EQ(out.Contents(), "abcdef");
    EXPECT_EQ(
        std::string(prntLastError).rfind("SendDataToFile() :: write to device-stream copy", 0), 0u);
}

// A spool that cannot take a page any more (full temporary directory) does not cut the
// printer's stream short; the failure is remembered so that the spool is never replayed.
TEST_F(SinkTest, FailedSpoolWriteKeepsTheSendToStandardOutput) {
    TempFile out;
    const int full = open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    StdoutRedirect redirect(out.fd);
    gCollateFile = full;
    gSpoolWriteFailed = 0;
    EXPECT_EQ(SendDataToFile("abcd", 4, 1), 1);
    EXPECT_EQ(gSpoolWriteFailed, 1);
    EXPECT_EQ(out.Contents(), "abcd");
    // Data that goes only to the spools (the held side of manual duplex) is lost: a failure.
    gCollateFile = 0;
    gManualDuplexOddFile = full;
    gSendDataToDevice = 0;
    EXPECT_EQ(SendDataToFile("ef", 2, 1), 0);
    gSendDataToDevice = 1;
    gManualDuplexOddFile = 0;
    gSpoolWriteFailed = 0;
    close(full);
}

TEST_F(SinkTest, ClosedReaderMarksStandardOutputBroken) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);
    auto old = std::signal(SIGPIPE, SIG_IGN);
    {
        StdoutRedirect redirect(fds[1]);
        EXPECT_EQ(SendDataToFile("abcd", 4, 1), 0);
    }
    std::signal(SIGPIPE, old);
    close(fds[1]);
    EXPECT_EQ(gStdoutBroken, 1);
}

// Interrupted and partial writes are resumed until every byte is out.
TEST_F(SinkTest, ResumesPartialAndInterruptedWrites) {
    static int calls;
    calls = 0;
    gSinkWrite = [](int fd, const void *buf, std::size_t n) -> ssize_t {
        ++calls;
        if (calls == 1) {
            errno = EINTR;
            return -1;
        }
        return ::write(fd, buf, n > 3 ? 3 : n);
    };
    TempFile out;
    StdoutRedirect redirect(out.fd);
    EXPECT_EQ(SendDataToFile("abcdefgh", 8, 0), 1);
    EXPECT_EQ(out.Contents(), "abcdefgh");
}

// Jobs of more than 2048 pages: the per-page counters grow instead of overrunning.
TEST_F(SinkTest, PerPageCountsGrowBeyondPage2048) {
    TempFile oddF, evenF;
    gSendDataToDevice = 0;
    gManualDuplexOddFile = oddF.fd;
    gManualDuplexEvenFile = evenF.fd;
    g_page = 5001;
    EXPECT_EQ(SendDataToFile("abc", 3, 1), 1);
    g_page = 5002;
    EXPECT_EQ(SendDataToFile("abcd", 4, 1), 1);
    ASSERT_GT(gOddNumberCacheSize.size(), 2500u);
    ASSERT_GT(gEvenNumberCacheSize.size(), 2500u);
    EXPECT_EQ(gOddNumberCacheSize[2500], 3);
    EXPECT_EQ(gEvenNumberCacheSize[2500], 4);
}

TEST_F(SinkTest, NoDestinationFails) {
    gSendDataToDevice = 0;
    TempFile col;
    gCollateFile = col.fd;
    EXPECT_EQ(SendDataToFile("abcd", 4, 0), 0); // spools take cached items only
    EXPECT_EQ(col.Contents(), "");
}
} // namespace
