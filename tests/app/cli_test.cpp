// The Printer Application's command line against a running server, as its man pages describe
// it, and what the user is told about a printer: the manual-duplex prompt while a job waits
// for the turned stack, a printer that does not answer, the supplies page and the test page.
// A server stops at once when no job sends pages to a printer.
#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "common/model_catalogue.h"
#include "tests/app/app_server.h"
#include "tests/support/inspect_runner.h"

namespace {

const std::string kSamplePdf = std::string(KELVRA_FIXTURES_DIR) + "/docs/sample.pdf"; // 3 pages

// Polls `done` every 50 ms (each poll asks the server) until it holds or `timeout` passes.
template <typename Pred> bool Within(std::chrono::seconds timeout, Pred done) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::set<std::string> Reasons(const AppServer &server, const std::string &printer) {
    std::set<std::string> reasons;
    IppPtr attrs = server.PrinterAttributes(printer);
    ipp_attribute_t *a = ippFindAttribute(attrs.get(), "printer-state-reasons", IPP_TAG_KEYWORD);
    for (int i = 0; i < ippGetCount(a); ++i)
        reasons.insert(ippGetString(a, i, nullptr));
    return reasons;
}

int JobState(const AppServer &server, const std::string &printer, int id, std::string *message) {
    IppPtr job = server.JobAttributes(printer, id);
    const char *text =
        ippGetString(ippFindAttribute(job.get(), "job-state-message", IPP_TAG_TEXT), 0, nullptr);
    if (message != nullptr) *message = text ? text : "";
    return ippGetInteger(ippFindAttribute(job.get(), "job-state", IPP_TAG_ENUM), 0);
}

// A pseudo-terminal in raw mode standing in for a printer on a file: device: the test reads
// what the app sends, and stops reading to make the app wait, as a printer waiting for its
// user does (the terminal holds some 18 KB).
class PtyPrinter {
  public:
    PtyPrinter() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
        name_ = ptsname(master_);
        slave_ = open(name_.c_str(), O_RDWR | O_NOCTTY);
        termios t{};
        if (slave_ < 0 || tcgetattr(slave_, &t) != 0) return;
        cfmakeraw(&t);
        tcsetattr(slave_, TCSANOW, &t);
        fcntl(master_, F_SETFL, O_NONBLOCK);
    }
    ~PtyPrinter() {
        if (slave_ >= 0) close(slave_);
        if (master_ >= 0) close(master_);
    }
    bool ok() const { return slave_ >= 0; }
    std::string Uri() const { return "file://" + name_; }
    // Takes one read of what has arrived: the app can then write about as much again.
    bool Take() {
        char buf[65536];
        return read(master_, buf, sizeof buf) > 0;
    }
    // Reads all that arrives until the app stops writing for a moment.
    void Drain() {
        while (Take()) {
        }
    }

  private:
    int master_ = -1, slave_ = -1; // the slave stays open: its raw mode stays with it
    std::string name_;
};

class Cli : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        server_ = new AppServer;
        ASSERT_TRUE(server_->ok()) << server_->Log();
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    static FilterRun Run(const std::vector<std::string> &args) { return server_->Run(args); }
    static AppServer *server_;
};
AppServer *Cli::server_ = nullptr;

// A printer added while the server runs can be deleted and made the default by name (PAPPL
// 1.3.1 gives it printer-id 0 in its attributes); the deleted default's place is taken; add
// makes a device file that does not exist yet, and leaves none when it fails; shutdown stops
// an idle server at once.
TEST(CliPrinters, AreAddedListedMadeDefaultDeletedAndTheServerShutDown) {
    AppServer server;
    ASSERT_TRUE(server.ok()) << server.Log();
    const std::string file = server.dir() + "/new-device.prn";
    FilterRun r = server.Run({"add", "-d", "first", "-m", "kelvra-r10", "-v", "file://" + file});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(file));
    const std::string failed = server.dir() + "/failed.prn";
    EXPECT_NE(
        server.Run({"add", "-d", "x", "-m", "no-such-driver", "-v", "file://" + failed}).exitCode,
        0);
    EXPECT_FALSE(std::filesystem::exists(failed));
    ASSERT_TRUE(server.AddPrinter("second", "kelvra-r18"));
    EXPECT_EQ(Lines(server.Run({"printers"}).out), (std::vector<std::string>{"first", "second"}));
    const std::string drivers = server.Run({"drivers"}).out;
    EXPECT_EQ(Lines(drivers).size(), AllModels().size());
    for (const ModelInfo &m : AllModels()) // named after the PPD, with the model's name
        EXPECT_NE(drivers.find(std::string(m.DriverName()) + " \"" + m.modelName + "\""),
                  std::string::npos);

    const std::vector<std::pair<std::vector<std::string>, std::string>> steps = {
        {{"default"}, "first"},  {{"default", "-d", "second"}, ""},
        {{"default"}, "second"}, {{"delete", "-d", "second"}, ""},
        {{"printers"}, "first"}, {{"default"}, "first"},
    };
    for (const auto &[args, out] : steps) {
        r = server.Run(args);
        EXPECT_EQ(r.exitCode, 0) << args[0] << ": " << r.err;
        EXPECT_EQ(Lines(r.out),
                  out.empty() ? std::vector<std::string>{} : std::vector<std::string>{out})
            << args[0];
    }
    r = server.Run({"delete", "-d", "nobody"});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find("No printer named 'nobody'"), std::string::npos) << r.err;

    // PAPPL's own shutdown sub-command never closes its connection: no leak check for it.
    EXPECT_EQ(server.Run({"shutdown"}, {{"LSAN_OPTIONS", "detect_leaks=0"}}).exitCode, 0);
    // Waited for without asking the server: PAPPL 1.3.1 frees its host name under a client
    // that connects while it shuts down.
    EXPECT_LT(server.Stop(/*terminate=*/false), 5.0) << "shutdown took longer than 5 s";
}

// The A4 paper codes of the page starts of a job of sample.pdf on printer "q", named `name`.
std::set<int64_t> PaperCodes(const AppServer &server, const std::string &name) {
    const std::string pdf = server.dir() + "/" + name;
    std::filesystem::copy_file(kSamplePdf, pdf, std::filesystem::copy_options::overwrite_existing);
    EXPECT_EQ(server.WaitJob("q", server.Submit("q", pdf)), IPP_JSTATE_COMPLETED) << server.Log();
    std::set<int64_t> codes;
    const InspectRun r = InspectJson(server.OutputDir("q") + "/" + name + ".prn");
    for (const Json *spec : ItemsNamed(r.json, "page-spec"))
        codes.insert((*spec)["fields"]["paper_size"].asInt());
    return codes;
}

// status -d tells the printer's own state; pause, jobs, cancel and resume act on it; modify
// sets defaults that options then marks, the model's own options among them. The QV models
// feed the standard sizes long edge first by themselves (feed-long-edge "auto": A4 goes out
// with its long-edge paper code); a default "off" gives A4 its own row's code.
TEST_F(Cli, StatusPauseJobsCancelResumeModifyAndOptionsActOnThePrinter) {
    ASSERT_TRUE(server_->AddPrinter("q", "kelvra-qv66adn"));
    EXPECT_EQ(Run({"status", "-d", "q"}).out.rfind("q: idle since ", 0), 0u);
    ASSERT_EQ(Run({"pause", "-d", "q"}).exitCode, 0);
    EXPECT_EQ(Run({"status", "-d", "q"}).out.rfind("q: stopped since ", 0), 0u);
    const int id = server_->Submit("q", kSamplePdf);
    ASSERT_GT(id, 0);
    const std::string job = std::to_string(id) + " ";
    EXPECT_EQ(Run({"jobs", "-d", "q"}).out.rfind(job + "pending", 0), 0u);
    EXPECT_NE(Run({"status", "-d", "q"}).out.find("job " + job + "pending"), std::string::npos);
    ASSERT_EQ(Run({"cancel", "-d", "q", "-j", std::to_string(id)}).exitCode, 0);
    EXPECT_EQ(Run({"jobs", "-d", "q"}).out.rfind(job + "canceled", 0), 0u);
    ASSERT_EQ(Run({"resume", "-d", "q"}).exitCode, 0);
    EXPECT_EQ(Run({"status", "-d", "q"}).out.rfind("q: idle since ", 0), 0u);
    const ModelInfo *m = FindModelByDriver("kelvra-qv66adn");
    const int64_t a4Code =
        m->PaperRows()[PaperRowOfPwgMedia(m->PaperRows(), m->defaultMedia)].fwPaperNum;
    const std::set<int64_t> automatic = PaperCodes(*server_, "auto.pdf");
    ASSERT_EQ(automatic.size(), 1u);
    EXPECT_NE(*automatic.begin(), a4Code);

    const FilterRun modify =
        Run({"modify", "-d", "q", "-o", "media=iso_a5_148x210mm", "-o", "feed-long-edge=off", "-o",
             "printer-darkness-configured=70", "-o", "toner-save=true"});
    ASSERT_EQ(modify.exitCode, 0) << modify.err;
    const std::string options = Run({"options", "-d", "q"}).out;
    for (const char *line :
         {"  -o media=iso_a5_148x210mm (default)\n", "  -o media-source=auto (default)\n",
          "  -o media-source=by-pass-tray\n", "  -o sides=one-sided (default)\n",
          "  -o feed-long-edge=off (default)\n", "  -o feed-long-edge=auto\n",
          "  -o skip-blank-pages=printer-setting (default)\n",
          "  -o toner-save=true or false (default true)\n",
          "  -o printer-darkness-configured=0 to 100 (now 70)\n"})
        EXPECT_NE(options.find(line), std::string::npos) << line << options;
    EXPECT_EQ(options.find("media-source=auto"), options.rfind("media-source=auto")) << options;
}

// PAPPL serves the supplies page it announces; "Print Test Page" on the printer's web page
// prints the driver's page through the job path: one page on the default paper with toner.
TEST_F(Cli, TheSuppliesPageAnswersAndTheTestPagePrints) {
    ASSERT_TRUE(server_->AddPrinter("tp", "kelvra-r18"));
    EXPECT_NE(server_->HttpGet("/tp/supplies").find("Black Toner"), std::string::npos);
    const std::string token = SessionToken(server_->HttpGet("/tp/"));
    ASSERT_FALSE(token.empty());
    EXPECT_NE(server_->HttpPost("/tp/", "session=" + token + "&action=print-test-page")
                  .find("Test page printed."),
              std::string::npos);
    const std::string prn = server_->OutputDir("tp") + "/Test Page.prn";
    ASSERT_TRUE(Within(std::chrono::seconds(30), [&] {
        return Run({"jobs", "-d", "tp"}).out.find("completed") != std::string::npos;
    })) << server_->Log();
    const InspectRun r = InspectJson(prn);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_EQ(r.json["pages"].size(), 1u);
    const ModelInfo *m = FindModelByDriver("kelvra-r18");
    const PAPER_SIZE_INFO &a4 = m->PaperRows()[PaperRowOfPwgMedia(m->PaperRows(), m->defaultMedia)];
    const Json &page = r.json["pages"][0];
    EXPECT_EQ(page["width"].asInt(), a4.fwPaperW);
    EXPECT_EQ(page["height"].asInt(), a4.fwPaperH);
    // The rulers, the ramp and the patches: a few percent of the page, not a blank or black one.
    const int64_t dots = int64_t{a4.fwPaperW} * a4.fwPaperH;
    EXPECT_GT(page["toner_pixels"].asInt(), dots / 100);
    EXPECT_LT(page["toner_pixels"].asInt(), dots / 4);
}

// While a manual-duplex job waits for the printed sheets, the printer reports media-needed
// and shows the model's prompt on its web page; cancelled, the job ends and the printer no
// longer asks, nor does the job's message.
TEST_F(Cli, TheManualDuplexPromptIsThePrintersWhileTheJobWaits) {
    PtyPrinter pty;
    ASSERT_TRUE(pty.ok());
    ASSERT_TRUE(server_->AddPrinter("duplex", "kelvra-r18", pty.Uri()));
    const std::string prompt = FindModelByDriver("kelvra-r18")->manualDuplexText;
    // A blank front, and a back of random dots many times what the terminal holds.
    const std::string ps = server_->dir() + "/turn.ps";
    std::ofstream(ps) << "%!PS\nshowpage\n/s 256 string def 72 72 translate 432 432 scale\n"
                         "2048 2048 1 [2048 0 0 -2048 0 2048]\n"
                         "{ 0 1 255 { s exch rand 255 and put } for s } image\nshowpage\n";
    const int id = server_->Submit("duplex", ps, {"sides=two-sided-long-edge"});
    ASSERT_GT(id, 0);
    std::string message;
    // Read slowly: between two looks the app sends no more than the terminal holds.
    ASSERT_TRUE(Within(std::chrono::seconds(30),
                       [&] {
                           if (Reasons(*server_, "duplex").count("media-needed") == 1) return true;
                           pty.Take();
                           return false;
                       }))
        << "job state " << JobState(*server_, "duplex", id, &message) << ": " << message;
    EXPECT_EQ(JobState(*server_, "duplex", id, &message), IPP_JSTATE_PROCESSING);
    EXPECT_EQ(message, prompt);
    EXPECT_NE(server_->HttpGet("/duplex/").find(prompt), std::string::npos);

    ASSERT_TRUE(server_->CancelJob("duplex", id));
    EXPECT_TRUE(Within(std::chrono::seconds(30), [&] {
        pty.Drain(); // the app's blocked write returns; the job sees it is cancelled
        return JobState(*server_, "duplex", id, nullptr) == IPP_JSTATE_CANCELED;
    }));
    EXPECT_EQ(Reasons(*server_, "duplex").count("media-needed"), 0u);
    EXPECT_EQ(server_->HttpGet("/duplex/").find(prompt), std::string::npos);
    JobState(*server_, "duplex", id, &message);
    EXPECT_NE(message, prompt);
}

// A printer that does not answer shows why and where; its job survives a restart (SIGTERM
// does not wait for it) and is cancelled within seconds; an idle server stops at once.
TEST(CliUnreachable, APrinterThatDoesNotAnswerShowsItsDeviceAndItsJobCanBeCancelled) {
    AppServer server;
    ASSERT_TRUE(server.ok()) << server.Log();
    const std::string uri = "socket://127.0.0.1:" + std::to_string(FreeLoopbackPort());
    ASSERT_TRUE(server.AddPrinter("away", "kelvra-r10", uri));
    const int id = server.Submit("away", kSamplePdf);
    ASSERT_GT(id, 0);
    auto offline = [&] { return Reasons(server, "away").count("offline") == 1; };
    ASSERT_TRUE(Within(std::chrono::seconds(15), offline)) << server.Log();
    std::string message;
    EXPECT_EQ(JobState(server, "away", id, &message), IPP_JSTATE_PROCESSING);
    EXPECT_NE(message.find(uri), std::string::npos) << message;
    EXPECT_NE(server.HttpGet("/away/").find(uri), std::string::npos);
    const std::string status = server.Run({"status", "-d", "away"}).out;
    EXPECT_NE(status.find("offline"), std::string::npos) << status;
    EXPECT_NE(status.find(uri), std::string::npos) << status;

    EXPECT_LT(server.Stop(), 5.0) << "SIGTERM waited for a job that only waits";
    ASSERT_TRUE(server.Start()) << server.Log();
    ASSERT_TRUE(Within(std::chrono::seconds(15), offline)) << "the job did not wait again";
    ASSERT_TRUE(server.CancelJob("away", id));
    EXPECT_EQ(server.WaitJob("away", id, nullptr, std::chrono::seconds(15)), IPP_JSTATE_CANCELED);
    EXPECT_TRUE(Within(std::chrono::seconds(5), [&] { return !offline(); }));
    EXPECT_LT(server.Stop(), 5.0) << "SIGTERM of an idle server";
}

} // namespace
