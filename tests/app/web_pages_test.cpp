// The web interface in a real browser: headless Chromium loads a printer's status page and its
// printing-defaults page from the Printer Application; the tests read the page as the browser
// built it (--dump-dom) and keep screenshots under the build directory
// (KELVRA_SCREENSHOT_DIR). Skipped when Chromium is not installed.
#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include "app/job_options.h"
#include "common/model_catalogue.h"
#include "tests/app/app_server.h"

namespace {

constexpr const char *kChromium = "/usr/bin/chromium";
constexpr const char *kDriver = "kelvra-qv66adn"; // boolean and keyword vendor options
constexpr const char *kPrinter = "office";

// One Chromium run with a profile of its own, ended after a minute at most.
FilterRun Chromium(const std::vector<std::string> &args) {
    TempDir profile;
    FilterCall call;
    call.binary = kChromium;
    call.args = {"--headless=new", "--no-sandbox",  "--user-data-dir=" + profile.file("profile"),
                 "--no-first-run", "--disable-gpu", "--disable-dev-shm-usage"};
    call.args.insert(call.args.end(), args.begin(), args.end());
    call.env = {{"HOME", profile.path()},
                {"XDG_CONFIG_HOME", profile.file("config")},
                {"XDG_CACHE_HOME", profile.file("cache")}};
    FilterProcess process(call);
    return process.Finish(std::chrono::seconds(60));
}

// The start tag of the element whose attributes hold `attribute` ("" when there is none).
std::string TagWith(const std::string &dom, const std::string &attribute) {
    const size_t at = dom.find(attribute);
    if (at == std::string::npos) return "";
    const size_t open = dom.rfind('<', at);
    const size_t close = dom.find('>', at);
    return open == std::string::npos || close == std::string::npos
               ? ""
               : dom.substr(open, close - open + 1);
}

// The content of the select element named `name`.
std::string SelectNamed(const std::string &dom, const std::string &name) {
    const size_t at = dom.find("<select name=\"" + name + "\"");
    if (at == std::string::npos) return "";
    const size_t end = dom.find("</select>", at);
    return end == std::string::npos ? "" : dom.substr(at, end - at);
}

class WebPages : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (access(kChromium, X_OK) != 0) return;
        std::filesystem::create_directories(KELVRA_SCREENSHOT_DIR);
        server_ = new AppServer;
        ASSERT_TRUE(server_->ok()) << server_->Log();
        ASSERT_TRUE(server_->AddPrinter(kPrinter, kDriver));
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        if (access(kChromium, X_OK) != 0)
            GTEST_SKIP() << kChromium << " is not installed (Debian package chromium)";
        ASSERT_NE(server_, nullptr);
    }

    static std::string Url(const std::string &path) { return server_->WebRoot() + path; }
    // The page's DOM after its scripts ran.
    static std::string Dom(const std::string &url) {
        const FilterRun run = Chromium({"--dump-dom", url});
        EXPECT_FALSE(run.timedOut) << url;
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return run.out;
    }
    // A 1200 x 900 screenshot of the page, kept under the build directory; its path.
    static std::string Screenshot(const std::string &url, const std::string &name) {
        const std::string file = std::string(KELVRA_SCREENSHOT_DIR) + "/" + name;
        std::filesystem::remove(file);
        const FilterRun run = Chromium({"--screenshot=" + file, "--window-size=1200,900", url});
        EXPECT_FALSE(run.timedOut) << url;
        EXPECT_EQ(run.exitCode, 0) << run.err;
        const std::string png = ReadWholeFile(file);
        EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8)) << file;
        EXPECT_GT(png.size(), 10000u) << file; // a blank page compresses to a few hundred bytes
        std::cout << "screenshot: " << file << "\n";
        return file;
    }

    static AppServer *server_;
};
AppServer *WebPages::server_ = nullptr;

// Whether the page shows the state icon of class `icon` followed by `text`.
bool StateShown(const std::string &dom, const std::string &icon, const std::string &text) {
    const std::size_t img = dom.find("<img class=\"" + icon + "\"");
    const std::size_t end = img == std::string::npos ? img : dom.find('>', img);
    return end != std::string::npos && dom.compare(end + 1, text.size(), text) == 0;
}

// The status page names the printer and its model, shows its state (idle, then stopped once
// paused) and links to its printing defaults.
TEST_F(WebPages, StatusPageShowsThePrinterItsStateAndTheDefaultsLink) {
    const std::string url = Url(std::string("/") + kPrinter + "/");
    const std::string dom = Dom(url);
    EXPECT_NE(dom.find(std::string("<title>") + kPrinter + " - "), std::string::npos) << dom;
    EXPECT_NE(dom.find(std::string("<th>Name:</th><td>") + kPrinter + "</td>"), std::string::npos);
    EXPECT_NE(dom.find(FindModelByDriver(kDriver)->modelName), std::string::npos);
    EXPECT_TRUE(StateShown(dom, "idle", "Idle, 0 jobs")) << dom;
    const std::string link = TagWith(dom, std::string("href=\"/") + kPrinter + "/printing\"");
    EXPECT_FALSE(link.empty());
    Screenshot(url, "status.png");

    IppPtr paused = server_->Request(kPrinter, server_->NewRequest(IPP_OP_PAUSE_PRINTER, kPrinter));
    ASSERT_EQ(ippGetStatusCode(paused.get()), IPP_STATUS_OK);
    const std::string stopped = Dom(url);
    EXPECT_TRUE(StateShown(stopped, "stopped", "Stopped,")) << stopped;
    IppPtr resumed =
        server_->Request(kPrinter, server_->NewRequest(IPP_OP_RESUME_PRINTER, kPrinter));
    EXPECT_EQ(ippGetStatusCode(resumed.get()), IPP_STATUS_OK);
}

// The defaults page shows every vendor option of the model under its readable label, with the
// printer's current default (toner save switched on here), the feed-edge and blank-page choices
// by their labels, and the darkness levels with the configured 50 % selected.
TEST_F(WebPages, DefaultsPageShowsVendorOptionsByLabelAndDarkness) {
    ASSERT_EQ(server_->Run({"modify", "-d", kPrinter, "-o", "toner-save=true"}).exitCode, 0);
    const std::string url = Url(std::string("/") + kPrinter + "/printing");
    const std::string dom = Dom(url);

    const ModelInfo &model = *FindModelByDriver(kDriver);
    int shown = 0;
    for (const VendorOption &v : VendorOptions()) {
        if (!model.Offers(v.option)) continue;
        SCOPED_TRACE(v.attr);
        ++shown;
        EXPECT_NE(dom.find(std::string("<th>") + v.label + ":</th>"), std::string::npos);
        EXPECT_FALSE(TagWith(dom, std::string("name=\"") + v.attr + "\"").empty());
    }
    EXPECT_GE(shown, 4);
    EXPECT_NE(dom.find("<th>Toner Save:</th>"), std::string::npos);
    EXPECT_NE(dom.find("<th>Feed Paper Long Edge First:</th>"), std::string::npos);
    EXPECT_NE(dom.find("<th>Print Darkness:</th>"), std::string::npos);
    const std::string toner = TagWith(dom, "name=\"toner-save\"");
    EXPECT_NE(toner.find("checked"), std::string::npos) << toner;
    // The QV models' feed edge is "By Paper Size" unless set on or off.
    const std::string feed = SelectNamed(dom, "feed-long-edge");
    EXPECT_NE(feed.find(R"(<option value="auto" selected="">By Paper Size</option>)"),
              std::string::npos)
        << feed;
    EXPECT_NE(feed.find(R"(<option value="off">Off</option>)"), std::string::npos) << feed;

    const std::string blank = SelectNamed(dom, "skip-blank-pages");
    EXPECT_NE(blank.find(R"(<option value="printer-setting" selected="">Printer Setting</option>)"),
              std::string::npos)
        << blank;
    EXPECT_NE(blank.find(R"(<option value="on">On</option>)"), std::string::npos) << blank;
    EXPECT_NE(blank.find(R"(<option value="off">Off</option>)"), std::string::npos) << blank;

    const std::string darkness = SelectNamed(dom, "print-darkness");
    const int levels = model.density.darkest - model.density.lightest + 1;
    std::ptrdiff_t options = 0;
    for (size_t at = darkness.find("<option"); at != std::string::npos;
         at = darkness.find("<option", at + 1))
        ++options;
    EXPECT_EQ(options, levels) << darkness;
    EXPECT_NE(darkness.find(R"(<option value="50" selected="">50%</option>)"), std::string::npos)
        << darkness;
    Screenshot(url, "printing-defaults.png");
}

} // namespace
