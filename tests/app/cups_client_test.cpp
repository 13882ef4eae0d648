// Printing from a CUPS client: a private cupsd (tests/support/private_cupsd.h) with IPP
// Everywhere queues (lpadmin -m everywhere) on printers of the Printer Application. lp prints
// a 3-page PDF plain, two-sided and as two copies; the CUPS job must complete and the app
// printer's stream must hold the pages the user asked for.
#include <gtest/gtest.h>

#include <thread>

#include "tests/app/app_server.h"
#include "tests/support/inspect_runner.h"
#include "tests/support/private_cupsd.h"

namespace {

const std::string kSamplePdf = std::string(KELVRA_FIXTURES_DIR) + "/docs/sample.pdf"; // 3 pages

// The page numbers of the report's pages, in stream order.
std::vector<int64_t> PageNumbers(const Json &report) {
    std::vector<int64_t> numbers;
    for (const Json &p : report["pages"].arr)
        numbers.push_back(p["page_num"].asInt());
    return numbers;
}

std::vector<std::string> Hashes(const Json &report) {
    std::vector<std::string> hashes;
    for (const Json &p : report["pages"].arr)
        hashes.push_back(p["hash"].str);
    return hashes;
}

// Toner pixels of each page: the same content turned for a back side keeps its count.
std::vector<int64_t> Toner(const Json &report) {
    std::vector<int64_t> toner;
    for (const Json &p : report["pages"].arr)
        toner.push_back(p["toner_pixels"].asInt());
    return toner;
}

int BlankPages(const Json &report) {
    int blank = 0;
    for (const Json &p : report["pages"].arr)
        blank += p["toner_pixels"].asInt() == 0;
    return blank;
}

// The duplex field of each job specification (platform C).
std::vector<int64_t> DuplexFields(const Json &report) {
    std::vector<int64_t> values;
    for (const Json *spec : ItemsNamed(report, "job-spec"))
        values.push_back((*spec)["fields"]["duplex"].asInt());
    return values;
}

class CupsClient : public ::testing::Test {
  protected:
    // Queue and app printer share the name: "duplex" prints two-sided itself (platform C),
    // "manual" in manual duplex (platform Z).
    static void SetUpTestSuite() {
        app_ = new AppServer;
        ASSERT_TRUE(app_->ok()) << app_->Log();
        ASSERT_TRUE(app_->AddPrinter("duplex", "kelvra-r10"));
        ASSERT_TRUE(app_->AddPrinter("manual", "kelvra-r18"));
        cupsd_ = new PrivateCupsd;
        ASSERT_TRUE(cupsd_->ok()) << cupsd_->Log();
        std::this_thread::sleep_for(std::chrono::seconds(1)); // printer-up-time above 0
        for (const char *queue : {"duplex", "manual"}) {
            const FilterRun run = cupsd_->Client(
                "lpadmin", {"-p", queue, "-E", "-v", app_->Uri(queue), "-m", "everywhere"});
            ASSERT_EQ(run.exitCode, 0) << queue << ": " << run.out << run.err << cupsd_->Log();
            // cupsd makes the PPD from the printer's attributes after lpadmin returned.
            const std::string ppd = cupsd_->dir() + "/ppd/" + queue + ".ppd";
            ASSERT_TRUE(WaitUntil(std::chrono::seconds(30), [&] {
                return ReadWholeFile(ppd).find("IPP Everywhere") != std::string::npos;
            })) << cupsd_->Log();
        }
    }
    static void TearDownTestSuite() {
        delete cupsd_;
        cupsd_ = nullptr;
        delete app_;
        app_ = nullptr;
    }

    // Prints the sample with lp under job name `title`, waits until CUPS completed the job and
    // the app printer has no job left, and returns the inspector's report of the stream.
    static Json Print(const std::string &queue, const std::string &title,
                      const std::vector<std::string> &lpOptions = {}) {
        std::vector<std::string> args = {"-d", queue, "-t", title};
        args.insert(args.end(), lpOptions.begin(), lpOptions.end());
        args.push_back(kSamplePdf);
        const FilterRun lp = cupsd_->Client("lp", args);
        const int id = LpJobId(lp.out);
        EXPECT_GT(id, 0) << lp.out << lp.err;
        std::string reasons;
        EXPECT_EQ(cupsd_->WaitJob(id, &reasons), IPP_JSTATE_COMPLETED)
            << reasons << "\n"
            << cupsd_->Log() << app_->Log();
        EXPECT_TRUE(WaitUntil(std::chrono::seconds(60), [&] { return ActiveJobs(queue) == 0; }));
        const InspectRun run = InspectJson(app_->OutputDir(queue) + "/" + title + ".prn");
        EXPECT_EQ(run.exitCode, 0) << run.err << Joined(DirEntries(app_->OutputDir(queue)));
        EXPECT_TRUE(run.json["ok"].boolean) << run.out;
        return run.json;
    }
    // Jobs of the app printer that are not finished yet (-1 when it does not answer).
    static int ActiveJobs(const std::string &printer) {
        IppPtr request = app_->NewRequest(IPP_OP_GET_JOBS, printer);
        ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr,
                     "not-completed");
        IppPtr response = app_->Request(printer, std::move(request));
        if (!response) return -1;
        int jobs = 0;
        for (ipp_attribute_t *a = ippFirstAttribute(response.get()); a;
             a = ippNextAttribute(response.get()))
            jobs += ippGetGroupTag(a) == IPP_TAG_JOB && ippGetName(a) &&
                    std::string(ippGetName(a)) == "job-id";
        return jobs;
    }

    // The copies attribute of the app's job named `title` (0 when there is no such job).
    static int AppJobCopies(const std::string &printer, const std::string &title) {
        IppPtr request = app_->NewRequest(IPP_OP_GET_JOBS, printer);
        ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr,
                     "completed");
        const char *wanted[] = {"job-name", "copies"};
        ippAddStrings(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2,
                      nullptr, wanted);
        IppPtr response = app_->Request(printer, std::move(request));
        std::string name;
        int copies = 1; // a job without the attribute prints one copy
        for (ipp_attribute_t *a = ippFirstAttribute(response.get()); a;
             a = ippNextAttribute(response.get())) {
            const char *attr = ippGetName(a);
            if (attr == nullptr) { // the end of one job's attributes
                if (name == title) return copies;
                name.clear();
                copies = 1;
            } else if (std::string(attr) == "job-name") {
                name = ippGetString(a, 0, nullptr);
            } else if (std::string(attr) == "copies") {
                copies = ippGetInteger(a, 0);
            }
        }
        return name == title ? copies : 0;
    }

    static AppServer *app_;
    static PrivateCupsd *cupsd_;
};
AppServer *CupsClient::app_ = nullptr;
PrivateCupsd *CupsClient::cupsd_ = nullptr;

// The queue CUPS made from the printer's IPP attributes offers its two-sided modes and hands
// PDF on to the printer.
TEST_F(CupsClient, EverywhereQueueOffersTwoSidedPrintingAndSendsPdf) {
    const std::string ppd = ReadWholeFile(cupsd_->dir() + "/ppd/duplex.ppd");
    EXPECT_NE(ppd.find("*Duplex DuplexNoTumble:"), std::string::npos) << ppd;
    EXPECT_NE(ppd.find("*Duplex DuplexTumble:"), std::string::npos) << ppd;
    EXPECT_NE(ppd.find(R"(*cupsFilter2: "application/vnd.cups-pdf application/pdf)"),
              std::string::npos)
        << ppd;
}

// Plain, two-sided and two copies on the printer that duplexes itself: the plain job is the
// three pages one-sided; two-sided turns duplex on (long edge) with the same three pages and a
// blank back for the odd page; the copies job reaches the app as copies=2 and is the plain
// job's pages twice, collated.
TEST_F(CupsClient, LpPrintsPlainTwoSidedAndTwoCopies) {
    const Json plain = Print("duplex", "plain");
    EXPECT_EQ(plain["dialect"].str, "C");
    EXPECT_EQ(PageNumbers(plain), (std::vector<int64_t>{1, 2, 3}));
    EXPECT_EQ(DuplexFields(plain), (std::vector<int64_t>{0}));
    const std::vector<int64_t> toner = Toner(plain);
    ASSERT_EQ(toner.size(), 3u);
    for (int64_t t : toner)
        EXPECT_GT(t, 0);

    const Json sides = Print("duplex", "sides", {"-o", "sides=two-sided-long-edge"});
    EXPECT_EQ(PageNumbers(sides), (std::vector<int64_t>{1, 2, 3, 4}));
    EXPECT_EQ(DuplexFields(sides), (std::vector<int64_t>{1}));
    EXPECT_EQ(Toner(sides), (std::vector<int64_t>{toner[0], toner[1], toner[2], 0}));

    const Json copies = Print("duplex", "copies", {"-n", "2"});
    EXPECT_EQ(AppJobCopies("duplex", "copies"), 2);
    EXPECT_EQ(PageNumbers(copies), (std::vector<int64_t>{1, 2, 3, 1, 2, 3}));
    const std::vector<std::string> once = Hashes(plain);
    std::vector<std::string> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(Hashes(copies), twice);
    EXPECT_EQ(DuplexFields(copies), (std::vector<int64_t>{0}));
}

// On platform Z a two-sided job from CUPS becomes manual duplex: fronts 1 and 3, the
// manual-duplex command, then the backs (blank) and 2; the printer is told one-sided.
TEST_F(CupsClient, LpTwoSidedOnAManualDuplexPrinterPrintsFrontsThenBacks) {
    const Json r = Print("manual", "sides", {"-o", "sides=two-sided-long-edge"});
    EXPECT_EQ(r["dialect"].str, "Z");
    EXPECT_EQ(PageNumbers(r), (std::vector<int64_t>{1, 3, 4, 2}));
    EXPECT_EQ(BlankPages(r), 1);
    EXPECT_EQ(ItemsNamed(r, "manual-duplex").size(), 1u);
    const Json plain = Print("manual", "plain");
    EXPECT_EQ(PageNumbers(plain), (std::vector<int64_t>{1, 2, 3}));
    EXPECT_TRUE(ItemsNamed(plain, "manual-duplex").empty());
}

} // namespace
