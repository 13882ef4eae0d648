// The halftone corpus (A5 pages centred on A4, so that the screen's phase shows) on a plain 1-bit
// model gives the same page bitmaps and toner counts whether Ghostscript halftones it or the
// driver does (KELVRA_FAST_ROUTE=0), in PDF and PostScript, at 600 and 1200 dpi; a two-sided job
// and a PostScript program or PDF with its own halftone or transfer function stay on the 8-bit
// route.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/app/app_server.h"
#include "tests/support/inspect_runner.h"
#include "tests/support/pdf_builder.h"

TEST(AppFastRoute, GhostscriptsHalftoningGivesTheBitmapsOfTheEightBitRoute) {
    AppServer fast, grey({{}, {}, {{"KELVRA_FAST_ROUTE", "0"}}});
    for (AppServer *server : {&fast, &grey})
        ASSERT_TRUE(server->ok() && server->AddPrinter("p", "kelvra-r10")) << server->Log();
    const std::string ownScreen = fast.dir() + "/screen.ps", pdf = KELVRA_CORPUS_PDF;
    WriteWholeFile(ownScreen, "%!PS\n{0.8 mul} settransfer 60 45 {dup mul exch dup mul add 1 "
                              "exch sub} setscreen 0.5 setgray 20 20 380 400 rectfill showpage");
    // A PDF whose graphics state sets a transfer function of its own.
    const std::string ownTransfer = fast.dir() + "/transfer.pdf",
                      grey50 = "q /T gs 0.5 g 20 20 380 400 re f Q";
    WriteWholeFile(ownTransfer,
                   PdfOfObjects({"<< /Type /Catalog /Pages 2 0 R >>",
                                 "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                 "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 420 595] /Contents 4 "
                                 "0 R /Resources << /ExtGState << /T << /TR /Identity >> >> >> >>",
                                 "<< /Length " + std::to_string(grey50.size()) + " >>\nstream\n" +
                                     grey50 + "\nendstream"}));
    const struct {
        const char *name, *option;
        std::string document;
        bool fastRoute;
    } cases[] = {
        {"600dpi.pdf", "print-quality=normal", pdf, true},
        {"1200dpi.pdf", "print-quality=high", pdf, true},
        {"two-sided.pdf", "sides=two-sided-long-edge", pdf, false},
        {"corpus.ps", "print-quality=normal", KELVRA_FIXTURES_DIR "/docs/halftone_corpus.ps", true},
        {"own-screen.ps", "print-quality=normal", ownScreen, false},
        {"own-transfer.pdf", "print-quality=normal", ownTransfer, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> pages[2]; // decoded bitmap hash and toner count of every page
        for (AppServer *server : {&fast, &grey}) {
            const std::string file = server->dir() + "/" + c.name;
            std::filesystem::copy_file(c.document, file);
            const FilterRun run = server->Run({"submit", "-d", "p", "-o", c.option, file});
            const int id = std::atoi(run.out.c_str() + run.out.rfind('-') + 1);
            ASSERT_EQ(server->WaitJob("p", id), IPP_JSTATE_COMPLETED) << run.err << server->Log();
            const std::string log = server->Log(), job = "[Job " + std::to_string(id) + "] ";
            EXPECT_EQ(log.find(job + "Ghostscript halftones the pages") != std::string::npos,
                      c.fastRoute && server == &fast);
            EXPECT_EQ(log.find(job + "The halftoned page is printed from its bitmap"),
                      std::string::npos);
            const Json report = InspectJson(server->OutputDir("p") + "/" + c.name + ".prn").json;
            for (const Json &page : report["pages"].arr)
                pages[server == &grey].push_back(page["hash"].str + "/" +
                                                 std::to_string(page["toner_pixels"].asInt()));
        }
        EXPECT_FALSE(pages[0].empty());
        EXPECT_EQ(pages[0], pages[1]);
    }
}
