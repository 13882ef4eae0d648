#include "filter/input_prep.h"
#include "filter/signals.h"
#include "filter/tempfile.h"

#include "tests/support/filter_runner.h"
#include "tests/support/raster_writer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <cups/raster.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string kSamplePdf = std::string(KELVRA_FIXTURES_DIR) + "/docs/sample.pdf";

bool Exists(const std::string &path) {
    return access(path.c_str(), F_OK) == 0;
}

// Sets an environment variable for the lifetime of the object, restoring the old value.
struct ScopedEnv {
    std::string name;
    bool had;
    std::string old;
    ScopedEnv(const char *n, const std::string &value) : name(n) {
        const char *v = std::getenv(n);
        had = v != nullptr;
        if (had) old = v;
        setenv(n, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (had)
            setenv(name.c_str(), old.c_str(), 1);
        else
            unsetenv(name.c_str());
    }
};

// Feeds a file on standard input for the lifetime of the object.
struct StdinFrom {
    int saved;
    explicit StdinFrom(const std::string &path) {
        saved = dup(STDIN_FILENO);
        const int fd = open(path.c_str(), O_RDONLY);
        dup2(fd, STDIN_FILENO);
        close(fd);
    }
    ~StdinFrom() {
        dup2(saved, STDIN_FILENO);
        close(saved);
    }
};

// Counts the pages of the CUPS raster stream on `fd` (0 when it is none).
int CountRasterPages(int fd, cups_page_header2_t *first = nullptr) {
    cups_raster_t *ras = cupsRasterOpen(fd, CUPS_RASTER_READ);
    if (ras == nullptr) return 0;
    int pages = 0;
    cups_page_header2_t header;
    while (cupsRasterReadHeader2(ras, &header)) {
        if (pages == 0 && first != nullptr) *first = header;
        ++pages;
        std::vector<unsigned char> line(header.cupsBytesPerLine);
        for (unsigned y = 0; y < header.cupsHeight; ++y)
            cupsRasterReadPixels(ras, line.data(), header.cupsBytesPerLine);
    }
    cupsRasterClose(ras);
    return pages;
}

// Every test runs with TMPDIR pointing at a fresh directory and the real converter.
class InputPrepTest : public ::testing::Test {
  protected:
    TempDir work; // documents and scripts of the test
    TempDir tmp;  // the spooler's temporary directory as the filter sees it
    ScopedEnv tmpdir{"TMPDIR", tmp.path()};
    ScopedEnv ppd{"PPD", FixturePPD("platform_z.ppd")};
    void TearDown() override {
        gConverterPath = "/usr/lib/cups/filter/gstoraster";
        RemoveRegisteredTempFiles();
    }
    // The filter's argument vector for a job with this user, title and option string.
    struct Args {
        std::vector<std::string> store;
        std::vector<char *> ptrs;
        Args(const std::string &user, const std::string &title, const std::string &options) {
            store = {"rastertoKelvra", "42", user, title, "1", options};
            for (auto &s : store)
                ptrs.push_back(s.data());
            ptrs.push_back(nullptr);
        }
        char **argv() { return ptrs.data(); }
    };
    // Runs a conversion of `pdf` to its end, reading the raster from its pipe as the job does:
    // the pages seen, the first page's header, and what FinishPdfConversion said (stderr in
    // `err`). -1 pages when the converter could not be started.
    struct Converted {
        int pages = -1;
        cups_page_header2_t first{};
        bool ok = false;
        std::string err;
    };
    Converted Convert(const std::string &pdf, Args &args) {
        Converted c;
        PdfConversion conv;
        testing::internal::CaptureStderr();
        if (StartPdfConversion(conv, pdf.c_str(), args.argv())) {
            c.pages = CountRasterPages(conv.child.outFd, &c.first);
            c.ok = FinishPdfConversion(conv, false, false, c.pages > 0);
        }
        c.err = testing::internal::GetCapturedStderr();
        return c;
    }
};

TEST(ContentTypeTest, OnlyTheCupsPdfTypeSelectsThePdfPath) {
    const struct {
        const char *value;
        bool pdf;
    } cases[] = {
        {"application/vnd.cups-pdf", true},
        {"Application/VND.CUPS-PDF", true},
        {"x application/vnd.cups-pdf;q=1", true},
        {"application/vnd.cups-raster", false},
        {"printer/queue", false},
        {"application/pdf", false},
        {"", false},
        {nullptr, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(IsPdfContentType(c.value), c.pdf) << (c.value ? c.value : "(null)");
    {
        ScopedEnv env("FINAL_CONTENT_TYPE", "APPLICATION/vnd.cups-pdf");
        EXPECT_TRUE(FinalContentTypeIsPDF());
    }
    const char *saved = std::getenv("FINAL_CONTENT_TYPE");
    std::string keep = saved ? saved : "";
    unsetenv("FINAL_CONTENT_TYPE");
    EXPECT_FALSE(FinalContentTypeIsPDF());
    if (saved) setenv("FINAL_CONTENT_TYPE", keep.c_str(), 1);
}

TEST(RemoveStrTest, CutsTheFirstOccurrenceUpToAndIncludingTheToken) {
    const struct {
        const char *text, *word;
        char tok;
        const char *expect;
    } cases[] = {
        {"a=1 b=2 c=3", "b=", ' ', "a=1 c=3"},
        {"a=1 b=2 c=3", "c=", ' ', "a=1 b=2 c=3"}, // no space after the last word
        {"a=1 b=2 c=3", "d=", ' ', "a=1 b=2 c=3"},
        {"a=1 b=2 c=3", "a=", ' ', "b=2 c=3"},
        {"x=1 x=2", "x=", ' ', "x=2"},   // only the first occurrence
        {"B=1 b=2 ", "b=", ' ', "B=1 "}, // case-sensitive
        {"k=v;rest", "k=", ';', "rest"},
    };
    for (const auto &c : cases) {
        std::vector<char> buf(c.text, c.text + std::strlen(c.text) + 1);
        removestr(buf.data(), c.word, c.tok);
        EXPECT_STREQ(buf.data(), c.expect) << c.text << " / " << c.word;
    }
}

TEST(RemoveStrTest, RejectsMissingArgumentsWithoutTouchingTheText) {
    char text[] = "a=1 b=2";
    testing::internal::CaptureStderr();
    removestr(text, nullptr, ' ');
    removestr(text, "a=", 0);
    removestr(nullptr, "a=", ' ');
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_STREQ(text, "a=1 b=2");
    EXPECT_EQ(CountOf(err, "prepdftopdf:the parameters is invalid!"), 3u);
}

TEST(ConverterOptionsTest, CustomSizeOfANamedDocumentBecomesA4) {
    EXPECT_EQ(ConverterOptions(
                  "PageSize=Custom.200x300 PageRegion=Custom.200x300 document-name-supplied=x.pdf"),
              "document-name-supplied=x.pdf PageRegion=A4 PageSize=A4 ");
    EXPECT_EQ(ConverterOptions("pagesize=custom.1x2 Document-Name-Supplied=y PageSize=A5 z=1"),
              "pagesize=custom.1x2 Document-Name-Supplied=y z=1 PageRegion=A4 PageSize=A4 ");
    EXPECT_EQ(ConverterOptions("PageSize=Custom.200x300 PageRegion=Custom.200x300"),
              "PageSize=Custom.200x300 PageRegion=Custom.200x300");
    EXPECT_EQ(ConverterOptions("document-name-supplied=x.pdf PageSize=A4"),
              "document-name-supplied=x.pdf PageSize=A4");
    // Option strings far beyond the old 8 KiB buffer are handled whole.
    const std::string longOpts = "PageSize=Custom.1x2 document-name-supplied=x " +
                                 std::string(20000, 'q') + " PageRegion=B5 tail=1";
    const std::string converted = ConverterOptions(longOpts.c_str());
    EXPECT_EQ(converted.size(), longOpts.size() - std::strlen("PageSize=Custom.1x2 ") -
                                    std::strlen("PageRegion=B5 ") +
                                    std::strlen(" PageRegion=A4 PageSize=A4 "));
    EXPECT_NE(converted.find("tail=1 PageRegion=A4 PageSize=A4 "), std::string::npos);
}

TEST_F(InputPrepTest, OsReleaseIdAndVersionAreJoined) {
    const struct {
        const char *release, *expect;
    } cases[] = {
        {"NAME=\"Astra\"\nID=\"astra\"\nVERSION_ID=\"1.7_x86-64\"\n", "astra_1.7_x86-64"},
        {"ID=ubuntu\nVERSION_ID=\"22.04\"\nID_LIKE=debian\n", "ubuntu_22.04"},
        {"PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nVERSION_ID=\"12\"\nID=debian\n",
         "debian_12"},
        {"ID=arch\n", "arch_"},
        {"VERSION_ID=9\n", "_9"},
        {"VERSION_ID=a=b\nID=x", "x_b"}, // unquoted version: after the last '='; no final line end
        {"ID=\""
         "0123456789012345678901234567890123456789\"\nVERSION_ID=1\n",
         "0123456789012345678901234567890_1"}, // at most 31 characters
        {"", "_"},
    };
    for (const auto &c : cases) {
        const std::string path = work.file("os-release");
        WriteWholeFile(path, c.release);
        char info[kOsInfoSize];
        std::memset(info, 'z', sizeof info);
        get_os_info(info, sizeof info, path.c_str());
        EXPECT_STREQ(info, c.expect) << c.release;
    }
    char untouched[kOsInfoSize] = "before";
    get_os_info(untouched, sizeof untouched, work.file("missing").c_str());
    EXPECT_STREQ(untouched, "before");
}

TEST_F(InputPrepTest, StandardInputIsCopiedByteForByteIntoARegisteredTempFile) {
    std::string data(20000, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>((i * 131) ^ (i >> 7));
    WriteWholeFile(work.file("job.pdf"), data);
    char filename[kInputFileNameSize] = {};
    testing::internal::CaptureStderr();
    bool ok;
    {
        StdinFrom in(work.file("job.pdf"));
        ok = Copy_StdinToTempFile(filename);
    }
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(ok) << err;
    EXPECT_EQ(std::string(filename).rfind(tmp.path() + "/", 0), 0u) << filename;
    EXPECT_EQ(ReadWholeFile(filename), data);
    EXPECT_NE(err.find("DEBUG:copying to temp print file \"" + std::string(filename) + "\"\n"),
              std::string::npos);
    EXPECT_TRUE(IsRegisteredTempFile(filename));
    RemoveRegisteredTempFiles();
    EXPECT_TRUE(tmp.entries().empty());
}

// The converter's raster arrives on a pipe: no file of the rendered document is made, and the
// PDF named on the command line stays.
TEST_F(InputPrepTest, ConvertsANamedPdfThroughAPipeAndKeepsThePdf) {
    const std::string pdf = work.file("doc.pdf");
    WriteWholeFile(pdf, ReadWholeFile(kSamplePdf));
    Args args("alice", "three pages", "");
    const Converted c = Convert(pdf, args);
    ASSERT_TRUE(c.ok) << c.err;
    EXPECT_EQ(c.pages, 3);
    EXPECT_EQ(c.first.HWResolution[0], 600u); // the queue's PPD reached the converter
    EXPECT_EQ(c.first.cupsBitsPerColor, 8u);
    EXPECT_TRUE(Exists(pdf));
    EXPECT_TRUE(tmp.entries().empty());
}

TEST_F(InputPrepTest, PdfFromStandardInputIsRemovedWhenTheConversionEnds) {
    char filename[kInputFileNameSize] = {};
    {
        StdinFrom in(kSamplePdf);
        ASSERT_TRUE(Copy_StdinToTempFile(filename));
    }
    Args args("bob", "stdin job", "");
    const Converted c = Convert(filename, args);
    ASSERT_TRUE(c.ok) << c.err;
    EXPECT_EQ(c.pages, 3);
    EXPECT_FALSE(Exists(filename));
    EXPECT_FALSE(IsRegisteredTempFile(filename));
    EXPECT_TRUE(tmp.entries().empty());
}

// The first page can be read while the converter has not yet written the second: a stand-in
// converter writes page 1, waits for a gate file the test makes after reading page 1, then
// writes page 2.
TEST_F(InputPrepTest, PagesArriveWhileLaterPagesAreStillBeingRendered) {
    const cups_page_header2_t h = MakeGreyHeader(72, 72, 100, 100);
    const std::string raster = work.file("two.ras");
    WriteRasterFile(raster, {MakeGreyPage(h), MakeGreyPage(h)});
    const std::size_t firstPage = 4 + 1796 + std::size_t{h.cupsBytesPerLine} * h.cupsHeight;
    const std::string gate = work.file("gate");
    const std::string script = work.file("converter.sh");
    WriteWholeFile(script, "#!/bin/sh\nhead -c " + std::to_string(firstPage) + " " + raster +
                               "\nwhile [ ! -e " + gate + " ]; do sleep 0.02; done\ntail -c +" +
                               std::to_string(firstPage + 1) + " " + raster + "\n");
    chmod(script.c_str(), 0755);
    gConverterPath = script.c_str();
    Args args("erin", "gated", "");
    PdfConversion conv;
    ASSERT_TRUE(StartPdfConversion(conv, kSamplePdf.c_str(), args.argv()));
    cups_raster_t *ras = cupsRasterOpen(conv.child.outFd, CUPS_RASTER_READ);
    ASSERT_NE(ras, nullptr);
    cups_page_header2_t header;
    std::vector<unsigned char> line(h.cupsBytesPerLine);
    ASSERT_TRUE(cupsRasterReadHeader2(ras, &header));
    for (unsigned y = 0; y < header.cupsHeight; ++y)
        ASSERT_EQ(cupsRasterReadPixels(ras, line.data(), header.cupsBytesPerLine),
                  header.cupsBytesPerLine);
    EXPECT_FALSE(Exists(gate)); // page 1 was read before the converter went on
    WriteWholeFile(gate, "");
    ASSERT_TRUE(cupsRasterReadHeader2(ras, &header));
    for (unsigned y = 0; y < header.cupsHeight; ++y)
        ASSERT_EQ(cupsRasterReadPixels(ras, line.data(), header.cupsBytesPerLine),
                  header.cupsBytesPerLine);
    EXPECT_FALSE(cupsRasterReadHeader2(ras, &header));
    cupsRasterClose(ras);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(FinishPdfConversion(conv, false, false, true));
    testing::internal::GetCapturedStderr();
}

// Job attributes come from outside: shell syntax in them must reach the converter as text.
TEST_F(InputPrepTest, HostileJobAttributesRunNoCommand) {
    const std::string victim = work.file("owned");
    const std::string title = "x\"; touch " + victim + "1; \"";
    const std::string user = "$(touch " + victim + "2)";
    const std::string options = "`touch " + victim + "3` x=$(touch " + victim + "4)";
    Args args(user, title, options);
    const Converted c = Convert(kSamplePdf, args);
    EXPECT_TRUE(c.ok) << c.err;
    for (int i = 1; i <= 4; ++i)
        EXPECT_FALSE(Exists(victim + std::to_string(i))) << i;
    EXPECT_EQ(c.pages, 3);
}

// A stand-in converter records its argument vector and environment, then writes a raster.
TEST_F(InputPrepTest, ConverterGetsTheJobArgumentsAsSeparateArgumentsAndTheEnvironment) {
    const std::string raster = work.file("page.ras");
    WriteRasterFile(raster, {MakeGreyPage(MakeGreyHeader(72, 72, 100, 100))});
    const std::string script = work.file("converter.sh");
    WriteWholeFile(script, "#!/bin/sh\nprintf '%s\\0' \"$0\" \"$@\" > \"$ARGS_OUT\"\n"
                           "printf '%s' \"$MARK\" > \"$ARGS_OUT.env\"\ncat \"$RASTER_IN\"\n");
    chmod(script.c_str(), 0755);
    ScopedEnv out("ARGS_OUT", work.file("args")), in("RASTER_IN", raster), mark("MARK", "m-1");
    gConverterPath = script.c_str();

    const std::string title = "a \"quoted\" title; with $(x) `y` and\nnewline";
    const std::string options =
        "PageSize=Custom.200x300 PageRegion=Custom.200x300 document-name-supplied=x.pdf";
    Args args("carol smith", title, options);
    const Converted c = Convert(kSamplePdf, args);
    ASSERT_TRUE(c.ok) << c.err;
    EXPECT_EQ(c.pages, 1);

    std::vector<std::string> got;
    std::string all = ReadWholeFile(work.file("args"));
    for (size_t pos = 0; pos < all.size();) {
        const size_t end = all.find('\0', pos);
        got.push_back(all.substr(pos, end - pos));
        pos = end + 1;
    }
    const std::vector<std::string> expect = {
        script,    "42", "carol smith",
        title,     "1",  "document-name-supplied=x.pdf PageRegion=A4 PageSize=A4 ",
        kSamplePdf};
    EXPECT_EQ(got, expect);
    EXPECT_EQ(ReadWholeFile(work.file("args.env")), "m-1");
}

// A converter that fails, produces nothing or cannot start ends the conversion with a
// clear error and no temporary file, the copy of standard input included.
TEST_F(InputPrepTest, FailedConversionsReportTheCauseAndLeaveNoTempFile) {
    const std::string notPdf = work.file("notes.txt");
    WriteWholeFile(notPdf, "this is plain text, not a PDF document\n");
    const struct {
        const char *converter;
        const char *message;
    } cases[] = {
        {"/usr/lib/cups/filter/gstoraster", "failed with exit status"},
        {"/bin/false", "failed with exit status 1"},
        {"/bin/true", "produced no raster page"},
        {"/nonexistent/gstoraster", "ERROR: Unable to start the PDF converter"},
    };
    for (const auto &c : cases) {
        gConverterPath = c.converter;
        char filename[kInputFileNameSize] = {};
        {
            StdinFrom in(notPdf);
            ASSERT_TRUE(Copy_StdinToTempFile(filename));
        }
        Args args("dave", "notes", "");
        const Converted conv = Convert(filename, args);
        EXPECT_FALSE(conv.ok) << c.converter;
        EXPECT_LE(conv.pages, 0);
        EXPECT_NE(conv.err.find(c.message), std::string::npos) << c.converter << "\n" << conv.err;
        EXPECT_NE(conv.err.find("ERROR: "), std::string::npos);
        EXPECT_TRUE(tmp.entries().empty()) << c.converter;
    }
    // A PDF named on the command line is never removed, even when the conversion fails.
    gConverterPath = "/bin/false";
    Args args("dave", "notes", "");
    EXPECT_FALSE(Convert(notPdf, args).ok);
    EXPECT_TRUE(Exists(notPdf));
    EXPECT_TRUE(tmp.entries().empty());
}

// A cancelled job stops the converter's process group instead of waiting for it.
TEST_F(InputPrepTest, CancelledJobStopsTheConverter) {
    const std::string script = work.file("slow.sh");
    const std::string pidFile = work.file("slow.pid");
    WriteWholeFile(script, "#!/bin/sh\necho $$ > " + pidFile + "\nexec sleep 30\n");
    chmod(script.c_str(), 0755);
    gConverterPath = script.c_str();
    Args args("erin", "slow", "");
    PdfConversion conv;
    ASSERT_TRUE(StartPdfConversion(conv, kSamplePdf.c_str(), args.argv()));
    const auto start = std::chrono::steady_clock::now();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(FinishPdfConversion(conv, false, true, false));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    // The converter was stopped and reaped, not left running for its 30 seconds (when it was
    // stopped before its first line ran, there is no process id to look for).
    std::ifstream pidIn(pidFile);
    pid_t pid = 0;
    if (pidIn >> pid) {
        errno = 0;
        EXPECT_EQ(kill(pid, 0), -1);
        EXPECT_EQ(errno, ESRCH);
    }
    EXPECT_NE(err.find("ERROR: The PDF conversion was stopped: the job was cancelled"),
              std::string::npos);
    EXPECT_TRUE(tmp.entries().empty());
}

TEST_F(InputPrepTest, RegistryRemovesWhatIsLeftAndRefusesWhatItCannotHold) {
    std::vector<std::string> names;
    for (int i = 0; i < 3; ++i) {
        char name[kTempPathSize];
        const int fd = CreateTempFile(name, sizeof name);
        ASSERT_GE(fd, 0);
        close(fd);
        names.push_back(name);
    }
    EXPECT_EQ(tmp.entries().size(), 3u);
    EXPECT_TRUE(RemoveTempFile(names[0].c_str()));
    EXPECT_FALSE(IsRegisteredTempFile(names[0].c_str()));
    UnregisterTempFile(names[1].c_str()); // handed over: stays on disk
    RemoveRegisteredTempFilesFromSignal();
    EXPECT_FALSE(Exists(names[0]));
    EXPECT_TRUE(Exists(names[1]));
    EXPECT_FALSE(Exists(names[2]));
    unlink(names[1].c_str());

    EXPECT_FALSE(RegisterTempFile(""));
    EXPECT_FALSE(RegisterTempFile(std::string(kTempPathSize, 'a').c_str()));
    int registered = 0;
    for (int i = 0; i < kMaxTempFiles + 2; ++i)
        registered +=
            RegisterTempFile(work.file(std::string("f") + std::to_string(i)).c_str()) ? 1 : 0;
    EXPECT_EQ(registered, kMaxTempFiles);
    EXPECT_TRUE(RegisterTempFile(work.file("f0").c_str())); // already known
    RemoveRegisteredTempFiles();
    EXPECT_FALSE(IsRegisteredTempFile(work.file("f0").c_str()));
}

} // namespace
