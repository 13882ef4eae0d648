// The generated PPDs checked against what the filter reads from them: the model names of its
// lists, the dialect keyword, manual duplex, the filter line, the page sizes of the model's
// paper table, the resolutions, and option names and choices as the option readers map them.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <cups/cups.h>
#include <cups/ppd.h>
#include <gtest/gtest.h>

#include "common/dialect.h"
#include "common/job_settings.h"
#include "common/model_groups.h"
#include "common/paper_catalogue.h"
#include "filter/cups_settings.h"
#include "filter/locked_print.h"
#include "filter/options.h"
#include "prnt/pin_print.h"

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

// The settings the filter resolves for a job on this PPD with the option string `options`.
JobSettings SettingsOf(ppd_file_t *ppd, const char *options = "") {
    std::string args[6] = {"rastertoKelvra", "1", "user", "title", "1", options};
    char *argv[7] = {};
    for (int i = 0; i < 6; ++i)
        argv[i] = args[i].data();
    JobSettings s;
    testing::internal::CaptureStderr();
    ResolveJobSettings(s, argv, ppd, "debian_12");
    testing::internal::GetCapturedStderr();
    return s;
}

// The PPD name of a catalogue row: the row's name, except where it is not a usable or not
// the standard PPD keyword for that size.
std::string PpdNameOfRow(const PAPER_SIZE_INFO &row) {
    const std::string name = row.strPageSize;
    if (name == "IOSB5") return "ISOB5";
    if (name == "11\xC3\x97"
                "17")
        return "Tabloid";
    if (name == "Postcard" && row.cupsPaperW == 419) return "DoublePostcardRotated";
    return name;
}

// The option table after the filter has read one job option.
PRINT_FUNC_INFO SlotAfter(const std::string &option, int slot) {
    PRINT_FUNC_INFO table[kPrntFuncInfoCount];
    std::copy(gDefaultPrntFuncInfo, gDefaultPrntFuncInfo + kPrntFuncInfoCount, table);
    cups_option_t *options = nullptr;
    const int n = cupsParseOptions(option.c_str(), 0, &options);
    cups_page_header2_t header{};
    GetFunctionValue(table, n, options, &header);
    cupsFreeOptions(n, options);
    return table[slot];
}

TEST(GeneratedPpds, OnePpdPerModelWithTheExactModelName) {
    for (const char *dir : {KELVRA_PPD_OUT, KELVRA_PPD_PDF_OUT}) {
        SCOPED_TRACE(dir);
        std::set<std::string> models;
        for (const std::string &file : PpdFiles(dir)) {
            PpdPtr ppd(ppdOpenFile(file.c_str()));
            ASSERT_TRUE(ppd) << file;
            const std::string model = ppd->modelname;
            int platform = 0;
            EXPECT_TRUE(GetPaperSizeArray(model.c_str(), &platform) != nullptr ||
                        IsQVModel(model.c_str()) || IsMirodelModel(model.c_str()))
                << file << ": \"" << model << "\" is not a model the filter knows";
            EXPECT_TRUE(models.insert(model).second) << "two PPDs for " << model;
        }
        // 54 models in the four paper-table lists, 5 QV models and 2 Mirodel models: with
        // every name recognised and none twice, all 61 are there.
        EXPECT_EQ(models.size(), 61u);
    }
}

TEST(GeneratedPpds, PlatformManualDuplexAndFilterLine) {
    for (const char *dir : {KELVRA_PPD_OUT, KELVRA_PPD_PDF_OUT}) {
        const bool pdf = std::strcmp(dir, KELVRA_PPD_PDF_OUT) == 0;
        for (const std::string &file : PpdFiles(dir)) {
            SCOPED_TRACE(file);
            PpdPtr ppd(ppdOpenFile(file.c_str()));
            ASSERT_TRUE(ppd);
            const char *model = ppd->modelname;

            // Every PPD names its dialect; for listed models it agrees with the list.
            int keywordPlatform = PLATFORM_NONE;
            const PAPER_SIZE_INFO *keywordTable = nullptr;
            ASSERT_TRUE(GetPaperSizeArrayByPlatformName(Reason(ppd.get(), "PlatForm").c_str(),
                                                        &keywordPlatform, &keywordTable));
            int listPlatform = PLATFORM_NONE;
            const PAPER_SIZE_INFO *listTable = GetPaperSizeArray(model, &listPlatform);
            if (listTable != nullptr) {
                EXPECT_EQ(listPlatform, keywordPlatform);
            }
            if (IsQVModel(model)) {
                EXPECT_EQ(keywordPlatform, PLATFORM_Z);
            }
            if (IsMirodelModel(model)) {
                EXPECT_EQ(keywordPlatform, PLATFORM_M);
            }
            const JobSettings settings = SettingsOf(ppd.get());
            EXPECT_EQ(settings.platform, keywordPlatform);
            EXPECT_EQ(settings.modelName, model);

            // Manual duplex where the filter turns duplex into manual duplex: platform Z.
            const bool manual = keywordPlatform == PLATFORM_Z;
            EXPECT_EQ(Reason(ppd.get(), "SupportManualDuplex"), manual ? "TRUE" : "");
            EXPECT_EQ(settings.supportsManualDuplex, manual);
            const std::string instruction = Reason(ppd.get(), "MDuplex");
            EXPECT_EQ(instruction.empty(), !manual);
            EXPECT_EQ(settings.manualDuplexMessage, instruction);
            EXPECT_LE(instruction.size(), 80u);

            ASSERT_EQ(ppd->num_filters, 1);
            EXPECT_STREQ(ppd->filters[0], pdf ? "application/vnd.cups-pdf 0 rastertoKelvra"
                                              : "application/vnd.cups-raster 0 rastertoKelvra");
            EXPECT_EQ(ppd->manual_copies, 0);
            EXPECT_EQ(ppd->color_device, 0);
            ppd_attr_t *backSide = ppdFindAttr(ppd.get(), "cupsBackSide", nullptr);
            ASSERT_NE(backSide, nullptr);
            EXPECT_STREQ(backSide->value, "Normal");

            // 8-bit grey raster only; 1200 dpi where the filter doubles the bitmap for it.
            ppd_option_t *colour = ppdFindOption(ppd.get(), "ColorModel");
            ASSERT_NE(colour, nullptr);
            ASSERT_EQ(colour->num_choices, 1);
            EXPECT_NE(std::strstr(colour->choices[0].code, "/cupsColorSpace 0"), nullptr);
            ppd_option_t *res = ppdFindOption(ppd.get(), "Resolution");
            ASSERT_NE(res, nullptr);
            EXPECT_STREQ(res->defchoice, "600dpi");
            const bool has1200 =
                keywordPlatform == PLATFORM_C || IsQVModel(model) || IsMirodelModel(model);
            EXPECT_EQ(res->num_choices, has1200 ? 2 : 1);
            for (int i = 0; i < res->num_choices; ++i)
                EXPECT_NE(std::strstr(res->choices[i].code, "/cupsBitsPerColor 8"), nullptr);
        }
    }
}

TEST(GeneratedPpds, PageSizesAreTheRowsOfTheModelsPaperTable) {
    for (const std::string &file : PpdFiles(KELVRA_PPD_OUT)) {
        SCOPED_TRACE(file);
        PpdPtr ppd(ppdOpenFile(file.c_str()));
        ASSERT_TRUE(ppd);
        const JobSettings settings = SettingsOf(ppd.get());
        const PAPER_SIZE_INFO *table = settings.paperTable;
        ASSERT_NE(settings.platform, PLATFORM_NONE);
        ASSERT_NE(table, nullptr);

        std::set<int> rowsFound;
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
            EXPECT_EQ(PpdNameOfRow(table[row]), size.name);
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
        EXPECT_STREQ(ppdFindOption(ppd.get(), "PageSize")->defchoice, "A4");

        // Custom sizes up to the largest table size, so the page plan's clamp keeps table sizes.
        ASSERT_GT(settings.maxPageWidth, 0u);
        ASSERT_GT(settings.maxPageHeight, 0u);
        for (int r = 0; table[r].cupsPaperW != -1; ++r) {
            EXPECT_LE(static_cast<unsigned>(table[r].cupsPaperW), settings.maxPageWidth);
            EXPECT_LE(static_cast<unsigned>(table[r].cupsPaperH), settings.maxPageHeight);
        }
    }
}

// Option names and choice names as the filter's option readers map them.
TEST(GeneratedPpds, OptionChoicesReachTheFiltersSlots) {
    const std::map<std::string, int> booleanSlots = {{"TonerMode", TONERMODE},
                                                     {"FeedLongEdge", LONGEDGEFEED},
                                                     {"DPI1200", DPI1200},
                                                     {"NegativePrint", NEGATIVEPRINT},
                                                     {"ImageRotation", IMAGEROTATION},
                                                     {"Collate", COLLATE},
                                                     {"FineMode", FINEMODE},
                                                     {"Booklet", Booklet},
                                                     {"LockedPinPrint", LockedPinPrint}};
    const std::map<std::string, int> trays = {{"Auto", 0}, {"Tray1", 3}, {"ManualFeed", 1}};
    for (const std::string &file : PpdFiles(KELVRA_PPD_OUT)) {
        SCOPED_TRACE(file);
        PpdPtr ppd(ppdOpenFile(file.c_str()));
        ASSERT_TRUE(ppd);
        const char *model = ppd->modelname;
        const int platform = SettingsOf(ppd.get()).platform;
        const bool library = IsQVModel(model) || IsMirodelModel(model);

        std::set<std::string> expected = {"Duplex",        "InputSlot",     "Density",
                                          "TonerMode",     "FeedLongEdge",  "DPI1200",
                                          "NegativePrint", "ImageRotation", "Collate"};
        if (platform != PLATFORM_M) expected.insert("Booklet");
        if (platform == PLATFORM_Z && !IsQVModel(model)) expected.insert("FineMode");
        if (library) expected.insert("BlankSuppress");
        if (IsQVModel(model))
            expected.insert({"LockedPinPrint", "PinNum1", "PinNum2", "PinNum3", "PinNum4"});
        for (const std::string &name : expected)
            EXPECT_NE(ppdFindOption(ppd.get(), name.c_str()), nullptr) << name << " missing";

        for (const auto &[name, slot] : booleanSlots) {
            ppd_option_t *opt = ppdFindOption(ppd.get(), name.c_str());
            if (opt == nullptr) continue;
            SCOPED_TRACE(name);
            EXPECT_EQ(opt->ui, PPD_UI_BOOLEAN);
            EXPECT_STREQ(opt->defchoice, name == "Collate" ? "True" : "False");
            EXPECT_EQ(SlotAfter(name + "=True", slot).value, 1);
            EXPECT_EQ(SlotAfter(name + "=False", slot).value, 0);
        }
        ppd_option_t *slotOpt = ppdFindOption(ppd.get(), "InputSlot");
        ASSERT_NE(slotOpt, nullptr);
        EXPECT_STREQ(slotOpt->defchoice, "Auto");
        ASSERT_EQ(slotOpt->num_choices, static_cast<int>(trays.size()));
        for (int i = 0; i < slotOpt->num_choices; ++i) {
            const std::string choice = slotOpt->choices[i].choice;
            ASSERT_TRUE(trays.count(choice)) << choice;
            EXPECT_EQ(SlotAfter("InputSlot=" + choice, INPUTSLOT).value, trays.at(choice));
        }
        // Density levels arrive as numbers: 0-4 for the filter's own halftoning (2 is its
        // default), 1-5 for the colour library's curves (3 leaves tones unchanged).
        ppd_option_t *density = ppdFindOption(ppd.get(), "Density");
        ASSERT_NE(density, nullptr);
        EXPECT_STREQ(density->defchoice, library ? "3" : "2");
        ASSERT_EQ(density->num_choices, 5);
        for (int i = 0; i < density->num_choices; ++i)
            EXPECT_EQ(
                SlotAfter(std::string("Density=") + density->choices[i].choice, DENSITY).value,
                i + (library ? 1 : 0));
        ppd_option_t *duplex = ppdFindOption(ppd.get(), "Duplex");
        ASSERT_NE(duplex, nullptr);
        EXPECT_STREQ(duplex->defchoice, "None");
    }
}

// The job-level switches and the PIN fall back to the queue PPD's defaults when the job says
// nothing.
TEST(GeneratedPpds, DefaultsReadFromTheQueuePpd) {
    const std::string qv = std::string(KELVRA_PPD_OUT) + "/kelvra-qv66adn.ppd";
    PpdPtr ppd(ppdOpenFile(qv.c_str()));
    ASSERT_TRUE(ppd);
    testing::internal::CaptureStderr();
    EXPECT_EQ(isBlankSuppress("", ppd.get()), 1); // "PrinterSetting": leave the printer's own
    EXPECT_EQ(isBlankSuppress("BlankSuppress=True", ppd.get()), 3);
    EXPECT_EQ(isBlankSuppress("BlankSuppress=False", ppd.get()), 2);
    EXPECT_EQ(is1200dpiprint("", ppd.get()), 1);
    EXPECT_EQ(is1200dpiprint("DPI1200=True", ppd.get()), 2);

    char pin[kPinBufferSize] = {};
    EXPECT_FALSE(ispinPrint("", pin, sizeof pin, ppd.get())); // default: not locked
    EXPECT_TRUE(ispinPrint("LockedPinPrint=True", pin, sizeof pin, ppd.get()));
    EXPECT_STREQ(pin, "0000"); // the PIN digits' defaults
    char chosen[kPinBufferSize] = {};
    EXPECT_TRUE(ispinPrint("LockedPinPrint=True PinNum1=4 PinNum2=7 PinNum3=0 PinNum4=9", chosen,
                           sizeof chosen, ppd.get()));
    EXPECT_STREQ(chosen, "4709");
    testing::internal::GetCapturedStderr();

    // The same through the job's settings.
    JobSettings s = SettingsOf(ppd.get());
    EXPECT_EQ(s.group, ModelGroup::QV);
    EXPECT_EQ(s.blankSuppress, 1);
    EXPECT_FALSE(s.is1200dpi);
    EXPECT_EQ(s.colorBits, 2);
    EXPECT_FALSE(s.lockedPrint);
    s = SettingsOf(ppd.get(), "LockedPinPrint=True PinNum2=7");
    EXPECT_TRUE(s.lockedPrint);
    EXPECT_EQ(s.pin, "0700");
}

} // namespace
