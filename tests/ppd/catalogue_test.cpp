// The generated PPDs checked against the model catalogue they are generated from and against
// what the filter reads from them: the model names, the dialect keyword as the filter maps it,
// manual duplex, the filter line, the page sizes of the paper table the filter picks, the
// resolutions, and option names and choices as the option readers map them.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <cups/cups.h>
#include <cups/ppd.h>
#include <gtest/gtest.h>

#include "common/dialect.h"
#include "common/model_catalogue.h"
#include "common/option_catalogue.h"
#include "common/paper_catalogue.h"
#include "filter/options.h"
#include "filter/cups_settings.h"
#include "filter/locked_print.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

struct PpdCloser {
    void operator()(ppd_file_t *ppd) const { ppdClose(ppd); }
};
using PpdPtr = std::unique_ptr<ppd_file_t, PpdCloser>;

// The generated PPD files of one output directory, sorted by name.
std::vector<std::string> PpdFiles(const char *dir) {
    std::vector<std::string> files;
    for (const auto &entry : std::filesystem::directory_iterator(dir))
        if (entry.path().extension() == ".ppd") files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

// The text of a cupsIPPReason key as the filter reads it, or "" when it is absent.
std::string Reason(ppd_file_t *ppd, const char *key) {
    char buf[1024] = {};
    return ppdLocalizeIPPReason(ppd, key, nullptr, buf, sizeof buf) ? buf : "";
}

// The platform and paper table the filter ends up with for this PPD: the model catalogue
// first, the PPD's "PlatForm" keyword for models it does not list.
int PlatformOf(ppd_file_t *ppd, const PAPER_SIZE_INFO **table) {
    std::string a[6] = {"rastertoKelvra", "1", "u", "t", "1", ""};
    char *argv[] = {a[0].data(), a[1].data(), a[2].data(), a[3].data(),
                    a[4].data(), a[5].data(), nullptr};
    JobSettings s;
    ResolveJobSettings(s, argv, ppd, "debian_12");
    *table = s.paperTable;
    return s.platform;
}

// The code of a setting after the filter has read one job option.
int32_t CodeAfter(const std::string &option, Setting setting) {
    PrintOptions printOptions;
    cups_option_t *options = nullptr;
    const int n = cupsParseOptions(option.c_str(), 0, &options);
    cups_page_header2_t header{};
    GetFunctionValue(printOptions, n, options, &header);
    cupsFreeOptions(n, options);
    return SettingCode(printOptions, setting);
}

// The PPD of a catalogue model in one output directory.
PpdPtr OpenModelPpd(const char *dir, const ModelInfo &m) {
    return PpdPtr(ppdOpenFile((std::string(dir) + "/" + m.ppdFileName).c_str()));
}

TEST(GeneratedPpds, OnePpdPerCatalogueModelWithItsNames) {
    std::set<std::string> catalogued;
    for (const ModelInfo &m : AllModels())
        catalogued.insert(m.ppdFileName);
    for (const char *dir : {KELVRA_PPD_OUT, KELVRA_PPD_PDF_OUT}) {
        SCOPED_TRACE(dir);
        std::set<std::string> files;
        for (const std::string &file : PpdFiles(dir))
            files.insert(std::filesystem::path(file).filename().string());
        EXPECT_EQ(files, catalogued);
        for (const ModelInfo &m : AllModels()) {
            PpdPtr ppd = OpenModelPpd(dir, m);
            ASSERT_TRUE(ppd) << m.ppdFileName;
            EXPECT_STREQ(ppd->modelname, m.modelName);
            EXPECT_STREQ(ppd->manufacturer, m.manufacturer);
            EXPECT_STREQ(ppd->pcfilename, m.ppdFileName);
        }
    }
}

TEST(GeneratedPpds, PlatformManualDuplexResolutionsAndFilterLine) {
    for (const char *dir : {KELVRA_PPD_OUT, KELVRA_PPD_PDF_OUT}) {
        const bool pdf = std::strcmp(dir, KELVRA_PPD_PDF_OUT) == 0;
        for (const ModelInfo &m : AllModels()) {
            SCOPED_TRACE(std::string(dir) + "/" + m.ppdFileName);
            PpdPtr ppd = OpenModelPpd(dir, m);
            ASSERT_TRUE(ppd);

            // Every PPD names its dialect as the filter reads the keyword.
            int keywordPlatform = PLATFORM_NONE;
            const PAPER_SIZE_INFO *keywordTable = nullptr;
            ASSERT_TRUE(GetPaperSizeArrayByPlatformName(Reason(ppd.get(), "PlatForm").c_str(),
                                                        &keywordPlatform, &keywordTable));
            EXPECT_EQ(keywordPlatform, m.platform);

            EXPECT_EQ(Reason(ppd.get(), "SupportManualDuplex"), m.ManualDuplex() ? "TRUE" : "");
            EXPECT_EQ(Reason(ppd.get(), "MDuplex"), m.manualDuplexText);

            // The filter takes PDF (and, but for the PDF-only variant, CUPS raster).
            ASSERT_EQ(ppd->num_filters, pdf ? 1 : 2);
            EXPECT_STREQ(ppd->filters[0], "application/vnd.cups-pdf 0 rastertoKelvra");
            if (!pdf) {
                EXPECT_STREQ(ppd->filters[1], "application/vnd.cups-raster 0 rastertoKelvra");
            }
            EXPECT_EQ(ppd->manual_copies, 0);
            EXPECT_EQ(ppd->color_device, 0);
            // Two-sided printing where the model prints it (none on platform M).
            ppd_attr_t *backSide = ppdFindAttr(ppd.get(), "cupsBackSide", nullptr);
            EXPECT_EQ(backSide != nullptr, m.Duplex());
            if (backSide != nullptr) {
                EXPECT_STREQ(backSide->value, "Normal");
            }
            ppd_option_t *duplex = ppdFindOption(ppd.get(), "Duplex");
            EXPECT_EQ(duplex != nullptr, m.Duplex());
            if (duplex != nullptr) {
                EXPECT_STREQ(duplex->defchoice, "None");
            }

            // 8-bit grey raster only, at 600 dpi and where the model prints it 1200 dpi.
            ppd_option_t *colour = ppdFindOption(ppd.get(), "ColorModel");
            ASSERT_NE(colour, nullptr);
            ASSERT_EQ(colour->num_choices, 1);
            EXPECT_NE(std::strstr(colour->choices[0].code, "/cupsColorSpace 0"), nullptr);
            ppd_option_t *res = ppdFindOption(ppd.get(), "Resolution");
            ASSERT_NE(res, nullptr);
            EXPECT_STREQ(res->defchoice, "600dpi");
            EXPECT_EQ(res->num_choices, m.prints1200dpi ? 2 : 1);
            EXPECT_EQ(ppdFindChoice(res, "1200dpi") != nullptr, m.prints1200dpi);
            for (int i = 0; i < res->num_choices; ++i)
                EXPECT_NE(std::strstr(res->choices[i].code, "/cupsBitsPerColor 8"), nullptr);

            // Where "1200 dpi Quality" prints the 1200-dpi raster, the two go together.
            ppdMarkDefaults(ppd.get());
            ppdMarkOption(ppd.get(), "DPI1200", "True");
            EXPECT_EQ(ppdConflicts(ppd.get()) > 0, m.dpi1200Is1200dpi);
            ppdMarkOption(ppd.get(), "Resolution", m.prints1200dpi ? "1200dpi" : "600dpi");
            EXPECT_EQ(ppdConflicts(ppd.get()), 0);
        }
    }
}

TEST(GeneratedPpds, PageSizesAreTheRowsOfTheModelsPaperTable) {
    for (const ModelInfo &m : AllModels()) {
        SCOPED_TRACE(m.ppdFileName);
        PpdPtr ppd = OpenModelPpd(KELVRA_PPD_OUT, m);
        ASSERT_TRUE(ppd);
        // The table the filter ends up with for this PPD is the catalogue's.
        const PAPER_SIZE_INFO *table = nullptr;
        EXPECT_EQ(PlatformOf(ppd.get(), &table), m.platform);
        ASSERT_EQ(table, m.PaperRows());

        std::set<int> rowsFound;
        ppd_option_t *pageSize = ppdFindOption(ppd.get(), "PageSize");
        ASSERT_NE(pageSize, nullptr);
        for (int i = 0; i < ppd->num_sizes; ++i) {
            const ppd_size_t &size = ppd->sizes[i];
            if (std::strcmp(size.name, "Custom") == 0) continue; // the custom-size entry
            SCOPED_TRACE(size.name);
            const unsigned int dims[2] = {static_cast<unsigned int>(size.width),
                                          static_cast<unsigned int>(size.length)};
            EXPECT_EQ(dims[0], size.width);
            EXPECT_EQ(dims[1], size.length);
            const int row = GetPaperArrayIndex(dims, table, nullptr);
            ASSERT_GE(row, 0) << "no row of the model's table has this size";
            rowsFound.insert(row);
            const PaperMedia *media = MediaOfRow(table[row]);
            ASSERT_NE(media, nullptr);
            EXPECT_STREQ(media->ppdName, size.name);
            ppd_choice_t *choice = ppdFindChoice(pageSize, size.name);
            ASSERT_NE(choice, nullptr);
            EXPECT_STREQ(choice->text, media->ppdText);
            // The imageable area is what the filter keeps of a 600-dpi raster page: the row's
            // bitmap centred across the line, from the top line down.
            const double dot = 72.0 / 600.0;
            const double lineDots = std::floor(size.width / dot + 0.5);
            const double left = std::floor((lineDots - table[row].fwPaperW) / 2) * dot;
            EXPECT_NEAR(size.left, left, 0.01);
            EXPECT_NEAR(size.right, size.left + table[row].fwPaperW * dot, 0.06);
            EXPECT_NEAR(size.bottom, size.length - table[row].fwPaperH * dot, 0.01);
            EXPECT_EQ(size.top, size.length);
        }
        // Every row has its size, except a size listed twice (the first row is the one found).
        for (int r = 0; table[r].cupsPaperW != -1; ++r) {
            const unsigned int dims[2] = {static_cast<unsigned int>(table[r].cupsPaperW),
                                          static_cast<unsigned int>(table[r].cupsPaperH)};
            EXPECT_TRUE(rowsFound.count(GetPaperArrayIndex(dims, table, nullptr)))
                << "row " << r << " (" << table[r].strPageSize << ") has no page size";
        }
        const int defaultRow = PaperRowOfPwgMedia(table, m.defaultMedia);
        ASSERT_GE(defaultRow, 0);
        EXPECT_STREQ(pageSize->defchoice, MediaOfRow(table[defaultRow])->ppdName);

        // Custom sizes up to the model's largest size, which holds every table size, so the
        // filter's clamp keeps table sizes.
        ppd_size_t minimum{}, maximum{};
        ASSERT_EQ(ppdPageSizeLimits(ppd.get(), &minimum, &maximum), 1);
        EXPECT_EQ(maximum.width, m.maxWidth);
        EXPECT_EQ(maximum.length, m.maxLength);
        for (int r = 0; table[r].cupsPaperW != -1; ++r) {
            EXPECT_LE(table[r].cupsPaperW, maximum.width);
            EXPECT_LE(table[r].cupsPaperH, maximum.length);
        }
    }
}

// The options the catalogue gives a model, and no others, with names and choice names as the
// filter's option readers map them.
TEST(GeneratedPpds, OptionChoicesReachTheFiltersSettings) {
    const std::map<std::string, Setting> switches = {
        {"TonerMode", Setting::TonerMode},     {"FeedLongEdge", Setting::FeedEdge},
        {"DPI1200", Setting::Quality},         {"NegativePrint", Setting::NegativePrint},
        {"ImageRotation", Setting::Rotate180}, {"Collate", Setting::Collate},
        {"FineMode", Setting::FineMode},       {"Booklet", Setting::Booklet}};
    const std::map<std::string, int> trays = {{"Auto", 0}, {"Tray1", 3}, {"ManualFeed", 1}};
    for (const ModelInfo &m : AllModels()) {
        SCOPED_TRACE(m.ppdFileName);
        PpdPtr ppd = OpenModelPpd(KELVRA_PPD_OUT, m);
        ASSERT_TRUE(ppd);

        for (const OptionDescriptor &option : OptionCatalogue()) {
            if (option.choices.ui == PpdUi::None) continue;
            EXPECT_EQ(ppdFindOption(ppd.get(), option.keyword) != nullptr, option.OfferedBy(m))
                << option.keyword;
        }

        for (const auto &[name, setting] : switches) {
            ppd_option_t *opt = ppdFindOption(ppd.get(), name.c_str());
            if (opt == nullptr) continue;
            SCOPED_TRACE(name);
            // The QV models leave the feed edge to the paper size unless told otherwise.
            const bool byPaperSize = name == "FeedLongEdge" && m.group == ModelGroup::QV;
            EXPECT_EQ(opt->ui, byPaperSize ? PPD_UI_PICKONE : PPD_UI_BOOLEAN);
            EXPECT_STREQ(opt->defchoice, name == "Collate" ? "True"
                                         : byPaperSize     ? "Auto"
                                                           : "False");
            EXPECT_EQ(CodeAfter(name + "=True", setting), 1);
            EXPECT_EQ(CodeAfter(name + "=False", setting), 0);
        }
        ppd_option_t *slotOpt = ppdFindOption(ppd.get(), "InputSlot");
        ASSERT_NE(slotOpt, nullptr);
        EXPECT_STREQ(slotOpt->defchoice, "Auto");
        ASSERT_EQ(slotOpt->num_choices, static_cast<int>(trays.size()));
        for (int i = 0; i < slotOpt->num_choices; ++i) {
            const std::string choice = slotOpt->choices[i].choice;
            ASSERT_TRUE(trays.count(choice)) << choice;
            EXPECT_EQ(CodeAfter("InputSlot=" + choice, Setting::Tray), trays.at(choice));
        }
        // Density levels arrive as the numbers the catalogue gives.
        ppd_option_t *density = ppdFindOption(ppd.get(), "Density");
        ASSERT_NE(density, nullptr);
        EXPECT_EQ(density->defchoice, std::to_string(m.density.normal));
        ASSERT_EQ(density->num_choices, m.density.darkest - m.density.lightest + 1);
        for (int i = 0; i < density->num_choices; ++i)
            EXPECT_EQ(
                CodeAfter(std::string("Density=") + density->choices[i].choice, Setting::Density),
                m.density.lightest + i);
        // Print quality as dialogs offer it; high renders at 1200 dpi where the model prints it.
        ppd_option_t *quality = ppdFindOption(ppd.get(), "cupsPrintQuality");
        ASSERT_NE(quality, nullptr);
        EXPECT_STREQ(quality->defchoice, "Normal");
        ppd_choice_t *high = ppdFindChoice(quality, "High");
        ASSERT_NE(high, nullptr);
        EXPECT_EQ(std::strstr(high->code, "HWResolution[1200 1200]") != nullptr, m.prints1200dpi);
    }
}

// The job-level switches and the PIN take the PPD's defaults when the job says nothing.
TEST(GeneratedPpds, JobSwitchesTakeThePpdDefaults) {
    const std::string qv = std::string(KELVRA_PPD_OUT) + "/kelvra-qv66adn.ppd";
    std::unique_ptr<ppd_file_t, void (*)(ppd_file_t *)> ppd(ppdOpenFile(qv.c_str()), ppdClose);
    ASSERT_NE(ppd, nullptr);
    EXPECT_EQ(isBlankSuppress("", ppd.get()), 1); // default "PrinterSetting": the printer's own
    EXPECT_EQ(isBlankSuppress("BlankSuppress=True", ppd.get()), 3);
    EXPECT_EQ(isBlankSuppress("BlankSuppress=False", ppd.get()), 2);
    EXPECT_EQ(is1200dpiprint("", ppd.get()), 1);
    EXPECT_EQ(is1200dpiprint("DPI1200=True", ppd.get()), 2);

    char pin[256] = {};
    EXPECT_FALSE(ispinPrint("", pin, sizeof pin, ppd.get())); // default: not locked
    EXPECT_TRUE(ispinPrint("LockedPinPrint=True", pin, sizeof pin, ppd.get()));
    EXPECT_STREQ(pin, "0000"); // the PIN digits' defaults
    char chosen[256] = {};
    EXPECT_TRUE(ispinPrint("LockedPinPrint=True PinNum1=4 PinNum2=7 PinNum3=0 PinNum4=9", chosen,
                           sizeof chosen, ppd.get()));
    EXPECT_STREQ(chosen, "4709");
}

} // namespace
