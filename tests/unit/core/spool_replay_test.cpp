// The spools of collated copies and manual duplex: what the pass prints, what the replays
// send afterwards and in which order, and that every spool is gone when the job ends.
#include "core/spool_replay.h"

#include <gtest/gtest.h>

#include <optional>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <numeric>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "common/last_error.h"
#include "common/sink.h"
#include "tests/support/filter_runner.h"
#include "tests/support/job_fixture.h"

namespace {

// The sink, command stream and replay state of a platform Z job whose spools are made in
// `dir`, with the pass over the pages as the job makes it.
struct SpoolJob {
    explicit SpoolJob(const std::string &dir, ModelGroup group = ModelGroup::Plain)
        : spools(dir), settings(TestSettings(PLATFORM_Z, group)) {
        settings.manualDuplexMessage = "Turn the stack over";
    }

    TestSpoolFiles spools;
    JobSettings settings;
    MemoryWriter printer;
    ErrorText error;
    OutputSink sink{printer, error, &spools};
    PrntStream stream{settings, sink, error, 0, false, 0, 0, {}};
    std::atomic<bool> canceled{false};
    LogCapture log;
    int pages = 0;

    bool Qv() const { return settings.group == ModelGroup::QV; }
    std::optional<JobDialect> dialect;
    SpoolReplay Replay() {
        dialect.emplace(stream.settings.platform);
        return {stream, **dialect, canceled, log.file(), pages};
    }

    // Page `page`'s item through the sink with the spool flag set.
    void Send(int page, const std::string &item) {
        pages = page;
        sink.SetPage(page);
        ASSERT_EQ(sink.Send(item.data(), static_cast<int>(item.size()), 1), 1);
    }
    // Pages 1..count: destination by parity, then the page's item.
    void Pass(int count, int manualDuplex);
    // A blank page as the job sends it: on the QV models it is numbered after the last page
    // and prints at once.
    void Blank() {
        if (Qv()) {
            sink.SetDeviceOutput(true);
            Send(pages + 1, "[B]");
        } else {
            ASSERT_EQ(sink.Send("[B]", 3, 1), 1);
        }
    }
    bool NoSpoolOpen() const {
        return !sink.IsOpen(Spool::Collate) && !sink.IsOpen(Spool::OddPages) &&
               !sink.IsOpen(Spool::EvenPages);
    }
};

// A page's spooled item: "[P<n>" and filler of a size that varies from page to page (so pages
// straddle the replay chunks), then "]".
std::string PageItem(int page) {
    return "[P" + std::to_string(page) + std::string(static_cast<size_t>(page * 1777 % 9001), '.') +
           "]";
}

void SpoolJob::Pass(int count, int manualDuplex) {
    for (int p = 1; p <= count; ++p) {
        SetManualDuplexDestination(sink, manualDuplex, p, Qv());
        Send(p, PageItem(p));
    }
}

// The manual-duplex command of platform Z as the command stream sends it.
std::string ManualDuplexCommand() {
    SpoolJob job("/nonexistent");
    EXPECT_EQ(SendManualDuplexCmd(job.stream), 1);
    return job.printer.bytes;
}

// Splits an output stream into page markers ("P3", "B") and "CMD" for the manual-duplex
// command; anything else is reported as "?" so that stray bytes fail the comparison.
std::vector<std::string> Tokens(const std::string &out) {
    static const std::string cmd = ManualDuplexCommand();
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
            const std::string body = out.substr(i + 1, end - i - 1);
            const size_t dots = body.find('.');
            if (dots != std::string::npos && body.find_first_not_of('.', dots) != std::string::npos)
                tokens.push_back("?");
            else
                tokens.push_back(body.substr(0, dots));
            i = end + 1;
        } else {
            tokens.push_back("?");
            ++i;
        }
    }
    return tokens;
}

using Pages = std::vector<std::string>;

class SpoolReplayTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(ManualDuplexCommand().empty()); }
    TempDir tmp;
};

TEST_F(SpoolReplayTest, CollatedCopiesReplayTheWholeDocument) {
    SpoolJob job(tmp.path());
    ASSERT_TRUE(OpenCollateSpool(job.sink, job.log.file(), 1, 3));
    EXPECT_TRUE(job.sink.IsOpen(Spool::Collate));
    EXPECT_EQ(tmp.entries().size(), 1u);
    job.Pass(3, 0);
    EXPECT_EQ(ReplayCollateCopies(job.Replay(), 3), 1);
    EXPECT_EQ(Tokens(job.printer.bytes),
              Pages({"P1", "P2", "P3", "P1", "P2", "P3", "P1", "P2", "P3"}));
    EXPECT_FALSE(job.sink.IsOpen(Spool::Collate));
    EXPECT_TRUE(tmp.entries().empty());
    EXPECT_EQ(job.log.Text(), "");
}

TEST_F(SpoolReplayTest, CollationWithOneCopyOrWithoutTheOptionOpensNoSpool) {
    SpoolJob job(tmp.path());
    for (auto [collate, copies] : {std::pair{1, 1u}, std::pair{0, 4u}, std::pair{1, 0u}}) {
        EXPECT_TRUE(OpenCollateSpool(job.sink, job.log.file(), collate, copies));
        EXPECT_FALSE(job.sink.IsOpen(Spool::Collate));
    }
    EXPECT_EQ(job.spools.created, 0);
    // Outside manual duplex the destination never changes.
    SetManualDuplexDestination(job.sink, 0, 1, false);
    SetManualDuplexDestination(job.sink, 0, 2, true);
    EXPECT_TRUE(job.sink.DeviceOutput());
    EXPECT_TRUE(OpenManualDuplexSpools(job.sink, job.log.file(), 0));
    EXPECT_TRUE(job.NoSpoolOpen());
    EXPECT_TRUE(job.sink.DeviceOutput());
}

struct ManualDuplexCase {
    const char *name;
    ModelGroup group;
    int pages;
    int collate;
    unsigned copies;
    Pages duringPass;
    Pages printed; // the whole job, pass and replay
};

// The printer order of manual-duplex jobs: the first side during the pass, the command, then
// the other side in the order the turned stack needs.
TEST_F(SpoolReplayTest, ManualDuplexPrintsBothSidesInTheModelsOrder) {
    const ModelGroup kOther = ModelGroup::Plain, kQV = ModelGroup::QV;
    const std::vector<ManualDuplexCase> cases = {
        {"other, five pages",
         kOther,
         5,
         0,
         1,
         {"P1", "P3", "P5"},
         {"P1", "P3", "P5", "CMD", "B", "P4", "P2"}},
        {"other, four pages", kOther, 4, 0, 1, {"P1", "P3"}, {"P1", "P3", "CMD", "P4", "P2"}},
        {"other, three pages, two collated copies",
         kOther,
         3,
         1,
         2,
         {"P1", "P3"},
         {"P1", "P3", "P1", "P3", "CMD", "B", "P2", "B", "P2"}},
        {"other, copies without collation", kOther, 2, 0, 3, {"P1"}, {"P1", "CMD", "P2"}},
        {"Mirodel, three pages",
         ModelGroup::Mirodel,
         3,
         0,
         1,
         {"P1", "P3"},
         {"P1", "P3", "CMD", "B", "P2"}},
        {"QV, five pages",
         kQV,
         5,
         0,
         1,
         {"P2", "P4", "B"},
         {"P2", "P4", "B", "CMD", "P1", "P3", "P5"}},
        {"QV, four pages, two collated copies",
         kQV,
         4,
         1,
         2,
         {"P2", "P4"},
         {"P2", "P4", "P2", "P4", "CMD", "P1", "P3", "P1", "P3"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        SpoolJob job(tmp.path(), c.group);
        ASSERT_TRUE(OpenCollateSpool(job.sink, job.log.file(), c.collate, c.copies));
        ASSERT_TRUE(OpenManualDuplexSpools(job.sink, job.log.file(), 1));
        EXPECT_FALSE(job.sink.DeviceOutput());
        job.Pass(c.pages, 1);
        // Job end: the QV models give an odd page count above 1 its blank page first.
        if (job.Qv() && job.pages % 2 == 1 && job.pages != 1) job.Blank();
        EXPECT_EQ(Tokens(job.printer.bytes), c.duringPass);
        EXPECT_EQ(ReplayManualDuplex(job.Replay(), c.collate, c.copies, 0, [&] { job.Blank(); }),
                  1);
        EXPECT_EQ(job.log.Text(), "INFO:Turn the stack over\n");
        EXPECT_EQ(Tokens(job.printer.bytes), c.printed);
        EXPECT_TRUE(job.NoSpoolOpen());
        EXPECT_TRUE(tmp.entries().empty());
    }
}

// A page specification frame (0B 12 12 ...) with the tray in byte 7 and a checksum in the
// last byte, so that the bytes of the frame sum to 0.
std::string PageSpecFrame(unsigned char tray) {
    std::string f = {0x0B, 0x12, 0x12, 0x01, 0x00, 0x3C, 0x3C, static_cast<char>(tray), 0x00, 0x01,
                     0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x00};
    const unsigned sum = std::accumulate(f.begin(), f.end(), 0u, [](unsigned s, char c) {
        return s + static_cast<unsigned char>(c);
    });
    f.push_back(static_cast<char>(-sum & 0xFF));
    return f;
}

unsigned FrameSum(const std::string &bytes, size_t at) {
    unsigned sum = 0;
    for (size_t i = at; i < at + 18; ++i)
        sum += static_cast<unsigned char>(bytes[i]);
    return sum % 256;
}

// A one-page QV job prints nothing during the pass; at job end its tray is rewritten and it
// prints once per copy, without the manual-duplex command.
TEST_F(SpoolReplayTest, SinglePageQVJobPrintsAtJobEndFromTheRecordedTray) {
    SpoolJob job(tmp.path(), ModelGroup::QV);
    ASSERT_TRUE(OpenCollateSpool(job.sink, job.log.file(), 1, 2));
    ASSERT_TRUE(OpenManualDuplexSpools(job.sink, job.log.file(), 1));
    SetManualDuplexDestination(job.sink, 1, 1, true);
    const std::string item = "[P1]" + PageSpecFrame(1);
    job.Send(1, item);
    EXPECT_TRUE(job.printer.bytes.empty());
    EXPECT_EQ(ReplayManualDuplex(job.Replay(), 1, 2, 0x0104, {}), 1);
    const std::string &printed = job.printer.bytes;
    ASSERT_EQ(printed.size(), 2 * item.size());
    EXPECT_EQ(Tokens(printed).front(), "P1");
    for (size_t copy = 0; copy < 2; ++copy) {
        const size_t frame = copy * item.size() + 4;
        EXPECT_EQ(printed.compare(copy * item.size(), 4, "[P1]"), 0);
        EXPECT_EQ(printed[frame + 7], 4); // the low byte of the recorded tray
        EXPECT_EQ(FrameSum(printed, frame), 0u) << "the frame's checksum still balances";
    }
    EXPECT_EQ(printed.find(ManualDuplexCommand()), std::string::npos);
    EXPECT_TRUE(tmp.entries().empty());
}

// Jobs beyond 1024 even pages: the byte counts grow with the job and the even pages still come
// back from the last to the first.
TEST_F(SpoolReplayTest, LongManualDuplexJobReplaysEveryEvenPageBackwards) {
    SpoolJob job(tmp.path());
    ASSERT_TRUE(OpenManualDuplexSpools(job.sink, job.log.file(), 1));
    constexpr int kPages = 2501;
    for (int p = 1; p <= kPages; ++p) {
        SetManualDuplexDestination(job.sink, 1, p, false);
        job.Send(p, "[P" + std::to_string(p) + "]");
    }
    EXPECT_GE(job.sink.PageBytes(Spool::EvenPages).size(), static_cast<size_t>(kPages / 2));
    EXPECT_EQ(ReplayManualDuplex(job.Replay(), 0, 1, 0, [&] { job.Blank(); }), 1);
    // Tokens built by append: GCC 12 at -O3 warns falsely (-Wrestrict) on "P" + a string.
    Pages expect;
    for (int p = 1; p <= kPages; p += 2)
        expect.push_back(std::string(1, 'P').append(std::to_string(p)));
    expect.push_back("CMD");
    expect.push_back("B");
    for (int p = kPages - 1; p >= 2; p -= 2)
        expect.push_back(std::string(1, 'P').append(std::to_string(p)));
    EXPECT_EQ(Tokens(job.printer.bytes), expect);
}

// A chunk that the output keeps refusing is offered three times, then the replay stops with a
// message instead of looping; a chunk accepted on a later offer is sent once.
TEST_F(SpoolReplayTest, RefusedChunkIsOfferedAtMostThreeTimes) {
    const struct {
        int refusals;
        int expectRc;
        size_t expectOffers;
    } cases[] = {{1000, 0, 3}, {2, 1, 3 + 1}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.refusals);
        SpoolJob job(tmp.path());
        ASSERT_TRUE(OpenCollateSpool(job.sink, job.log.file(), 1, 3));
        job.Pass(2, 0); // 1781 + 3558 bytes: one collate chunk per copy
        const std::string pass = job.printer.bytes;
        const size_t writesBefore = job.printer.writes.size();
        job.printer.failAt = static_cast<int>(writesBefore) + 1;
        job.printer.failCount = c.refusals;
        EXPECT_EQ(ReplayCollateCopies(job.Replay(), 3), c.expectRc);
        EXPECT_EQ(job.printer.writes.size() - writesBefore, c.expectOffers);
        const std::string log = job.log.Text();
        if (c.expectRc == 0) {
            EXPECT_NE(log.find("ERROR: The printer output refused the collate spool data"),
                      std::string::npos)
                << log;
            EXPECT_EQ(job.printer.bytes, pass);
        } else {
            EXPECT_EQ(log, "");
            EXPECT_EQ(Tokens(job.printer.bytes), Pages({"P1", "P2", "P1", "P2", "P1", "P2"}));
        }
        EXPECT_FALSE(job.sink.IsOpen(Spool::Collate));
        EXPECT_TRUE(tmp.entries().empty());
    }
}

// A closed output (EPIPE) is not offered the chunk again.
TEST_F(SpoolReplayTest, ClosedOutputStopsTheReplayAtTheFirstOffer) {
    SpoolJob job(tmp.path());
    ASSERT_TRUE(OpenCollateSpool(job.sink, job.log.file(), 1, 2));
    job.Pass(1, 0);
    job.printer.failAt = static_cast<int>(job.printer.writes.size()) + 1;
    job.printer.failFromThenOn = true;
    job.printer.failErrno = EPIPE;
    EXPECT_EQ(ReplayCollateCopies(job.Replay(), 2), 0);
    EXPECT_EQ(job.printer.writes.size(), 2u);
    EXPECT_TRUE(job.sink.OutputBroken());
    EXPECT_TRUE(tmp.entries().empty());
}

TEST_F(SpoolReplayTest, RefusedOutputStopsTheManualDuplexReplayAndRemovesTheSpools) {
    SpoolJob job(tmp.path());
    ASSERT_TRUE(OpenManualDuplexSpools(job.sink, job.log.file(), 1));
    job.Pass(4, 1);
    const size_t writesBefore = job.printer.writes.size();
    job.printer.failAt = static_cast<int>(writesBefore) + 1;
    job.printer.failFromThenOn = true;
    EXPECT_EQ(ReplayManualDuplex(job.Replay(), 1, 2, 0, [&] { job.Blank(); }), 0);
    EXPECT_EQ(job.printer.writes.size() - writesBefore, 3u);
    EXPECT_NE(job.log.Text().find("replay was stopped"), std::string::npos);
    EXPECT_TRUE(job.NoSpoolOpen());
    EXPECT_TRUE(tmp.entries().empty());
}

// A cancelled job skips the replays; every spool is still closed and removed, and output to
// the printer is back on for the job end.
TEST_F(SpoolReplayTest, CancelledJobSkipsReplaysButRemovesEverySpool) {
    for (bool manual : {false, true}) {
        SCOPED_TRACE(manual);
        SpoolJob job(tmp.path());
        ASSERT_TRUE(OpenCollateSpool(job.sink, job.log.file(), 1, 2));
        ASSERT_TRUE(OpenManualDuplexSpools(job.sink, job.log.file(), manual ? 1 : 0));
        job.Pass(4, manual ? 1 : 0);
        EXPECT_EQ(tmp.entries().size(), manual ? 3u : 1u);
        const std::string pass = job.printer.bytes;
        job.canceled = true;
        EXPECT_EQ(ReplayCollateCopies(job.Replay(), 2), 0);
        EXPECT_EQ(ReplayManualDuplex(job.Replay(), 1, 2, 0, [&] { job.Blank(); }), 0);
        EXPECT_EQ(job.log.Text().find("INFO:"), std::string::npos);
        CloseAndRemoveSpools(job.sink);
        CloseAndRemoveSpools(job.sink); // a second time does nothing
        EXPECT_EQ(job.printer.bytes, pass);
        EXPECT_TRUE(job.NoSpoolOpen());
        EXPECT_TRUE(job.sink.DeviceOutput());
        EXPECT_TRUE(tmp.entries().empty());
    }
}

// A spool that cannot be created ends the job: the message names it, the spools already made
// are removed and output to the printer is back on.
TEST_F(SpoolReplayTest, SpoolCreationFailureIsReportedAndCleansUp) {
    for (int failOn : {1, 2}) {
        SCOPED_TRACE(failOn);
        SpoolJob job(tmp.path());
        job.spools.failOn = failOn;
        EXPECT_FALSE(OpenManualDuplexSpools(job.sink, job.log.file(), 1));
        EXPECT_EQ(job.spools.created, failOn);
        EXPECT_EQ(job.log.Text(), tmp.path() + "/spoolXXXXXX file open fail\n");
        EXPECT_TRUE(job.NoSpoolOpen());
        EXPECT_TRUE(job.sink.DeviceOutput());
        EXPECT_TRUE(tmp.entries().empty());
    }
    SpoolJob job(tmp.path());
    job.spools.failOn = 1;
    EXPECT_FALSE(OpenCollateSpool(job.sink, job.log.file(), 1, 2));
    EXPECT_EQ(job.log.Text(),
              "ERROR: Unable to create the collate spool file: No space left on device\n");
    EXPECT_FALSE(job.sink.IsOpen(Spool::Collate));

    // A job without spool files cannot spool either.
    ErrorText error;
    MemoryWriter printer;
    OutputSink noSpools(printer, error, nullptr);
    LogCapture log;
    EXPECT_FALSE(OpenCollateSpool(noSpools, log.file(), 1, 2));
    EXPECT_NE(log.Text().find("ERROR: Unable to create the collate spool file"), std::string::npos);
}

// The tray edit of a spooled page, on the spool's descriptor.
class SpoolTrayEdit : public ::testing::Test {
  protected:
    std::string Path() const { return tmp_.file("spool"); }
    // Writes `bytes` as the spool and opens it with `flags`.
    int Open(const std::string &bytes, int flags = O_RDWR) {
        std::ofstream(Path(), std::ios::binary) << bytes;
        const int fd = open(Path().c_str(), flags);
        EXPECT_GE(fd, 0);
        fds_.push_back(fd);
        return fd;
    }
    std::string Read() const {
        std::ifstream f(Path(), std::ios::binary);
        return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    }
    void TearDown() override {
        for (int fd : fds_)
            close(fd);
    }

  private:
    TempDir tmp_;
    std::vector<int> fds_;
};

TEST_F(SpoolTrayEdit, PatchesOnlyTheFirstFrameAndKeepsItsChecksumValid) {
    std::string bytes = "\x1B\x25\x0B\x12"; // a false start first
    const size_t at = bytes.size();
    const std::string frame = PageSpecFrame(0x00);
    bytes += frame + frame;  // the next page's frame stays untouched
    bytes.resize(3000, 'Z'); // data beyond the first 1024 bytes survives
    const int fd = Open(bytes);
    EXPECT_TRUE(EditMediaSource(fd, 0x0104));
    const std::string after = Read();
    ASSERT_EQ(after.size(), bytes.size());
    EXPECT_EQ(FrameSum(after, at), 0u) << "frame checksum must still balance";
    std::string expected = bytes;
    expected[at + 7] = 0x04;
    expected[at + 17] = after[at + 17];
    EXPECT_EQ(after, expected);
    EXPECT_NE(after[at + 17], bytes[at + 17]);
}

TEST_F(SpoolTrayEdit, LeavesTheSpoolAloneWhenTheFrameIsNotFoundInTheFirst1024Bytes) {
    const struct {
        const char *what;
        size_t frameAt;
    } cases[] = {{"frame beyond 1024 bytes", 1100},
                 {"tray byte beyond the bytes read", 1020},
                 {"no frame at all", 0}};
    for (const auto &c : cases) {
        std::string bytes(2048, '\0');
        if (c.frameAt != 0) bytes.replace(c.frameAt, 18, PageSpecFrame(0x02));
        EXPECT_FALSE(EditMediaSource(Open(bytes), 3)) << c.what;
        EXPECT_EQ(Read(), bytes) << c.what;
    }
}

TEST_F(SpoolTrayEdit, ShortEmptyReadOnlyAndClosedSpools) {
    const std::string shortFrame = {0x0B, 0x12, 0x12, 0, 0, 0, 0, 0x09}; // tray byte is the last
    EXPECT_TRUE(EditMediaSource(Open(shortFrame), 0x0203));
    EXPECT_EQ(Read(), std::string({0x0B, 0x12, 0x12, 0, 0, 0, 0, 0x03}));

    EXPECT_FALSE(EditMediaSource(Open(""), 1));
    EXPECT_EQ(Read(), "");
    const std::string frame = PageSpecFrame(0x02);
    EXPECT_FALSE(EditMediaSource(Open(frame, O_RDONLY), 1)) << "the spool cannot be written";
    EXPECT_EQ(Read(), frame);
    EXPECT_FALSE(EditMediaSource(-1, 1));
}

} // namespace
