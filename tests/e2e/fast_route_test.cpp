// The fast route of PDF input: Ghostscript halftones the pages with the job's own screen. For
// every 1-bit screen of the plain models (600 and 1200 dpi, positive and negative) the printer
// must get the page bitmaps the 8-bit route (KELVRA_FAST_ROUTE=0) gives, on a grey corpus of
// A5 pages, whose lines the filter centres on its narrower page so that the screen's phase shows.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/filter_runner.h"
#include "tests/support/inspect_runner.h"
#include "tests/support/marked_pages.h"
#include "tests/support/pdf_builder.h"

namespace {

// A PDF on a PPD fixture with `options`, by the fast route or the 8-bit one.
InspectedJob RunCorpus(const std::string &ppd, const std::string &options, bool fast,
                       const std::string &pdf = KELVRA_CORPUS_PDF) {
    FilterCall call;
    call.args = FilterArgs(options, pdf, "corpus");
    call.env["PPD"] = ppd[0] == '/' ? ppd : FixturePPD(ppd);
    call.env["FINAL_CONTENT_TYPE"] = "application/vnd.cups-pdf";
    call.env["KELVRA_FAST_ROUTE"] = fast ? "1" : "0";
    return RunInspected(call);
}

// Decoded bitmap hash and toner count of every page.
std::vector<std::string> Pages(const InspectedJob &job) {
    std::vector<std::string> pages;
    for (const Json &page : job.inspect.json["pages"].arr)
        pages.push_back(page["hash"].str + "/" + std::to_string(page["toner_pixels"].asInt()));
    return pages;
}

// One A5 page of overlapping grey triangles, every third drawn with the graphics state `state`.
std::string TrianglesPdf(const std::string &state) {
    std::string content;
    for (int i = 0; i < 60; ++i)
        content += "q" + std::string(i % 3 == 0 ? " /Half gs " : " ") + "0." +
                   std::to_string(1 + i % 9) + " g " + std::to_string(20 + i * 6) + " 40 m " +
                   std::to_string(400 - i * 5) + " 560 l " + std::to_string(30 + i * 3) +
                   " 500 l h f Q\n";
    const std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 420 595] /Contents 4 0 R "
        "/Resources << /ExtGState << /Half << /Type /ExtGState " +
            state + " >> >> >> >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream"};
    return PdfOfObjects(objects);
}

} // namespace

TEST(FastRoute, EveryOneBitScreenGivesTheBitmapsOfTheEightBitRoute) {
    struct Case {
        const char *ppd;
        const char *options;
    } cases[] = {
        {"platform_c.ppd", "PageSize=A5"},                                            // 16 x 16
        {"platform_c.ppd", "PageSize=A5 NegativePrint=True"},                         //
        {"platform_c.ppd", "PageSize=A5 Resolution=1200dpi"},                         // 28 x 28
        {"platform_z.ppd", "PageSize=A5 Resolution=1200dpi NegativePrint=True"},      // 16 x 16
        {"platform_z_plus.ppd", "PageSize=A5"},                                       // supercells
        {"platform_z_plus.ppd", "PageSize=A5 NegativePrint=True"},                    //
        {"platform_z_plus.ppd", "PageSize=A5 Resolution=1200dpi"},                    //
        {"platform_z_plus.ppd", "PageSize=A5 Resolution=1200dpi NegativePrint=True"}, //
        {"platform_m.ppd", "PageSize=A5 NegativePrint=True"}, // no dot count: compared reversed
        // a shipped PPD: Ghostscript renders the size's imageable area, which has margins
        {KELVRA_SHIPPED_PPDS "/kelvra-r10.ppd", "PageSize=A5"},
        {KELVRA_SHIPPED_PPDS "/kelvra-r18.ppd", "PageSize=A4 DPI1200=True"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.ppd) + " " + c.options);
        const InspectedJob fast = RunCorpus(c.ppd, c.options, true);
        const InspectedJob grey = RunCorpus(c.ppd, c.options, false);
        ASSERT_EQ(fast.run.exitCode, 0) << fast.run.err;
        ASSERT_EQ(grey.run.exitCode, 0) << grey.run.err;
        EXPECT_NE(fast.run.err.find("halftones the pages with the job's screen"),
                  std::string::npos);
        EXPECT_EQ(fast.run.err.find("printed from its bitmap"), std::string::npos);
        EXPECT_EQ(grey.run.err.find("halftones the pages"), std::string::npos);
        ASSERT_EQ(Pages(grey).size(), 2u);
        EXPECT_EQ(Pages(fast), Pages(grey));
        EXPECT_TRUE(fast.leftovers.empty()) << Joined(fast.leftovers);
    }
}

// The 2-bit screen (platform M at 1200 dpi), turned pages, documents with transparency (which
// Ghostscript composites with other grey levels) and documents that set their own transfer
// function or halftone stay on the 8-bit route.
TEST(FastRoute, JobsItCannotMatchStayOnTheEightBitRoute) {
    // Half transparent (composited), and a transfer function of the document's own (it would
    // replace the screen's).
    for (const auto &[state, why] : {std::pair{"/ca 0.5", "uses transparency"},
                                     std::pair{"/TR /Identity", "sets a transfer function"}}) {
        SCOPED_TRACE(state);
        TempDir dir;
        const std::string pdf = dir.file("triangles.pdf");
        WriteWholeFile(pdf, TrianglesPdf(state));
        const InspectedJob fast = RunCorpus("platform_c.ppd", "PageSize=A5", true, pdf);
        const InspectedJob grey = RunCorpus("platform_c.ppd", "PageSize=A5", false, pdf);
        ASSERT_EQ(fast.run.exitCode, 0) << fast.run.err;
        EXPECT_NE(fast.run.err.find(why), std::string::npos) << fast.run.err;
        EXPECT_EQ(fast.run.err.find("halftones the pages"), std::string::npos);
        ASSERT_EQ(Pages(grey).size(), 1u);
        EXPECT_EQ(Pages(fast), Pages(grey));
    }
    for (const char *options : {"PageSize=A5 DPI1200=True", "PageSize=A5 ImageRotation=True",
                                "PageSize=A5 Duplex=DuplexNoTumble"}) {
        SCOPED_TRACE(options);
        const InspectedJob job = RunCorpus("platform_m.ppd", options, true);
        EXPECT_EQ(job.run.exitCode, 0) << job.run.err;
        EXPECT_EQ(job.run.err.find("halftones the pages"), std::string::npos);
    }
}
