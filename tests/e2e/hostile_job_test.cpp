// Hostile jobs through the real filter binary: broken raster streams, broken PPDs, huge and
// poisoned option strings, titles and user names, a full or read-only temporary directory, a
// reader that goes away during the copies, and SIGTERM while spool files exist. Every case
// checks the exit code, the standard-error message, and that the job's TMPDIR is left empty.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "tests/support/filter_runner.h"
#include "tests/support/inspect_runner.h"
#include "tests/support/raster_writer.h"

namespace {

using namespace std::chrono_literals;

// A small grey page (points at 600 dpi) with a dark band, so that pages carry toner.
RasterPage SmallPage(unsigned wPt = 72, unsigned hPt = 72, unsigned copies = 1) {
    cups_page_header2_t h = MakeGreyHeader(wPt, hPt, 600, 600, "Custom");
    h.NumCopies = copies;
    return MakeGreyPage(h,
                        [](unsigned x, unsigned y) { return (x / 8 + y / 8) % 3 ? 0xFF : 0x00; });
}

std::string RasterFile(const TempDir &dir, const std::vector<RasterPage> &pages,
                       const std::string &name = "job.ras") {
    const std::string path = dir.file(name);
    WriteRasterFile(path, pages);
    return path;
}

// A version 3 (uncompressed) raster stream written byte for byte, so that header fields can
// be set to values the libcups writer would not let through.
std::string RawRaster(const cups_page_header2_t &h, const std::string &pixels) {
    const uint32_t sync = CUPS_RASTER_SYNC;
    std::string s(reinterpret_cast<const char *>(&sync), 4);
    s.append(reinterpret_cast<const char *>(&h), sizeof h);
    return s + pixels;
}

// The spooler's temporary directory of one job: the filter must leave it empty.
struct JobDir {
    TempDir tmp;
    std::vector<std::string> Left() const { return tmp.entries(); }
};

// The call of a job in `job`'s temporary directory, with the PPD (none when "").
FilterCall JobCall(const JobDir &job, const std::vector<std::string> &args,
                   const std::string &ppd) {
    FilterCall call;
    call.args = args;
    if (!ppd.empty()) call.env["PPD"] = ppd;
    call.env["TMPDIR"] = job.tmp.path();
    return call;
}

FilterRun RunJob(const JobDir &job, const std::vector<std::string> &args, const std::string &ppd,
                 const std::string &stdinFile = "",
                 const std::map<std::string, std::string> &extraEnv = {}) {
    FilterCall call = JobCall(job, args, ppd);
    for (const auto &[k, v] : extraEnv)
        call.env[k] = v;
    call.stdinFile = stdinFile;
    return RunFilterProcess(call);
}

// The inspector's verdict on a job stream: exit status 0 means well-formed.
InspectRun Inspect(const TempDir &dir, const std::string &stream) {
    const std::string path = dir.file("stream.bin");
    WriteWholeFile(path, stream);
    return InspectJson(path);
}

// The PJL lines of a job stream, as the inspector lists them.
std::vector<std::string> PjlLines(const InspectRun &r) {
    std::vector<std::string> lines;
    for (const Json &item : r.json["items"].arr)
        if (item["kind"].str == "pjl") lines.push_back(item["text"].str);
    return lines;
}

// The part of each PJL line in front of its value ("@PJL SET JOBNAME="), for comparing the
// lines of two jobs whose names differ.
std::vector<std::string> PjlKeys(const std::vector<std::string> &lines) {
    std::vector<std::string> keys;
    for (const std::string &l : lines)
        keys.push_back(l.substr(0, l.find('=')));
    return keys;
}

std::string RasterBytes(const std::vector<RasterPage> &pages) {
    TempDir dir;
    return ReadWholeFile(RasterFile(dir, pages));
}

} // namespace

// Page headers written byte for byte (around the libcups writer's own checks) with zero, huge
// or contradictory sizes: the page is refused with an "ERROR:" line before anything is sized
// from it, nothing reaches the printer, and the job ends with exit 1.
TEST(HostileJob, RawHeadersWithImpossibleSizesAreRefused) {
    struct Case {
        const char *name;
        std::function<void(cups_page_header2_t &)> edit;
    };
    const std::vector<Case> cases = {
        {"zero width", [](auto &h) { h.cupsWidth = h.cupsBytesPerLine = 0; }},
        {"zero height", [](auto &h) { h.cupsHeight = 0; }},
        {"zero page size", [](auto &h) { h.PageSize[0] = h.PageSize[1] = 0; }},
        {"zero resolution", [](auto &h) { h.HWResolution[0] = 0; }},
        {"huge width", [](auto &h) { h.cupsWidth = h.cupsBytesPerLine = 0x7FFFFFF0; }},
        {"huge height", [](auto &h) { h.cupsHeight = 0xFFFFFFFF; }},
        {"huge page size", [](auto &h) { h.PageSize[0] = h.PageSize[1] = 0x10000000; }},
        {"huge resolution", [](auto &h) { h.HWResolution[0] = h.HWResolution[1] = 1u << 30; }},
        {"line shorter than width", [](auto &h) { h.cupsBytesPerLine = h.cupsWidth - 1; }},
        {"line longer than width", [](auto &h) { h.cupsBytesPerLine = h.cupsWidth * 3; }},
        {"one bit per pixel", [](auto &h) { h.cupsBitsPerPixel = h.cupsBitsPerColor = 1; }},
        {"colour",
         [](auto &h) {
             h.cupsColorSpace = CUPS_CSPACE_RGB;
             h.cupsBitsPerPixel = 24;
         }},
        {"no colour space", [](auto &h) { std::memset(&h.cupsColorSpace, 0xEE, 4); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        JobDir job;
        TempDir dir;
        cups_page_header2_t h = MakeGreyHeader(72, 72);
        c.edit(h);
        const std::string raster = dir.file("bad.ras");
        WriteWholeFile(raster, RawRaster(h, std::string(4096, '\x80')));
        const FilterRun run = RunJob(job, FilterArgs("", raster), FixturePPD("platform_c.ppd"));
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find("ERROR: No pages found!\n"), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty()) << "nothing reaches the printer";
        EXPECT_TRUE(job.Left().empty()) << Joined(job.Left());
    }
}

// A stream that ends early: inside the pixel data the page is completed in white and printed;
// inside a header the page does not exist. Either way the job stream is whole.
TEST(HostileJob, TruncatedRasterPrintsWhatArrived) {
    const std::string full = RasterBytes({SmallPage(), SmallPage()});
    const std::string one = RasterBytes({SmallPage()});
    struct Case {
        const char *name;
        size_t keep;
        int exitCode;
        size_t pages;
    };
    const std::vector<Case> cases = {
        {"cut in the first header", 700, 1, 0},
        {"cut in the first page's lines", one.size() - 2000, 0, 1},
        {"cut in the second header", one.size() + 900, 0, 1},
        {"cut in the second page's lines", full.size() - 17, 0, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        JobDir job;
        TempDir dir;
        const std::string raster = dir.file("cut.ras");
        WriteWholeFile(raster, full.substr(0, c.keep));
        const FilterRun run =
            RunJob(job, FilterArgs("", "", "cut"), FixturePPD("platform_z.ppd"), raster);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_EQ(CountOf(run.err, "PAGE: "), c.pages);
        if (c.pages == 0) {
            EXPECT_NE(run.err.find("ERROR: No pages found!\n"), std::string::npos);
            EXPECT_TRUE(run.out.empty());
        } else {
            EXPECT_NE(run.err.find("INFO: Ready to print.\n"), std::string::npos);
            const InspectRun r = Inspect(dir, run.out);
            EXPECT_EQ(r.exitCode, 0) << r.err;
            EXPECT_EQ(r.json["pages"].size(), c.pages);
        }
        EXPECT_TRUE(job.Left().empty()) << Joined(job.Left());
    }
}

// Bytes that are not a raster stream at all, on standard input or as the file argument.
TEST(HostileJob, GarbageInputIsNotARasterStream) {
    std::mt19937 rng(11);
    std::string noise(65536, '\0');
    for (char &c : noise)
        c = static_cast<char>(rng());
    const std::vector<std::string> inputs = {noise, "RaS", std::string(5000, '\0'),
                                             "%PDF-1.4\nnot raster at all\n"};
    for (const std::string &input : inputs) {
        for (bool asFile : {false, true}) {
            JobDir job;
            TempDir dir;
            const std::string path = dir.file("in");
            WriteWholeFile(path, input);
            const FilterRun run =
                asFile ? RunJob(job, FilterArgs("", path), FixturePPD("platform_m.ppd"))
                       : RunJob(job, FilterArgs(""), FixturePPD("platform_m.ppd"), path);
            EXPECT_EQ(run.exitCode, 1) << input.size() << " bytes";
            EXPECT_NE(run.err.find("ERROR: "), std::string::npos) << run.err;
            EXPECT_TRUE(run.out.empty());
            EXPECT_TRUE(job.Left().empty()) << Joined(job.Left());
        }
    }
}

// The filter cannot choose a dialect without the PPD's model name: each way of not having
// one ends the job at once with its own "ERROR:" line and exit 1.
TEST(HostileJob, MissingEmptyOrBrokenPPDEndsTheJob) {
    TempDir dir;
    WriteWholeFile(dir.file("empty.ppd"), "");
    WriteWholeFile(dir.file("garbage.ppd"), std::string(3000, '\x01') + "\n*ModelName: \"x\n");
    WriteWholeFile(dir.file("truncated.ppd"),
                   ReadWholeFile(FixturePPD("platform_c.ppd")).substr(0, 40));
    struct Case {
        const char *name;
        std::string ppd; // "" = PPD unset
        const char *message;
    };
    const std::vector<Case> cases = {
        {"unset", "", "ERROR: The PPD environment variable is not set\n"},
        {"missing file", dir.file("none.ppd"), "ERROR: Unable to open the PPD file"},
        {"a directory", dir.path(), "ERROR: Unable to open the PPD file"},
        {"empty file", dir.file("empty.ppd"), "ERROR: Unable to open the PPD file"},
        {"garbage", dir.file("garbage.ppd"), "ERROR: Unable to open the PPD file"},
        {"truncated", dir.file("truncated.ppd"), "ERROR: "},
        {"no model name", FixturePPD("no_model_name.ppd"), "has no model name\n"},
    };
    const std::string raster = RasterFile(dir, {SmallPage()});
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        JobDir job;
        const FilterRun run = RunJob(job, FilterArgs("", raster), c.ppd);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty());
        EXPECT_TRUE(job.Left().empty()) << Joined(job.Left());
    }
}

// Option strings of 100 KB, with the long part where each parser looks: a bare word, a
// custom size, a PIN digit, a media name, a page margin. The job prints as it would without
// the junk, on every dialect and through the locked-print ticket of the QV models.
TEST(HostileJob, HundredKilobyteOptionStringsPrint) {
    // One argument may hold at most 128 KB (execve's MAX_ARG_STRLEN).
    const std::string half(50 * 1024, '7'), quarter(25 * 1024, '7');
    const std::vector<std::string> options = {
        "Density=3 " + std::string(100 * 1024, 'x') + " Collate=true",
        "PageSize=Custom." + half + "x" + half,
        "LockedPinPrint PinNum1=" + half + " PinNum2=" + half,
        "Media=" + quarter + "(" + quarter + ") page-top=" + quarter + " page-left=" + quarter,
        std::string(50 * 1024, '=') + " " + std::string(50 * 1024, ' '),
    };
    TempDir dir;
    const std::string raster = RasterFile(dir, {SmallPage(), SmallPage()});
    for (const char *ppd : {"platform_c.ppd", "platform_z.ppd", "platform_m.ppd", "qv.ppd"}) {
        for (size_t i = 0; i < options.size(); ++i) {
            SCOPED_TRACE(std::string(ppd) + " option string " + std::to_string(i));
            JobDir job;
            const FilterRun run = RunJob(job, FilterArgs(options[i], raster), FixturePPD(ppd));
            EXPECT_EQ(run.exitCode, 0) << run.err.substr(0, 2000);
            EXPECT_EQ(CountOf(run.err, "PAGE: "), 2u);
            const InspectRun r = Inspect(dir, run.out);
            EXPECT_EQ(r.exitCode, 0) << r.err;
            EXPECT_EQ(r.json["pages"].size(), 2u);
            EXPECT_TRUE(job.Left().empty()) << Joined(job.Left());
        }
    }
}

// Titles and user names with quotes, line ends, control characters, shell syntax and
// invalid UTF-8 end up only inside their own PJL values: the job has the same PJL lines as
// one with plain names, no line carries a control character, and no command was run.
TEST(HostileJob, PoisonedTitlesAndUserNamesStayInsideTheirPjlValues) {
    TempDir dir;
    const std::string marker = dir.file("ran");
    const std::vector<std::string> names = {
        "a \"quoted\" name",
        "two\nlines\r\n@PJL ENTER LANGUAGE=PCL\n",
        std::string("esc\x1b%-12345X@PJL\x07\x7f\x01 end"),
        "$(touch " + marker + ")",
        "`touch " + marker + "`; touch " + marker + " | touch " + marker + " & x",
        "'; touch " + marker + "; echo '",
        "\xff\xfe\xc3\x28 \xe2\x82 \xf0\x9f\x98",
        "/path/ending/in/slash/",
        std::string(600, '\xc3'),
    };
    const std::string raster = RasterFile(dir, {SmallPage()});
    for (const char *ppd : {"qv.ppd", "platform_z.ppd", "platform_c.ppd", "platform_m.ppd"}) {
        SCOPED_TRACE(ppd);
        JobDir plainJob;
        const FilterRun base = RunJob(plainJob, FilterArgs("", raster, "title"), FixturePPD(ppd));
        ASSERT_EQ(base.exitCode, 0) << base.err;
        const InspectRun baseInspect = Inspect(dir, base.out);
        const std::vector<std::string> baseKeys = PjlKeys(PjlLines(baseInspect));
        for (const std::string &name : names) {
            for (bool asTitle : {true, false}) {
                SCOPED_TRACE((asTitle ? "title " : "user ") + name.substr(0, 40));
                JobDir job;
                std::vector<std::string> args = FilterArgs("", raster, asTitle ? name : "title");
                if (!asTitle) args[1] = name;
                const FilterRun run = RunJob(job, args, FixturePPD(ppd));
                EXPECT_EQ(run.exitCode, 0) << run.err;
                const InspectRun r = Inspect(dir, run.out);
                EXPECT_EQ(r.exitCode, 0) << r.err;
                const std::vector<std::string> lines = PjlLines(r);
                EXPECT_EQ(PjlKeys(lines), baseKeys) << "no PJL line broken or added";
                for (const std::string &line : lines)
                    for (unsigned char ch : line)
                        EXPECT_FALSE(ch < 0x20 || ch == 0x7F) << "control byte in: " << line;
                EXPECT_EQ(access(marker.c_str(), F_OK), -1) << "a command ran";
                EXPECT_TRUE(job.Left().empty()) << Joined(job.Left());
            }
        }
    }
}

// CUPS starts the filter with the requester's LANG, which need not be installed: job names and
// user names are UTF-8 whatever it says, so a long multi-byte title or user name is cut the
// same way (by characters) under C.UTF-8, an uninstalled UTF-8 locale and C, and text that is
// not UTF-8 is still cut safely. Only the job time may differ between the runs.
TEST(HostileJob, TextCutsAreTheSameWhateverTheLocale) {
    TempDir dir;
    const std::string raster = RasterFile(dir, {SmallPage()});
    std::string title, user;
    for (int i = 0; i < 60; ++i)
        title += "D\xC3\xBCsseldorf \xE6\x97\xA5\xE6\x9C\xAC ";
    for (int i = 0; i < 8; ++i)
        user += "\xC3\x98ystein-";
    const std::string broken = "\xff\xfe" + title.substr(3) + "\xc3";
    auto stream = [&](const std::string &lang, const std::string &t, const std::string &u) {
        JobDir job;
        std::vector<std::string> args = FilterArgs("", raster, t);
        args[1] = u;
        const FilterRun run =
            RunJob(job, args, FixturePPD("qv.ppd"), "", {{"LANG", lang}, {"LC_ALL", ""}});
        EXPECT_EQ(run.exitCode, 0) << lang << run.err;
        const std::size_t time = run.out.find("@PJL JOBTIME=");
        EXPECT_NE(time, std::string::npos);
        std::string out = run.out;
        if (time != std::string::npos) // minute:hour:day:month:year, the same length each run
            out.replace(time + 13, 16, "00:00:00:00:0000");
        return out;
    };
    for (const auto &[t, u] : {std::pair{title, user}, std::pair{broken, user}}) {
        const std::string utf8 = stream("C.UTF-8", t, u);
        EXPECT_TRUE(utf8 == stream("en.UTF-8", t, u)) << "an uninstalled locale cut differently";
        EXPECT_TRUE(utf8 == stream("C", t, u)) << "the C locale cut differently";
        const InspectRun r = Inspect(dir, utf8);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        for (const std::string &line : PjlLines(r)) {
            if (line.rfind("@PJL SET USERNAME=", 0) == 0) {
                EXPECT_EQ(line, "@PJL SET USERNAME=\"" + user.substr(user.size() - 22) + "\"");
            }
            if (t == title && line.rfind("@PJL SET JOBNAME=", 0) == 0) {
                // The title's last 256 characters: start at the 256th lead byte from the end.
                std::size_t at = title.size();
                for (int chars = 0; chars < 256; ++chars)
                    while ((static_cast<unsigned char>(title[--at]) & 0xC0) == 0x80) {
                    }
                EXPECT_EQ(line, "@PJL SET JOBNAME=\"" + title.substr(at) + "\"");
            }
        }
    }
}

// A temporary directory the filter cannot write (a read-only mount) or that fills up (a
// 64 KB tmpfs): a job that needs spool files says so and ends with exit 1, leaving nothing
// behind; what reaches the printer is never a corrupted stream. Needs root for mount(2).
class FullTmpDir : public ::testing::Test {
  protected:
    void SetUp() override {
        mountPoint_ = holder_.file("mnt");
        mkdir(mountPoint_.c_str(), 0777);
    }
    void TearDown() override {
        if (mounted_) umount2(mountPoint_.c_str(), MNT_DETACH);
    }
    bool Mount(const char *opts, unsigned long flags) {
        if (mounted_) umount2(mountPoint_.c_str(), MNT_DETACH);
        mounted_ = mount("tmpfs", mountPoint_.c_str(), "tmpfs", flags, opts) == 0;
        return mounted_;
    }
    std::vector<std::string> Left() const { return DirEntries(mountPoint_); }
    FilterRun RunIn(const std::vector<std::string> &args, const char *ppd) {
        FilterCall call;
        call.args = args;
        call.env["PPD"] = FixturePPD(ppd);
        call.env["TMPDIR"] = mountPoint_;
        return RunFilterProcess(call);
    }
    TempDir holder_;
    std::string mountPoint_;
    bool mounted_ = false;
};

TEST_F(FullTmpDir, ReadOnlyTemporaryDirectory) {
    if (!Mount("size=64k", MS_RDONLY)) GTEST_SKIP() << "cannot mount a tmpfs here";
    const std::string raster = RasterFile(holder_, {SmallPage(72, 72, 2), SmallPage(72, 72, 2)});
    // Collated copies need the collate spool: no way to print them.
    FilterRun run = RunIn(FilterArgs("Collate=true", raster), "platform_c.ppd");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("ERROR: "), std::string::npos) << run.err;
    EXPECT_TRUE(Left().empty());
    // A job without spool files still prints (the device-stream copy is only a copy).
    run = RunIn(FilterArgs("", raster), "platform_c.ppd");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Inspect(holder_, run.out).exitCode, 0);
    // Manual duplex needs its two spools.
    cups_page_header2_t h = MakeGreyHeader(72, 72, 600, 600, "Custom");
    h.Duplex = CUPS_TRUE;
    const std::string duplex = RasterFile(holder_, {MakeGreyPage(h), MakeGreyPage(h)}, "d.ras");
    run = RunIn(FilterArgs("", duplex), "platform_z.ppd");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("file open fail"), std::string::npos) << run.err;
    EXPECT_TRUE(Left().empty());
}

TEST_F(FullTmpDir, TemporaryDirectoryThatFillsUp) {
    if (!Mount("size=64k", 0)) GTEST_SKIP() << "cannot mount a tmpfs here";
    // Pages whose spooled data is far above 64 KB: noise does not compress.
    cups_page_header2_t h = MakeGreyHeader(216, 216, 600, 600, "Custom");
    h.NumCopies = 2;
    std::mt19937 rng(5);
    const RasterPage noisy =
        MakeGreyPage(h, [&](unsigned, unsigned) { return rng() & 1 ? 0 : 0xFF; });
    const std::string raster = RasterFile(holder_, {noisy, noisy});
    for (const char *options : {"Collate=true", ""}) {
        SCOPED_TRACE(options);
        const FilterRun run = RunIn(FilterArgs(options, raster), "platform_c.ppd");
        const InspectRun r = Inspect(holder_, run.out);
        if (run.exitCode == 0) {
            // Printed: then whole, with every copy that was asked for.
            EXPECT_EQ(r.exitCode, 0) << r.err;
            EXPECT_EQ(r.json["pages"].size(), std::string(options).empty() ? 2u : 4u);
        } else {
            EXPECT_EQ(run.exitCode, 1);
            EXPECT_NE(run.err.find("ERROR: The temporary directory is full"), std::string::npos)
                << run.err;
            EXPECT_EQ(r.exitCode, 0) << "the pages that were sent form a whole stream: " << r.err;
        }
        EXPECT_TRUE(Left().empty()) << Joined(Left());
    }
}

// The reader of the job stream goes away while the collated copies are being replayed from
// the spool: the filter stops with a clear message instead of offering the data forever,
// and removes the spool.
TEST(HostileJob, OutputClosedDuringCollatedCopiesStopsTheFilter) {
    JobDir job;
    TempDir dir;
    const std::string raster = RasterFile(dir, std::vector<RasterPage>(3, SmallPage(144, 144, 3)));
    const std::vector<std::string> args = FilterArgs("Collate=true", raster);
    // The whole job is the first pass and two replayed copies: half of it ends in a replay.
    const FilterRun whole = RunJob(job, args, FixturePPD("platform_c.ppd"));
    ASSERT_EQ(whole.exitCode, 0) << whole.err;
    FilterProcess f(JobCall(job, args, FixturePPD("platform_c.ppd")),
                    {.output = ProcessStreams::Pipe, .outputPipeSize = 4096});
    ASSERT_EQ(f.ReadOut(whole.out.size() / 2, 60s), whole.out.size() / 2);
    f.CloseOut(); // the printer connection is lost
    const FilterRun run = f.Finish(60s);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("ERROR: The printer connection was closed"), std::string::npos)
        << run.err;
    EXPECT_TRUE(job.Left().empty()) << Joined(job.Left());
}

// SIGTERM while the job holds spool files (collated copies): at the start, in the middle of
// a page and between pages. Spools are removed; a job with a page ends with a whole stream
// and skips the copies; a job without one reports no pages.
TEST(HostileJob, SigtermWithSpoolFilesLeavesNothingBehind) {
    const RasterPage page = SmallPage(144, 144, 2);
    const std::string pageBytes = RasterBytes({page});
    const std::string twoPages = RasterBytes({page, page});
    enum When { AT_START, MID_PAGE, BETWEEN_PAGES };
    for (When when : {AT_START, MID_PAGE, BETWEEN_PAGES}) {
        SCOPED_TRACE(when);
        JobDir job;
        TempDir dir;
        FilterProcess f(JobCall(job, FilterArgs("Collate=true"), FixturePPD("platform_z.ppd")),
                        {.pipeInput = true});
        ASSERT_TRUE(f.WaitUntilCatching(SIGTERM, 10s));
        if (when != AT_START) {
            // Half of the page (its lines are awaited) or all of it (the next header is).
            ASSERT_TRUE(
                f.Write(when == MID_PAGE ? pageBytes.substr(0, pageBytes.size() / 2) : pageBytes));
            ASSERT_TRUE(f.WaitUntilBlockedIn(SYS_read, STDIN_FILENO, 10s));
            ASSERT_NE(f.Err().find(when == MID_PAGE ? "PAGE: 1" : "rotate180"), std::string::npos)
                << f.Err();
        }
        ASSERT_TRUE(f.Signal(SIGTERM));
        ASSERT_TRUE(f.WaitUntilDelivered(SIGTERM, 10s));
        if (when != AT_START) f.Write(twoPages.substr(pageBytes.size()));
        const FilterRun run = f.Finish(30s);
        EXPECT_FALSE(run.timedOut);
        EXPECT_TRUE(job.Left().empty()) << Joined(job.Left());
        if (when == AT_START) {
            // Cancelled while the stream's first bytes were awaited: no page, no job.
            EXPECT_EQ(run.exitCode, 1);
            EXPECT_TRUE(run.err.find("ERROR: No pages found!\n") != std::string::npos ||
                        run.err.find("ERROR: Unable to read the raster stream\n") !=
                            std::string::npos)
                << run.err;
            EXPECT_TRUE(run.out.empty());
            continue;
        }
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(CountOf(run.err, "PAGE: "), 1u) << "no page after the cancellation";
        const InspectRun r = Inspect(dir, run.out);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.json["pages"].size(), 1u) << "the copies are not replayed";
    }
}
