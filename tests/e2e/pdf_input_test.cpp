// PDF input through the system's Ghostscript raster filter, from a file argument and from
// standard input, with hostile job titles and with input that is not a PDF; every run must
// leave its temporary directory empty.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/filter_runner.h"
#include "tests/support/inspect_runner.h"
#include "tests/support/marked_pages.h"

namespace {

const char kConverter[] = "/usr/lib/cups/filter/gstoraster";
const char kCupsTestPage[] = "/usr/share/cups/data/default-testpage.pdf";

std::string SamplePdf() {
    return std::string(KELVRA_FIXTURES_DIR) + "/docs/sample.pdf";
}

bool Exists(const std::string &path) {
    return std::filesystem::exists(path);
}

// A PDF job on a PPD fixture: from `file` as argument, or on standard input when `viaStdin`.
InspectedJob RunPdf(const std::string &file, bool viaStdin,
                    const std::string &ppd = "platform_c.ppd",
                    const std::string &title = "test job") {
    FilterCall call;
    call.args = FilterArgs("", viaStdin ? "" : file, title);
    if (viaStdin) call.stdinFile = file;
    call.env["PPD"] = FixturePPD(ppd);
    call.env["FINAL_CONTENT_TYPE"] = "application/vnd.cups-pdf";
    return RunInspected(call);
}

std::vector<std::string> PageHashes(const InspectedJob &job) {
    std::vector<std::string> hashes;
    for (const Json &page : job.inspect.json["pages"].arr)
        hashes.push_back(page["hash"].str);
    return hashes;
}

// A printed job: exit 0, a well-formed stream of `pages` decoded pages that all carry toner,
// nothing left in TMPDIR.
void ExpectPrinted(const InspectedJob &job, size_t pages) {
    EXPECT_EQ(job.run.exitCode, 0) << job.run.err;
    EXPECT_EQ(job.inspect.exitCode, 0) << job.inspect.err;
    ASSERT_EQ(job.inspect.json["pages"].size(), pages) << job.run.err;
    for (const Json &page : job.inspect.json["pages"].arr) {
        EXPECT_TRUE(page["decoded"].boolean);
        EXPECT_GT(page["toner_pixels"].asInt(), 0) << "page " << page["index"].asInt();
    }
    EXPECT_EQ(CountOf(job.run.err, "PAGE: "), pages);
    EXPECT_TRUE(job.leftovers.empty()) << "left in TMPDIR: " << Joined(job.leftovers);
}

class PdfInput : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!Exists(kConverter)) GTEST_SKIP() << kConverter << " is not installed";
    }
};

} // namespace

// The bundled three-page PDF prints the same three pages from a file argument and from
// standard input; the named file stays where it was.
TEST_F(PdfInput, SamplePdfFromFileAndFromStandardInput) {
    TempDir dir;
    const std::string pdf = dir.file("sample.pdf");
    std::filesystem::copy_file(SamplePdf(), pdf);
    for (const char *ppd : {"platform_c.ppd", "platform_z.ppd", "platform_m.ppd"}) {
        SCOPED_TRACE(ppd);
        InspectedJob fromFile = RunPdf(pdf, false, ppd);
        ExpectPrinted(fromFile, 3);
        EXPECT_TRUE(Exists(pdf)) << "a PDF named on the command line is not the filter's to delete";
        InspectedJob fromStdin = RunPdf(pdf, true, ppd);
        ExpectPrinted(fromStdin, 3);
        EXPECT_EQ(PageHashes(fromStdin), PageHashes(fromFile));
        // Three different pages, not one page three times.
        const std::vector<std::string> hashes = PageHashes(fromFile);
        if (hashes.size() == 3) {
            EXPECT_NE(hashes[0], hashes[1]);
            EXPECT_NE(hashes[1], hashes[2]);
        }
    }
}

TEST_F(PdfInput, CupsDefaultTestPage) {
    if (!Exists(kCupsTestPage)) GTEST_SKIP() << kCupsTestPage << " is not installed";
    for (bool viaStdin : {false, true}) {
        SCOPED_TRACE(viaStdin ? "standard input" : "file argument");
        ExpectPrinted(RunPdf(kCupsTestPage, viaStdin), 1);
    }
}

// The job title reaches the converter as one argument, never through a shell.
TEST_F(PdfInput, HostileTitlesRunNothing) {
    TempDir dir;
    const std::vector<std::string> titles = {
        "x\"; touch " + dir.file("owned") + "; \"",
        "$(touch " + dir.file("owned2") + ")",
        "`touch " + dir.file("owned3") + "`",
        "x' ; touch " + dir.file("owned4") + " ; '",
    };
    for (const std::string &title : titles) {
        SCOPED_TRACE(title);
        for (bool viaStdin : {false, true}) {
            InspectedJob job = RunPdf(SamplePdf(), viaStdin, "platform_z.ppd", title);
            ExpectPrinted(job, 3);
        }
    }
    EXPECT_TRUE(dir.entries().empty()) << "created: " << Joined(dir.entries());
}

// Input that is not a PDF (text, nothing at all, the first half of a PDF) ends the job with
// an error line and exit code 1, writes no job stream and leaves no temporary file.
TEST_F(PdfInput, NotAPdfIsAnErrorWithNothingLeftBehind) {
    TempDir dir;
    const std::string text = dir.file("letter.txt"), empty = dir.file("empty.pdf"),
                      half = dir.file("half.pdf");
    WriteWholeFile(text, "Dear printer,\nthis is not a PDF.\n");
    WriteWholeFile(empty, "");
    const std::string pdf = ReadWholeFile(SamplePdf());
    WriteWholeFile(half, pdf.substr(0, pdf.size() / 2));
    for (const std::string &file : {text, empty, half}) {
        for (bool viaStdin : {false, true}) {
            SCOPED_TRACE(file + (viaStdin ? " on standard input" : " as argument"));
            InspectedJob job = RunPdf(file, viaStdin);
            EXPECT_EQ(job.run.exitCode, 1) << job.run.err;
            EXPECT_NE(job.run.err.find("ERROR: "), std::string::npos) << job.run.err;
            EXPECT_TRUE(job.run.out.empty()) << "no job start without pages";
            EXPECT_TRUE(job.leftovers.empty()) << "left in TMPDIR: " << Joined(job.leftovers);
            EXPECT_TRUE(Exists(file));
        }
    }
}
