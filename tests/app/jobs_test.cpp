// Jobs through the Printer Application on one printer of each dialect and group, read back
// with the stream inspector: PDF through the Ghostscript filter, PWG raster streamed from the
// client, copies, page ranges, print-quality, manual duplex, a failing device and two
// printers at once.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "common/model_catalogue.h"
#include "tests/app/app_server.h"
#include "tests/support/inspect_runner.h"

namespace {

const std::string kSamplePdf = std::string(KELVRA_FIXTURES_DIR) + "/docs/sample.pdf"; // 3 pages
constexpr const char *kA4 = "iso_a4_210x297mm";

// The catalogue row of A4 for a driver.
const PAPER_SIZE_INFO &A4Row(const char *driver) {
    const ModelInfo *m = FindModelByDriver(driver);
    return m->PaperRows()[PaperRowOfPwgMedia(m->PaperRows(), kA4)];
}

class AppJobs : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        server_ = new AppServer;
        ASSERT_TRUE(server_->ok()) << server_->Log();
        for (const auto &[name, driver] : kPrinters)
            ASSERT_TRUE(server_->AddPrinter(name, driver)) << name;
        ASSERT_TRUE(server_->AddPrinter("full", "kelvra-r10", "file:///dev/full"));
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }

    // A copy of the sample PDF under its own name (the job name names the output file).
    static std::string Pdf(const std::string &name) {
        const std::string path = server_->dir() + "/" + name;
        std::filesystem::copy_file(kSamplePdf, path,
                                   std::filesystem::copy_options::overwrite_existing);
        return path;
    }
    // The sample ten times over: 30 pages that take a while to print.
    static std::string LongPdf(const std::string &name) {
        const std::string sample = Pdf("sample.pdf"), pdf = server_->dir() + "/" + name;
        std::vector<std::string> args = {"-sDEVICE=pdfwrite", "-sOutputFile=" + pdf};
        args.insert(args.end(), 10, sample);
        EXPECT_EQ(Ghostscript(args), "");
        return pdf;
    }
    // Prints and waits; the inspector's report of the printer's stream for the job.
    static Json PrintAndInspect(const std::string &printer, const std::string &file,
                                const std::vector<std::string> &options = {}) {
        const int id = server_->Submit(printer, file, options);
        EXPECT_GT(id, 0);
        EXPECT_EQ(server_->WaitJob(printer, id), IPP_JSTATE_COMPLETED) << server_->Log();
        return Inspect(printer, std::filesystem::path(file).filename().string());
    }
    static Json Inspect(const std::string &printer, const std::string &jobName) {
        const InspectRun run = InspectJson(server_->OutputDir(printer) + "/" + jobName + ".prn");
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(run.json["ok"].boolean) << run.out;
        return run.json;
    }

    static constexpr std::pair<const char *, const char *> kPrinters[] = {
        {"c", "kelvra-r10"},      {"z", "kelvra-r18"},        {"m", "kelvra-r38"},
        {"qv", "kelvra-qv66adn"}, {"defaults", "kelvra-r10"}, {"cancel", "kelvra-r18"}};
    static AppServer *server_;
};
AppServer *AppJobs::server_ = nullptr;

// The printer gets the job start while the first page is still arriving: the client has sent
// the page's header and part of its lines, and the device file already holds the job start and
// the page start, the first bytes of the stream the finished job leaves. Well before the 10 s
// after which platform C's keep-alive would hand the device its buffer; platform M has none.
TEST_F(AppJobs, TheJobStartReachesTheDeviceWhileTheFirstPageArrives) {
    const std::string file = server_->dir() + "/streamed.pwg";
    WriteRaster(file, kA4, 2, 600);
    const std::string raster = ReadWholeFile(file);
    for (const auto &[printer, pageStart] :
         {std::pair{"c", "page-spec"}, {"m", "START_PAGE_CMD"}}) {
        SCOPED_TRACE(printer);
        const std::string out = server_->OutputDir(printer) + "/streamed.prn";
        http_t *http = server_->StartStreamedRaster(printer, "streamed");
        ASSERT_NE(http, nullptr);
        const size_t part = raster.size() / 4; // within the first of the two pages
        ASSERT_EQ(cupsWriteRequestData(http, raster.data(), part), HTTP_STATUS_CONTINUE);
        ASSERT_GE(httpFlushWrite(http), 0);
        const bool started = WaitUntil(std::chrono::seconds(5), [&] {
            return std::filesystem::exists(out) && std::filesystem::file_size(out) > 0;
        });
        const std::string early = ReadWholeFile(out);
        ASSERT_EQ(cupsWriteRequestData(http, raster.data() + part, raster.size() - part),
                  HTTP_STATUS_CONTINUE);
        IppPtr response(cupsGetResponse(http, AppServer::ResourceOf(printer).c_str()));
        httpClose(http);
        const int id =
            ippGetInteger(ippFindAttribute(response.get(), "job-id", IPP_TAG_INTEGER), 0);
        ASSERT_GT(id, 0) << cupsLastErrorString();
        ASSERT_EQ(server_->WaitJob(printer, id), IPP_JSTATE_COMPLETED) << server_->Log();
        EXPECT_TRUE(started) << "nothing reached the device during the first page";

        const Json r = Inspect(printer, "streamed");
        ASSERT_EQ(r["pages"].size(), 2u);
        const auto starts = ItemsNamed(r, pageStart);
        ASSERT_EQ(starts.size(), 2u);
        EXPECT_GE(early.size(), static_cast<size_t>((*starts[0])["offset"].asInt() +
                                                    (*starts[0])["length"].asInt()))
            << "the page start of page 1 came later";
        EXPECT_LT(early.size(), static_cast<size_t>(r["pages"][1]["offset"].asInt()));
        EXPECT_EQ(ReadWholeFile(out).compare(0, early.size(), early), 0);
    }
}

// Page sizes of the A4 row, and collated copies: the document twice, page by page equal; the
// tray and the darkest density level of the ticket.
TEST_F(AppJobs, PdfOnPlatformCPrintsCollatedCopiesOnTheA4Row) {
    const Json r = PrintAndInspect("c", Pdf("copies.pdf"),
                                   {"copies=2", "media-source=tray-1", "print-darkness=100"});
    EXPECT_EQ(r["dialect"].str, "C");
    for (const Json *spec : ItemsNamed(r, "page-spec"))
        EXPECT_EQ((*spec)["fields"]["tray"].asInt(), 3); // the filter's value for InputSlot=Tray1
    ASSERT_EQ(ItemsNamed(r, "density").size(), 1u);
    EXPECT_EQ(ItemsNamed(r, "density")[0]->operator[]("fields")["level"].asInt(),
              FindModelByDriver("kelvra-r10")->density.darkest);
    const Json &pages = r["pages"];
    ASSERT_EQ(pages.size(), 6u);
    const PAPER_SIZE_INFO &row = A4Row("kelvra-r10");
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(pages[i]["width"].asInt(), row.fwPaperW);
        EXPECT_EQ(pages[i]["height"].asInt(), row.fwPaperH);
        EXPECT_EQ(pages[i]["page_num"].asInt(), static_cast<int64_t>(i % 3 + 1));
        EXPECT_GT(pages[i]["toner_pixels"].asInt(), 0);
        if (i >= 3) {
            EXPECT_EQ(pages[i]["hash"].str, pages[i - 3]["hash"].str);
        }
    }
}

// A client's A4 page says 595 x 841 points: the page still takes the A4 row (by its PWG name),
// and a two-sided job on platform Z becomes manual duplex with the model's message.
TEST_F(AppJobs, PwgRasterOnPlatformZTakesItsRowByNameAndPrintsManualDuplex) {
    const std::string file = server_->dir() + "/two.pwg";
    WriteRaster(file, kA4, 2, 600);
    const int id = server_->PrintRaster("z", file, {{"sides", "two-sided-long-edge"}});
    ASSERT_GT(id, 0);
    std::string message;
    ASSERT_EQ(server_->WaitJob("z", id, &message), IPP_JSTATE_COMPLETED) << server_->Log();
    EXPECT_EQ(message, FindModelByDriver("kelvra-r18")->manualDuplexText);
    const Json r = Inspect("z", "raster");
    EXPECT_EQ(r["dialect"].str, "Z");
    EXPECT_EQ(ItemsNamed(r, "manual-duplex").size(), 1u);
    const PAPER_SIZE_INFO &row = A4Row("kelvra-r18");
    for (const Json *spec : ItemsNamed(r, "page-spec"))
        EXPECT_EQ((*spec)["fields"]["paper_size"].asInt(), row.fwPaperNum);
    ASSERT_EQ(r["pages"].size(), 2u);
    // Page p has a black bar of p * 100 lines across the whole bitmap.
    std::set<int64_t> toner;
    for (const Json &p : r["pages"].arr)
        toner.insert(p["toner_pixels"].asInt());
    EXPECT_EQ(toner, (std::set<int64_t>{100LL * row.fwPaperW, 200LL * row.fwPaperW}));
}

// Apple raster names no media: a Letter page of a job on the default A4 takes the Letter row.
TEST_F(AppJobs, AnAppleRasterPageTakesTheRowOfItsSize) {
    const std::string file = server_->dir() + "/letter.urf";
    WriteRaster(file, "na_letter_8.5x11in", 1, 600, CUPS_RASTER_WRITE_APPLE);
    const int id = server_->PrintRaster("z", file, {}, "image/urf");
    ASSERT_GT(id, 0);
    ASSERT_EQ(server_->WaitJob("z", id), IPP_JSTATE_COMPLETED) << server_->Log();
    const Json r = Inspect("z", "raster");
    const ModelInfo *m = FindModelByDriver("kelvra-r18");
    const PAPER_SIZE_INFO &row =
        m->PaperRows()[PaperRowOfPwgMedia(m->PaperRows(), "na_letter_8.5x11in")];
    ASSERT_EQ(r["pages"].size(), 1u);
    EXPECT_EQ(r["pages"][0]["width"].asInt(), row.fwPaperW);
    EXPECT_EQ(r["pages"][0]["height"].asInt(), row.fwPaperH);
    EXPECT_EQ(r["pages"][0]["toner_pixels"].asInt(), 100LL * row.fwPaperW);
}

// The printer's default of a vendor option reaches a job that does not name it (toner save
// prints at density level 0); a job that names it wins.
TEST_F(AppJobs, VendorOptionDefaultsReachJobsThatDoNotNameThem) {
    ASSERT_EQ(server_->Run({"modify", "-d", "defaults", "-o", "toner-save=true"}).exitCode, 0);
    auto density = [](const Json &r) {
        const auto items = ItemsNamed(r, "density");
        return items.empty() ? -1 : (*items[0])["fields"]["level"].asInt();
    };
    EXPECT_EQ(density(PrintAndInspect("defaults", Pdf("default-on.pdf"))), 0);
    EXPECT_EQ(density(PrintAndInspect("defaults", Pdf("job-off.pdf"), {"toner-save=false"})),
              FindModelByDriver("kelvra-r10")->density.normal);
}

TEST_F(AppJobs, PdfOnPlatformMPrintsItsPageRange) {
    const Json r = PrintAndInspect("m", Pdf("range.pdf"), {"page-ranges=2-3"});
    EXPECT_EQ(r["dialect"].str, "M");
    ASSERT_EQ(r["pages"].size(), 2u);
    const Json whole = PrintAndInspect("m", Pdf("whole.pdf"));
    ASSERT_EQ(whole["pages"].size(), 3u);
    EXPECT_EQ(r["pages"][0]["hash"].str, whole["pages"][1]["hash"].str);
    EXPECT_EQ(r["pages"][1]["hash"].str, whole["pages"][2]["hash"].str);
}

// PAPPL 1.3.1 would print "normal" at the middle of {600, 1200}; the driver decides.
TEST_F(AppJobs, QvPrintsNormalQualityAt600DpiAndHighAt1200) {
    for (const auto &[quality, dpi, bpp] :
         {std::tuple{"normal", 600, 2}, std::tuple{"high", 1200, 1}}) {
        SCOPED_TRACE(quality);
        const Json r = PrintAndInspect("qv", Pdf(std::string("qv-") + quality + ".pdf"),
                                       {std::string("print-quality=") + quality});
        ASSERT_EQ(r["pages"].size(), 3u);
        for (const Json &p : r["pages"].arr)
            EXPECT_EQ(p["bpp"].asInt(), bpp);
        for (const Json *spec : ItemsNamed(r, "page-spec"))
            EXPECT_EQ((*spec)["fields"]["dpi_x"].asInt(), dpi);
    }
}

TEST_F(AppJobs, AFailingDeviceAbortsItsJobAndTheServerGoesOn) {
    const int id = server_->Submit("full", Pdf("full.pdf"));
    ASSERT_GT(id, 0);
    std::string message;
    EXPECT_EQ(server_->WaitJob("full", id, &message), IPP_JSTATE_ABORTED);
    EXPECT_NE(message.find("printer connection failed"), std::string::npos) << message;
    EXPECT_EQ(PrintAndInspect("c", Pdf("after-failure.pdf"))["pages"].size(), 3u);
}

// Cancelled after its first page, a job still ends its stream with a page end and a job end.
TEST_F(AppJobs, ACancelledJobEndsItsStreamWithPageEndAndJobEnd) {
    const std::string pdf = LongPdf("long.pdf");
    const int id = server_->Submit("z", pdf);
    ASSERT_GT(id, 0);
    for (int i = 0; i < 600; ++i) {
        IppPtr job = server_->JobAttributes("z", id);
        if (ippGetInteger(ippFindAttribute(job.get(), "job-impressions-completed", IPP_TAG_INTEGER),
                          0) > 0)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(server_->CancelJob("z", id));
    EXPECT_EQ(server_->WaitJob("z", id), IPP_JSTATE_CANCELED);
    const Json r = Inspect("z", "long.pdf"); // well-formed: every page and the job ended
    EXPECT_GE(r["pages"].size(), 1u);
    EXPECT_LT(r["pages"].size(), 30u);
}

// A job name and a user name with quotes, line ends, an escape and a PJL command of their own
// leave the job's PJL lines as a plain job has them: the stream parses whole, line by line.
TEST_F(AppJobs, HostileJobAndUserNamesNeverBreakAPjlLine) {
    const std::string hostile = "x\"\r\n@PJL SET EVIL=1\x1b%-12345X\u00e9\u00e9\u00e9";
    IppPtr request = server_->NewRequest(IPP_OP_PRINT_JOB, "z");
    ippDeleteAttribute(request.get(),
                       ippFindAttribute(request.get(), "requesting-user-name", IPP_TAG_NAME));
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 hostile.c_str());
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr,
                 (hostile + std::string(150, 'n')).c_str()); // a file name fits
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr,
                 "application/pdf");
    IppPtr response = server_->Request("z", std::move(request), Pdf("hostile.pdf"));
    const int id = ippGetInteger(ippFindAttribute(response.get(), "job-id", IPP_TAG_INTEGER), 0);
    ASSERT_GT(id, 0) << ippErrorString(ippGetStatusCode(response.get()));
    ASSERT_EQ(server_->WaitJob("z", id), IPP_JSTATE_COMPLETED) << server_->Log();

    // The newest stream of the printer is this job's (its file is named after the job).
    std::filesystem::path newest;
    for (const auto &e : std::filesystem::directory_iterator(server_->OutputDir("z")))
        if (newest.empty() || e.last_write_time() > std::filesystem::last_write_time(newest))
            newest = e.path();
    // The PJL lines, the job's time left out (the two jobs may print in different minutes).
    auto pjlLines = [](const Json &r) {
        std::vector<std::string> lines;
        for (const Json &item : r["items"].arr)
            if (item["kind"].str == "pjl" && !item["text"].str.starts_with("@PJL JOBTIME="))
                lines.push_back(item["text"].str);
        return lines;
    };
    const Json hostileJob = Inspect("z", newest.stem().string());
    EXPECT_EQ(hostileJob["pages"].size(), 3u);
    const std::vector<std::string> lines = pjlLines(hostileJob);
    EXPECT_FALSE(lines.empty());
    EXPECT_EQ(lines, pjlLines(PrintAndInspect("z", Pdf("plain-name.pdf"))));
}

// A PDF job cancelled while it waits behind another ends cancelled and prints nothing, and the
// printer goes on.
TEST_F(AppJobs, APdfJobCancelledBehindAnotherEndsCancelledAndPrintsNothing) {
    const int first = server_->Submit("cancel", LongPdf("first.pdf"));
    const int queued = server_->Submit("cancel", Pdf("queued.pdf"));
    ASSERT_GT(first, 0);
    ASSERT_GT(queued, 0);
    EXPECT_TRUE(server_->CancelJob("cancel", queued));
    EXPECT_EQ(server_->WaitJob("cancel", queued), IPP_JSTATE_CANCELED);
    EXPECT_EQ(server_->WaitJob("cancel", first), IPP_JSTATE_COMPLETED) << server_->Log();
    EXPECT_FALSE(std::filesystem::exists(server_->OutputDir("cancel") + "/queued.pdf.prn"));
    EXPECT_EQ(Inspect("cancel", "first.pdf")["pages"].size(), 30u);
    EXPECT_EQ(PrintAndInspect("cancel", Pdf("after-cancel.pdf"))["pages"].size(), 3u);
}

// The colour library's messages and the locked-print ticket's note of a QV job go to the job's
// log (debug lines; PAPPL writes the apostrophe escaped), never to the server's standard output
// or error.
TEST_F(AppJobs, TheColourLibrarysMessagesGoToTheJobLogNotTheServersOutput) {
    PrintAndInspect("qv", Pdf("cms-log.pdf"));
    for (const char *note : {"cms: Welcome to CMS!", "-->pin print isn"}) {
        EXPECT_EQ(server_->Output().find(note), std::string::npos) << note;
        EXPECT_NE(server_->Log().find(note), std::string::npos) << note;
    }
}

// The same job on two printers at the same time gives each the stream it gets alone.
TEST_F(AppJobs, TwoPrintersAtOnceGiveTheStreamsTheyGiveAlone) {
    const Json aloneC = PrintAndInspect("c", Pdf("alone-c.pdf"));
    const Json aloneZ = PrintAndInspect("z", Pdf("alone-z.pdf"));
    const int idC = server_->Submit("c", Pdf("both-c.pdf"));
    const int idZ = server_->Submit("z", Pdf("both-z.pdf"));
    ASSERT_EQ(server_->WaitJob("c", idC), IPP_JSTATE_COMPLETED);
    ASSERT_EQ(server_->WaitJob("z", idZ), IPP_JSTATE_COMPLETED);
    for (const auto &[alone, name, printer] :
         {std::tuple{&aloneC, "both-c.pdf", "c"}, std::tuple{&aloneZ, "both-z.pdf", "z"}}) {
        const Json both = Inspect(printer, name);
        ASSERT_EQ(both["items"].size(), (*alone)["items"].size()) << printer;
        for (size_t i = 0; i < both["items"].size(); ++i)
            EXPECT_EQ(both["items"][i]["name"].str, (*alone)["items"][i]["name"].str);
        ASSERT_EQ(both["pages"].size(), (*alone)["pages"].size());
        for (size_t i = 0; i < both["pages"].size(); ++i)
            EXPECT_EQ(both["pages"][i]["hash"].str, (*alone)["pages"][i]["hash"].str);
    }
}

} // namespace
