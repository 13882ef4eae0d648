// Every catalogue model as a printer of the Printer Application: PAPPL 1.3.1 keeps a printer
// whose driver data it rejects with zeroed data (no media, no resolution) and crashes on its
// first job, so each printer's attributes are read back and checked against the catalogue.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "app/job_options.h"
#include "app/web_strings.h"
#include "common/model_catalogue.h"
#include "tests/app/app_server.h"

namespace {

std::vector<std::string> Values(ipp_t *ipp, const char *name) {
    std::vector<std::string> values;
    ipp_attribute_t *a = ippFindAttribute(ipp, name, IPP_TAG_ZERO);
    for (int i = 0; i < ippGetCount(a); ++i)
        if (const char *value = ippGetString(a, i, nullptr)) values.push_back(value);
    return values;
}

std::set<std::string> Strings(ipp_t *ipp, const char *name) {
    const std::vector<std::string> values = Values(ipp, name);
    return {values.begin(), values.end()};
}

std::set<int> Resolutions(ipp_t *ipp) {
    std::set<int> values;
    ipp_attribute_t *a = ippFindAttribute(ipp, "printer-resolution-supported", IPP_TAG_RESOLUTION);
    for (int i = 0; i < ippGetCount(a); ++i) {
        int y = 0;
        ipp_res_t units;
        values.insert(ippGetResolution(a, i, &y, &units));
    }
    return values;
}

// The PWG names of the model's paper-table rows, each once.
std::set<std::string> CatalogueMedia(const ModelInfo &m) {
    std::set<std::string> names;
    for (const PAPER_SIZE_INFO *row = m.PaperRows(); row->cupsPaperW != -1; ++row)
        if (const char *name = PwgMediaOfRow(*row)) names.insert(name);
    return names;
}

TEST(AppDrivers, EveryModelBecomesAPrinterWithItsCatalogueData) {
    AppServer server;
    ASSERT_TRUE(server.ok()) << server.Log();
    for (const ModelInfo &m : AllModels()) {
        const std::string driver(m.DriverName());
        SCOPED_TRACE(driver);
        ASSERT_TRUE(server.AddPrinter(driver, driver));
        IppPtr attrs = server.PrinterAttributes(driver);
        ASSERT_TRUE(attrs);
        ipp_t *a = attrs.get();
        EXPECT_STREQ(
            ippGetString(ippFindAttribute(a, "printer-make-and-model", IPP_TAG_TEXT), 0, nullptr),
            m.modelName);
        // The paper-table sizes, and custom sizes from the smallest every model takes to the
        // model's largest.
        std::set<std::string> media = Strings(a, "media-supported");
        for (const auto &[limit, w, l] :
             {std::tuple{"custom_min_", kCustomMinWidth, kCustomMinLength},
              std::tuple{"custom_max_", m.maxWidth, m.maxLength}}) {
            const auto named = std::find_if(media.begin(), media.end(), [&](const std::string &n) {
                return n.rfind(limit, 0) == 0;
            });
            ASSERT_NE(named, media.end()) << limit;
            const pwg_media_t *size = pwgMediaForPWG(named->c_str());
            EXPECT_EQ(size->width, (w * 2540 + 36) / 72);
            EXPECT_EQ(size->length, (l * 2540 + 36) / 72);
            media.erase(named);
        }
        EXPECT_EQ(media, CatalogueMedia(m));
        EXPECT_STREQ(ippGetString(ippFindAttribute(a, "media-default", IPP_TAG_ZERO), 0, nullptr),
                     m.defaultMedia);
        const std::set<int> dpis = m.prints1200dpi ? std::set<int>{600, 1200} : std::set<int>{600};
        EXPECT_EQ(Resolutions(a), dpis);
        // Each source once: PAPPL adds "auto" itself.
        EXPECT_EQ(Values(a, "media-source-supported"),
                  (std::vector<std::string>{"tray-1", "by-pass-tray", "auto"}));
        // The QV models can leave the feed edge to the paper size, as their PPDs' "Auto".
        if (m.FeedsLongEdgeBySize()) {
            EXPECT_EQ(Values(a, "feed-long-edge-supported"),
                      (std::vector<std::string>{"auto", "on", "off"}));
            EXPECT_EQ(Values(a, "feed-long-edge-default"), std::vector<std::string>{"auto"});
        } else {
            EXPECT_EQ(ippGetValueTag(ippFindAttribute(a, "feed-long-edge-supported", IPP_TAG_ZERO)),
                      IPP_TAG_BOOLEAN);
        }
        const std::set<std::string> sides = Strings(a, "sides-supported");
        const bool twoSided =
            m.platform == PLATFORM_C || (m.platform == PLATFORM_Z && m.ManualDuplex());
        EXPECT_EQ(sides.size(), twoSided ? 3u : 1u);
        EXPECT_EQ(
            ippGetInteger(ippFindAttribute(a, "printer-darkness-supported", IPP_TAG_INTEGER), 0),
            m.density.darkest - m.density.lightest + 1);
        EXPECT_EQ(Strings(a, "pwg-raster-document-type-supported"),
                  (std::set<std::string>{"sgray_8"}));
        const std::set<std::string> jobAttrs = Strings(a, "job-creation-attributes-supported");
        for (const VendorOption &v : VendorOptions()) {
            const std::string supported = std::string(v.attr) + "-supported";
            EXPECT_EQ(ippFindAttribute(a, supported.c_str(), IPP_TAG_ZERO) != nullptr,
                      m.Offers(v.option))
                << supported;
            EXPECT_EQ(jobAttrs.count(v.attr) == 1, m.Offers(v.option)) << v.attr;
        }
    }
    EXPECT_EQ(server.Log().find("Unsupported media-ready"), std::string::npos);
    // The manual feed slot is on the media page: PAPPL leaves out a source named "manual".
    EXPECT_NE(server.HttpGet("/kelvra-r18/media").find("Multipurpose tray"), std::string::npos);
}

// PAPPL 1.3.1 added printer-strings-languages-supported to the printer's attributes once more
// with every request; the toner is the printers' supply; the web texts are served and used in
// every language.
TEST(AppDrivers, APrinterAnswersEachAttributeOnceWithItsTonerAndTheWebTexts) {
    AppServer server;
    ASSERT_TRUE(server.ok()) << server.Log();
    const std::string driver = "kelvra-r18";
    ASSERT_TRUE(server.AddPrinter("p", driver));
    for (int request = 1; request <= 3; ++request) {
        SCOPED_TRACE(request);
        IppPtr attrs = server.PrinterAttributes("p");
        ASSERT_TRUE(attrs);
        std::map<std::string, int> count;
        std::set<std::string> languages;
        for (ipp_attribute_t *a = ippFirstAttribute(attrs.get()); a;
             a = ippNextAttribute(attrs.get())) {
            if (ippGetGroupTag(a) != IPP_TAG_PRINTER || ippGetName(a) == nullptr) continue;
            EXPECT_EQ(++count[ippGetName(a)], 1) << ippGetName(a);
            if (std::string(ippGetName(a)) == "printer-strings-languages-supported") {
                for (int i = 0; i < ippGetCount(a); ++i) {
                    EXPECT_TRUE(languages.insert(ippGetString(a, i, nullptr)).second);
                }
            }
        }
        EXPECT_EQ(Strings(attrs.get(), "printer-supply-description"),
                  std::set<std::string>{"Black Toner"});
        int length = 0;
        const void *bytes = ippGetOctetString(
            ippFindAttribute(attrs.get(), "printer-supply", IPP_TAG_STRING), 0, &length);
        const std::string supply =
            bytes ? std::string(static_cast<const char *>(bytes), static_cast<size_t>(length)) : "";
        EXPECT_NE(supply.find("type=toner;"), std::string::npos) << supply;
    }
    const std::string strings = EnglishStrings();
    EXPECT_EQ(server.HttpGet("/kelvra-en.strings"), strings);
    EXPECT_EQ(server.HttpGet("/kelvra-de.strings"), strings);
    // The printing defaults page names the vendor options by their texts.
    const ModelInfo *m = FindModelByDriver(driver);
    for (const char *language : {"en", "de"})
        for (const VendorOption &v : VendorOptions())
            if (m->Offers(v.option)) {
                EXPECT_NE(server.HttpGet("/p/printing", language).find(v.label), std::string::npos)
                    << language << " " << v.label;
            }
}

} // namespace
