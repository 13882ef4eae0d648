// The output sink of a job: which destinations each item reaches, what a failed write does to
// the send and to the sink's state, and the spools' life cycle.
#include "common/sink.h"

#include "common/last_error.h"
#include "tests/support/filter_runner.h"
#include "tests/support/job_fixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <pthread.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

const std::string kFrame = "\x0B\x04\x18\xD9";

// A file in the test's directory that stands for the device-stream copy; the sink gets a
// descriptor of its own (it closes it), the test keeps one to read what arrived.
class CopyFile {
  public:
    explicit CopyFile(const std::string &path)
        : fd_(open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600)) {}
    ~CopyFile() {
        if (fd_ >= 0) close(fd_);
    }
    CopyFile(const CopyFile &) = delete;
    CopyFile &operator=(const CopyFile &) = delete;
    int Give() const { return dup(fd_); }
    std::string Contents() const { return FdContents(fd_); }

  private:
    int fd_;
};

// One job's sink with its printer stream in memory and spools in a temporary directory; the
// job's error text holds an older message.
struct SinkUnderTest {
    SinkUnderTest() { error.Set("older text\n"); }

    void Open(Spool spool) {
        std::string name;
        ASSERT_TRUE(sink.OpenSpool(spool, name)) << static_cast<int>(spool);
        EXPECT_FALSE(name.empty());
    }
    std::string Spooled(Spool spool) const {
        return sink.IsOpen(spool) ? FdContents(sink.SpoolFd(spool)) : "";
    }
    int Send(const std::string &data, int bCache) {
        return sink.Send(data.data(), static_cast<int>(data.size()), bCache);
    }
    // The error text starts with the sink's message about `what` and keeps the older text.
    void ExpectReported(const std::string &what) const {
        const std::string text = error.c_str();
        EXPECT_EQ(text.rfind("SendDataToFile() :: " + what, 0), 0u) << text;
        EXPECT_NE(text.find("older text\n"), std::string::npos) << text;
    }

    TempDir dir;
    TestSpoolFiles files{dir.path()};
    MemoryWriter printer;
    ErrorText error;
    OutputSink sink{printer, error, &files};
};

class SinkTest : public ::testing::Test, protected SinkUnderTest {};

// Every combination of device output, device-stream copy, open spools, cache flag and page
// parity: the bytes reach exactly the destinations that apply, the page counts follow the
// spooled bytes, and the send succeeds when any destination took it.
TEST(SinkRouting, EachItemReachesTheDestinationsThatApply) {
    for (int combo = 0; combo < 128; ++combo) {
        const bool device = combo & 1, copy = combo & 2, collate = combo & 4, odd = combo & 8,
                   even = combo & 16, cache = combo & 32, oddPage = combo & 64;
        SCOPED_TRACE(combo);
        SinkUnderTest t;
        CopyFile copyFile(t.dir.file("copy"));
        if (copy) t.sink.SetDeviceCopy(copyFile.Give());
        if (collate) t.Open(Spool::Collate);
        if (odd) t.Open(Spool::OddPages);
        if (even) t.Open(Spool::EvenPages);
        t.sink.SetDeviceOutput(device);
        t.sink.SetPage(oddPage ? 5 : 6);
        t.sink.SetBetweenCommands(true);

        const int result = t.Send(kFrame, cache ? 1 : 0);
        const bool toOdd = cache && odd && oddPage;
        const bool toEven = cache && even && !oddPage;
        const bool toCollate = cache && collate;
        const bool anywhere = device || toCollate || toOdd || toEven;
        EXPECT_EQ(t.printer.bytes, device ? kFrame : "");
        EXPECT_EQ(t.printer.writes.size(), device ? 1u : 0u);
        EXPECT_EQ(copyFile.Contents(), device && copy ? kFrame : "");
        EXPECT_EQ(t.Spooled(Spool::Collate), toCollate ? kFrame : "");
        EXPECT_EQ(t.Spooled(Spool::OddPages), toOdd ? kFrame : "");
        EXPECT_EQ(t.Spooled(Spool::EvenPages), toEven ? kFrame : "");
        // page 5 counts at 5 / 2, page 6 at 6 / 2 - 1
        EXPECT_EQ(t.sink.PageBytes(Spool::OddPages).at(2), toOdd ? 4 : 0);
        EXPECT_EQ(t.sink.PageBytes(Spool::EvenPages).at(2), toEven ? 4 : 0);
        EXPECT_EQ(result, anywhere ? 1 : 0);
        EXPECT_EQ(std::string(t.error.c_str()),
                  std::string(anywhere ? "" : "SendDataToFile() :: no destination for the data\n") +
                      "older text\n");
        EXPECT_FALSE(t.printer.betweenCommands) << "a command is being written";
        EXPECT_FALSE(t.sink.OutputBroken());
        EXPECT_FALSE(t.sink.SpoolWriteFailed());
    }
}

TEST_F(SinkTest, NullDataReplacesTheErrorText) {
    EXPECT_EQ(sink.Send(nullptr, 4, 1), 0);
    EXPECT_STREQ(error.c_str(), "SendDataToFile() :: NULL == pData\n");
    EXPECT_TRUE(printer.writes.empty());
}

TEST_F(SinkTest, NothingToSendIsAFailedSend) {
    Open(Spool::Collate);
    EXPECT_EQ(sink.Send("x", 0, 1), 0);
    EXPECT_EQ(sink.Send("x", -1, 1), 0);
    EXPECT_TRUE(printer.writes.empty());
    EXPECT_EQ(Spooled(Spool::Collate), "");
    ExpectReported("nothing to send");
}

// Consecutive sends arrive in order, each as one write of the printer stream.
TEST_F(SinkTest, SendsArriveInOrder) {
    Open(Spool::Collate);
    EXPECT_EQ(Send("abc", 1), 1);
    EXPECT_EQ(Send("de", 0), 1);
    EXPECT_EQ(Send("fgh", 1), 1);
    EXPECT_EQ(printer.bytes, "abcdefgh");
    EXPECT_EQ(printer.writes, (std::vector<std::size_t>{3, 2, 3}));
    EXPECT_EQ(Spooled(Spool::Collate), "abcfgh");
}

TEST_F(SinkTest, FailedPrinterWriteFailsEvenWhenTheSpoolWriteSucceeds) {
    Open(Spool::Collate);
    printer.failAt = 1;
    printer.failErrno = ENOSPC;
    EXPECT_EQ(Send("abcd", 1), 0);
    EXPECT_EQ(Spooled(Spool::Collate), "abcd");
    ExpectReported("write to standard output Fail: " + std::string(strerror(ENOSPC)));
    EXPECT_FALSE(sink.OutputBroken()) << "no space is not a vanished reader";
    EXPECT_FALSE(sink.SpoolWriteFailed());
    // the failure does not stick: the next write goes through
    EXPECT_EQ(Send("ef", 1), 1);
    EXPECT_EQ(printer.bytes, "ef");
}

// EPIPE: the reader of the printer stream is gone and the job must stop.
TEST_F(SinkTest, ClosedReaderMarksTheOutputBroken) {
    printer.failAt = 2;
    printer.failErrno = EPIPE;
    EXPECT_EQ(Send("ab", 0), 1);
    EXPECT_FALSE(sink.OutputBroken());
    EXPECT_EQ(Send("cd", 0), 0);
    EXPECT_TRUE(sink.OutputBroken());
    ExpectReported("write to standard output Fail: " + std::string(strerror(EPIPE)));
    EXPECT_EQ(printer.bytes, "ab");
}

// The device-stream copy is never read back: a full disk drops the copy (reported once,
// closed) and the send to the printer still counts as done, so no command is cut short.
TEST_F(SinkTest, FailedDeviceCopyWriteDropsTheCopyNotTheSend) {
    sink.SetDeviceCopy(open("/dev/full", O_WRONLY | O_CLOEXEC));
    EXPECT_EQ(Send("abcd", 0), 1);
    ExpectReported("write to device-stream copy (no longer kept) Fail");
    const std::string afterFailure = error.c_str();
    EXPECT_EQ(Send("ef", 0), 1);
    EXPECT_EQ(error.c_str(), afterFailure) << "the copy is not written again";
    EXPECT_EQ(printer.bytes, "abcdef");
    EXPECT_FALSE(sink.SpoolWriteFailed());
}

// The copy takes only what reached the printer.
TEST_F(SinkTest, DeviceCopyMissesWhatThePrinterRefused) {
    CopyFile copy(dir.file("copy"));
    sink.SetDeviceCopy(copy.Give());
    printer.failAt = 2;
    EXPECT_EQ(Send("ab", 0), 1);
    EXPECT_EQ(Send("cd", 0), 0);
    EXPECT_EQ(Send("ef", 0), 1);
    EXPECT_EQ(copy.Contents(), "abef");
}

// A spool that cannot take a page any more (full temporary directory) does not cut the
// printer's stream short; the failure is remembered so that the spools are never replayed,
// and no spool is written again.
TEST_F(SinkTest, FailedSpoolWriteKeepsTheSendToThePrinter) {
    files.fullOn = 1;
    Open(Spool::Collate); // on /dev/full
    Open(Spool::OddPages);
    sink.SetPage(1);
    EXPECT_EQ(Send("abcd", 1), 1);
    EXPECT_TRUE(sink.SpoolWriteFailed());
    EXPECT_EQ(printer.bytes, "abcd");
    ExpectReported("write to collate spool Fail: " + std::string(strerror(ENOSPC)));
    EXPECT_EQ(Send("ef", 1), 1);
    EXPECT_EQ(printer.bytes, "abcdef");
    EXPECT_EQ(Spooled(Spool::OddPages).find("ef"), std::string::npos)
        << "spools are not written after a failure";
    // Data that goes only to the spools (the held side of manual duplex) is lost: a failure.
    sink.SetDeviceOutput(false);
    EXPECT_EQ(Send("gh", 1), 0);
    EXPECT_EQ(printer.bytes, "abcdef");
    EXPECT_TRUE(sink.SpoolWriteFailed());
}

// In the spooling pass of manual duplex the spool is the only destination: its failure fails
// the send, and the page count holds only what was written.
TEST_F(SinkTest, FailedSpoolWriteWithoutDeviceOutputFailsTheSend) {
    files.fullOn = 2;
    Open(Spool::OddPages);
    Open(Spool::EvenPages); // on /dev/full
    sink.SetDeviceOutput(false);
    sink.SetPage(1);
    EXPECT_EQ(Send("abc", 1), 1);
    sink.SetPage(2);
    EXPECT_EQ(Send("defg", 1), 0);
    EXPECT_TRUE(sink.SpoolWriteFailed());
    ExpectReported("write to even-page spool Fail");
    EXPECT_EQ(sink.PageBytes(Spool::EvenPages).at(0), 0);
    EXPECT_EQ(sink.PageBytes(Spool::OddPages).at(0), 3);
    EXPECT_TRUE(printer.writes.empty());
}

// Interrupted and partial writes to a descriptor are resumed until every byte is out: the
// device-stream copy is a pipe drained slowly while a timer interrupts the blocked writer.
TEST_F(SinkTest, ResumesPartialAndInterruptedWrites) {
    static std::atomic<int> alarms{0};
    alarms = 0;
    struct sigaction action = {}, saved = {};
    action.sa_handler = [](int) { ++alarms; };
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a blocked write returns early
    ASSERT_EQ(sigaction(SIGALRM, &action, &saved), 0);

    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    sigset_t alarm, old;
    sigemptyset(&alarm);
    sigaddset(&alarm, SIGALRM);
    pthread_sigmask(SIG_BLOCK, &alarm, &old); // the reader inherits the mask: alarms hit the writer
    std::string received;
    std::thread reader([&] {
        char buf[4096];
        ssize_t n;
        while ((n = read(fds[0], buf, sizeof buf)) > 0) {
            received.append(buf, static_cast<std::size_t>(n));
            usleep(200);
        }
    });
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    const itimerval every1ms = {{0, 1000}, {0, 1000}}, off = {};
    setitimer(ITIMER_REAL, &every1ms, nullptr);

    std::string data(1 << 20, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 131 + i / 4099);
    sink.SetDeviceCopy(fds[1]);
    const int result = Send(data, 0);

    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &saved, nullptr);
    sink.SetDeviceCopy(-1); // closes the pipe: the reader ends
    reader.join();
    close(fds[0]);
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(error.c_str(), "older text\n");
    EXPECT_GT(alarms.load(), 10) << "the writer was never interrupted";
    EXPECT_EQ(received.size(), data.size());
    EXPECT_TRUE(received == data);
}

// Jobs of more than 2048 pages: the per-page counters grow instead of overrunning.
TEST_F(SinkTest, PerPageCountsGrowBeyondPage2048) {
    Open(Spool::OddPages);
    Open(Spool::EvenPages);
    sink.SetDeviceOutput(false);
    sink.SetPage(5001);
    EXPECT_EQ(Send("abc", 1), 1);
    EXPECT_EQ(Send("de", 1), 1);
    sink.SetPage(5002);
    EXPECT_EQ(Send("abcd", 1), 1);
    ASSERT_GT(sink.PageBytes(Spool::OddPages).size(), 2500u);
    ASSERT_GT(sink.PageBytes(Spool::EvenPages).size(), 2500u);
    EXPECT_EQ(sink.PageBytes(Spool::OddPages)[2500], 5);
    EXPECT_EQ(sink.PageBytes(Spool::EvenPages)[2500], 4);
}

TEST_F(SinkTest, NoDestinationFails) {
    Open(Spool::Collate);
    sink.SetDeviceOutput(false);
    EXPECT_FALSE(sink.DeviceOutput());
    EXPECT_EQ(Send("abcd", 0), 0); // spools take cached items only
    EXPECT_EQ(Spooled(Spool::Collate), "");
    ExpectReported("no destination for the data");
}

// Opening a spool: once per spool, a failed creation reported through errno, none without a
// place to make them; opening a duplex spool starts its page counts afresh.
TEST_F(SinkTest, OpeningSpools) {
    std::string name;
    files.failOn = 2;
    ASSERT_TRUE(sink.OpenSpool(Spool::Collate, name));
    EXPECT_EQ(name.rfind(dir.path() + "/", 0), 0u) << name;
    const int fd = sink.SpoolFd(Spool::Collate);
    EXPECT_TRUE(sink.OpenSpool(Spool::Collate, name));
    EXPECT_EQ(sink.SpoolFd(Spool::Collate), fd) << "an open spool is not made again";
    EXPECT_EQ(files.created, 1);

    errno = 0;
    EXPECT_FALSE(sink.OpenSpool(Spool::OddPages, name));
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_FALSE(sink.IsOpen(Spool::OddPages));
    EXPECT_EQ(sink.SpoolFd(Spool::OddPages), -1);

    sink.SetDeviceOutput(false);
    sink.SetPage(3);
    Open(Spool::OddPages);
    EXPECT_EQ(Send("abc", 1), 1);
    EXPECT_EQ(sink.PageBytes(Spool::OddPages)[1], 3);
    sink.RemoveSpool(Spool::OddPages);
    Open(Spool::OddPages);
    EXPECT_EQ(sink.PageBytes(Spool::OddPages)[1], 0);

    MemoryWriter otherPrinter;
    ErrorText otherError;
    OutputSink noSpools(otherPrinter, otherError);
    errno = 0;
    EXPECT_FALSE(noSpools.OpenSpool(Spool::Collate, name));
    EXPECT_EQ(errno, ENOSYS);
    EXPECT_TRUE(name.empty());
}

// Removing a spool deletes its file; the sink removes what is left when it goes, and closes
// the device-stream copy.
TEST(SinkSpools, RemovedSpoolsAndTheSinkLeaveNoFiles) {
    TempDir dir;
    TestSpoolFiles files(dir.path());
    MemoryWriter printer;
    ErrorText error;
    int copy[2];
    ASSERT_EQ(pipe(copy), 0);
    {
        OutputSink sink(printer, error, &files);
        std::string name;
        for (Spool s : {Spool::Collate, Spool::OddPages, Spool::EvenPages})
            ASSERT_TRUE(sink.OpenSpool(s, name));
        sink.SetDeviceCopy(copy[1]);
        EXPECT_EQ(dir.entries().size(), 3u);
        sink.RemoveSpool(Spool::Collate);
        EXPECT_FALSE(sink.IsOpen(Spool::Collate));
        EXPECT_EQ(dir.entries().size(), 2u);
        sink.RemoveSpool(Spool::Collate); // nothing to remove
        EXPECT_EQ(files.removed, 1);
    }
    EXPECT_TRUE(dir.entries().empty());
    EXPECT_EQ(files.removed, 3);
    fcntl(copy[0], F_SETFL, O_NONBLOCK); // a copy left open must not hang the test
    char byte;
    EXPECT_EQ(read(copy[0], &byte, 1), 0) << "the copy's write end is closed";
    close(copy[0]);
}

} // namespace
