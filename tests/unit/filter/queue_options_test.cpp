// The job's options as the queue makes them: defaults for what the job leaves out, a warning
// and the default for values the printer does not offer, and the IPP names users type.
#include "filter/queue_options.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tests/unit/filter/option_test_ppd.h"

namespace {

// Resolves `job` against a PPD with these defaults; the warnings land in `log`.
struct Resolved {
    Resolved(const char *job, const std::vector<std::pair<std::string, std::string>> &defaults,
             const std::string &extra = "") {
        file.Write(defaults, extra);
        ppd = file.Open();
        EXPECT_NE(ppd, nullptr);
        std::FILE *f = open_memstream(&buf, &len);
        options = std::make_unique<QueueOptions>(job, ppd.get(), f);
        std::fclose(f);
        log = std::string(buf, len);
        std::free(buf);
    }
    std::string Get(const char *name) const {
        const char *v = options->Get(name);
        return v ? v : "(unset)";
    }
    TempPpd file;
    PpdHandle ppd;
    std::unique_ptr<QueueOptions> options;
    std::string log;
    char *buf = nullptr;
    std::size_t len = 0;
};

TEST(QueueOptions, TheQueueDefaultFillsWhatTheJobLeavesOut) {
    const Resolved r("TonerMode=True Collate=False",
                     {{"Density", "4"}, {"Collate", "True"}, {"InputSlot", "Tray2"},
                      {"TonerMode", "False"}});
    EXPECT_EQ(r.Get("Density"), "4"); // what `lpadmin -o Density=4` sets
    EXPECT_EQ(r.Get("Collate"), "False");
    EXPECT_EQ(r.Get("InputSlot"), "Tray2");
    EXPECT_EQ(r.Get("TonerMode"), "True");
    EXPECT_EQ(r.Get("FineMode"), "(unset)"); // neither the job nor the queue has it
    EXPECT_TRUE(r.options->JobNamed("TonerMode"));
    EXPECT_FALSE(r.options->JobNamed("Density"));
    EXPECT_TRUE(r.log.empty()) << r.log;
}

TEST(QueueOptions, AValueThePrinterDoesNotOfferFallsBackToTheDefaultWithAWarning) {
    for (const char *bad : {"9", "300", "-1", "foo", ""}) {
        const std::string job = std::string("Density=") + bad;
        const Resolved r(job.c_str(), {{"Density", "2"}}, "*Density 3: \"\"\n");
        EXPECT_EQ(r.Get("Density"), "2") << bad;
        EXPECT_NE(r.log.find("WARNING: Density=" + std::string(bad) +
                             " is not one of the printer's choices"),
                  std::string::npos)
            << r.log;
    }
    // Choices are matched ignoring case and keep the PPD's spelling; on/off options take
    // yes/no, on/off and 1/0 too.
    const Resolved r("Collate=yes TonerMode=TRUE NegativePrint=0",
                     {{"Collate", "False"}, {"TonerMode", "False"}, {"NegativePrint", "True"}});
    EXPECT_EQ(r.Get("Collate"), "True");
    EXPECT_EQ(r.Get("TonerMode"), "True");
    EXPECT_EQ(r.Get("NegativePrint"), "False");
    EXPECT_TRUE(r.log.empty()) << r.log;
    // Options the PPD does not have are taken as the job gives them.
    const Resolved unknown("FineMode=whatever", {{"Collate", "True"}});
    EXPECT_EQ(unknown.Get("FineMode"), "whatever");
}

TEST(QueueOptions, IppNamesStandForThePpdOptions) {
    EXPECT_EQ(Resolved("collate=false", {{"Collate", "True"}}).Get("Collate"), "False");
    EXPECT_EQ(Resolved("multiple-document-handling=separate-documents-collated-copies",
                       {{"Collate", "False"}})
                  .Get("Collate"),
              "True");
    EXPECT_EQ(Resolved("multiple-document-handling=separate-documents-uncollated-copies",
                       {{"Collate", "True"}})
                  .Get("Collate"),
              "False");
    // The driver's own option wins over the IPP name.
    EXPECT_EQ(Resolved("Collate=True multiple-document-handling=separate-documents-uncollated-"
                       "copies",
                       {{"Collate", "False"}})
                  .Get("Collate"),
              "True");
    // print-quality high is the 1200-dpi mode, draft and normal are not; a queue whose quality
    // default is High prints in that mode too.
    const std::string quality = "*OpenUI *cupsPrintQuality: PickOne\n*DefaultcupsPrintQuality: "
                                "Normal\n*cupsPrintQuality Draft: \"\"\n*cupsPrintQuality "
                                "Normal: \"\"\n*cupsPrintQuality High: \"\"\n*CloseUI: "
                                "*cupsPrintQuality\n";
    EXPECT_EQ(Resolved("print-quality=5", {{"DPI1200", "False"}}, quality).Get("DPI1200"), "True");
    EXPECT_EQ(Resolved("print-quality=draft", {{"DPI1200", "True"}}, quality).Get("DPI1200"),
              "False");
    EXPECT_EQ(Resolved("", {{"DPI1200", "False"}}, quality).Get("DPI1200"), "False");
    EXPECT_EQ(Resolved("cupsPrintQuality=High", {{"DPI1200", "False"}}, quality).Get("DPI1200"),
              "True");
}

TEST(QueueOptions, CustomPageSizesAreReadInPoints) {
    struct Case {
        const char *options;
        CustomSize result;
        double width, height;
    };
    const Case cases[] = {
        {"PageSize=Custom.300x400", CustomSize::Read, 300, 400},
        {"media=Custom.20x20mm", CustomSize::Read, 56.69, 56.69},
        {"PageSize=Custom.8.5x11in", CustomSize::Read, 612, 792},
        {"PageSize=Custom.21x29.7cm", CustomSize::Read, 595.28, 841.89},
        {"PageSize=A4", CustomSize::None, 0, 0},
        {"PageSize=Custom.axb", CustomSize::Unreadable, 0, 0},
        {"PageSize=Custom.10x10furlong", CustomSize::Unreadable, 0, 0},
        {"PageSize=Custom.-5x10", CustomSize::Unreadable, 0, 0},
    };
    for (const Case &c : cases) {
        double w = 0, h = 0;
        std::string text;
        EXPECT_EQ(CustomPageSizePoints(c.options, w, h, text), c.result) << c.options;
        if (c.result != CustomSize::Read) continue;
        EXPECT_NEAR(w, c.width, 0.01) << c.options;
        EXPECT_NEAR(h, c.height, 0.01) << c.options;
    }
}

} // namespace
