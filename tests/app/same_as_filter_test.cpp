// The Printer Application and the CUPS filter print alike. For every model of the model
// catalogue, a page printed through the app with the printer's defaults and through the filter
// with the model's PPD and no options gives the same stream (so the same page bitmaps and page
// starts). For every option of the option catalogue that the app takes from an IPP attribute,
// each of its choices but the default, set through IPP on the app and through the PPD option on
// the filter, gives the same stream, on one model of each kind (KindOf). Both suites walk the
// catalogues, so a new model or option is covered as it is added; an option the app does not
// take must be named in kRoutes. The two jobs run at once on one server per suite.
#include <gtest/gtest.h>

#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string_view>
#include <tuple>
#include <vector>

#include "common/model_catalogue.h"
#include "common/option_catalogue.h"
#include "tests/app/app_server.h"
#include "tests/support/inspect_runner.h"

namespace {

// A test name from a text: what is not a letter or digit becomes '_'.
std::string TestName(std::string text) {
    for (char &c : text)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return text;
}

// The paper kind of a PWG media name (the catalogue knows every one used here).
const PaperMedia &MediaNamed(std::string_view pwg) {
    for (const PaperMedia &m : AllPaperMedia())
        if (pwg == m.pwgName) return m;
    throw std::logic_error("no paper kind " + std::string(pwg));
}

// What the page is: A6 (in every paper table, small and quick) at 600 dpi unless a choice
// needs otherwise.
struct PageSetup {
    const PaperMedia *media = &MediaNamed("iso_a6_105x148mm");
    int dpi = 600;
    const char *sides = "one-sided";
    int copies = 1;
};

// Pixel (x, y) of a w x h page: a grey ramp over every level in the top quarter, a black block
// off centre and a thin diagonal, white elsewhere (not blank, not symmetric).
uint8_t Pixel(unsigned x, unsigned y, unsigned w, unsigned h) {
    if (y < h / 4) return static_cast<uint8_t>(x * 256 / w);
    if (y >= h / 2 && y < h * 2 / 3 && x >= w / 8 && x < w / 2) return 0;
    return (x + 2 >= y / 2 && x <= y / 2 + 2) ? 0 : 0xFF;
}

// The page as the client sends it to the app (PWG raster named by its PWG media name) and as
// CUPS renders it for the PPD (CUPS raster named by the PPD's page size, its size in whole
// points); each setup is written once.
std::pair<std::string, std::string> PageFiles(const std::string &dir, const PageSetup &page) {
    const std::string stem = dir + "/page-" + page.media->ppdName + "-" + std::to_string(page.dpi) +
                             "-" + page.sides + "-" + std::to_string(page.copies);
    const std::pair<std::string, std::string> files{stem + ".pwg", stem + ".ras"};
    if (access(files.first.c_str(), F_OK) == 0) return files;
    cups_page_header2_t pwg;
    cupsRasterInitPWGHeader(&pwg, pwgMediaForPWG(page.media->pwgName), "sgray_8", page.dpi,
                            page.dpi, page.sides, "normal");
    pwg.cupsInteger[CUPS_RASTER_PWG_TotalPageCount] = 1;
    pwg.NumCopies = static_cast<unsigned>(page.copies);
    cups_page_header2_t cups = pwg;
    std::memset(cups.cupsPageSizeName, 0, sizeof cups.cupsPageSizeName);
    std::strcpy(cups.cupsPageSizeName, page.media->ppdName);
    cups.PageSize[0] = static_cast<unsigned>(page.media->width);
    cups.PageSize[1] = static_cast<unsigned>(page.media->length);
    std::vector<uint8_t> line(pwg.cupsBytesPerLine);
    for (const auto &[path, header, mode] : {std::tuple{files.first, &pwg, CUPS_RASTER_WRITE_PWG},
                                             std::tuple{files.second, &cups, CUPS_RASTER_WRITE}}) {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        cups_raster_t *ras = cupsRasterOpen(fd, mode);
        cupsRasterWriteHeader2(ras, header);
        for (unsigned y = 0; y < header->cupsHeight; ++y) {
            for (unsigned x = 0; x < header->cupsWidth; ++x)
                line[x] = Pixel(x, y, header->cupsWidth, header->cupsHeight);
            cupsRasterWritePixels(ras, line.data(), header->cupsBytesPerLine);
        }
        cupsRasterClose(ras);
        close(fd);
    }
    return files;
}

// One item of the inspector's report as text: its kind, name, page, text, fields and block
// parameters; not its offset, which moves with the lengths of the texts before it. The two
// front ends print under the same job id, user, title and host, so these are compared; the
// clock at the job's start is not (the PJL job time, the date frame): the two jobs may start on
// either side of a minute.
std::string ItemText(const Json &item) {
    const std::string &name = item["name"].str, &line = item["text"].str;
    if (name == "system-date" || line.starts_with("@PJL JOBTIME=")) return name + " (time)";
    std::string text = item["kind"].str + " " + name + " page " +
                       std::to_string(item["page"].asInt()) + " " + line;
    for (const auto &[key, value] : item["fields"].obj)
        text += " " + key + "=" +
                (value.type == Json::String ? value.str : std::to_string(value.asInt()));
    for (const Json &param : item["params"].arr)
        text += " " + param["name"].str + "=" + std::to_string(param["value"].asInt());
    return text;
}

// Page p's page-start items: frame fields (platforms C, Z) or block parameters (M).
std::vector<std::string> PageStart(const Json &report, int64_t page) {
    std::vector<std::string> lines;
    for (const Json &item : report["items"].arr) {
        const std::string &name = item["name"].str;
        if (item["page"].asInt() == page &&
            (name == "page-spec" || name == "custom-paper" || name == "START_PAGE_CMD"))
            lines.push_back(ItemText(item));
    }
    return lines;
}

// The whole stream as texts, one per item, then one per decoded page.
std::vector<std::string> StreamText(const Json &report) {
    std::vector<std::string> lines;
    for (const Json &item : report["items"].arr)
        lines.push_back(ItemText(item));
    for (const Json &page : report["pages"].arr)
        lines.push_back("page " + std::to_string(page["width"].asInt()) + "x" +
                        std::to_string(page["height"].asInt()) + " bpp " +
                        std::to_string(page["bpp"].asInt()) + " " + page["hash"].str);
    return lines;
}

// Expects the two streams to be alike, naming the first item where they part.
void ExpectSameStream(const Json &app, const Json &filter) {
    const std::vector<std::string> a = StreamText(app), f = StreamText(filter);
    size_t i = 0;
    while (i < a.size() && i < f.size() && a[i] == f[i])
        ++i;
    EXPECT_TRUE(i == a.size() && i == f.size())
        << "item " << i << "\n  app:    " << (i < a.size() ? a[i] : "(end)")
        << "\n  filter: " << (i < f.size() ? f[i] : "(end)");
}

// The stream of one job printed both ways.
struct Both {
    InspectRun app, filter;
};

// The suites' server, started once per suite, with a printer for every model.
class SameAsFilter : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        server_ = new AppServer;
        printers_.clear();
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    // Prints the page on the model's printer of the app, with `ipp` adding job attributes, and
    // through the filter with `ppdOptions`, the two at once.
    static Both Print(const ModelInfo &model, const std::function<void(ipp_t *)> &ipp,
                      const std::string &ppdOptions, const PageSetup &page = {}) {
        Both both;
        const std::string printer(model.DriverName()), dir = server_->dir();
        if (printers_.insert(printer).second) {
            EXPECT_TRUE(server_->AddPrinter(printer, printer)) << server_->Log();
        }
        const auto [pwg, cups] = PageFiles(dir, page);
        const std::string job = "job" + std::to_string(++jobs_);
        IppPtr request = server_->NewRequest(IPP_OP_PRINT_JOB, printer);
        ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr,
                     "image/pwg-raster");
        ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr,
                     job.c_str());
        if (page.copies > 1)
            ippAddInteger(request.get(), IPP_TAG_JOB, IPP_TAG_INTEGER, "copies", page.copies);
        ipp(request.get());
        IppPtr response = server_->Request(printer, std::move(request), pwg);
        const int id =
            ippGetInteger(ippFindAttribute(response.get(), "job-id", IPP_TAG_INTEGER), 0);
        EXPECT_GT(id, 0) << cupsLastErrorString();
        if (id <= 0) return both;

        // The filter runs while the app prints, under the app's job id, user and job name.
        FilterCall call;
        call.args = FilterArgs(ppdOptions, cups, job);
        call.args[0] = std::to_string(id);
        call.args[3] = std::to_string(page.copies);
        call.env["PPD"] = std::string(KELVRA_BUILD_DIR) + "/ppd/ppd/" + model.ppdFileName;
        call.env["KELVRA_CMS_LIBRARY"] = KELVRA_CMSLIB_BIN;
        FilterProcess filter(call);
        const FilterRun run = filter.Finish();
        EXPECT_EQ(run.exitCode, 0) << run.err;
        WriteWholeFile(dir + "/" + job + ".prn", run.out);
        both.filter = InspectJson(dir + "/" + job + ".prn");
        std::string message;
        EXPECT_EQ(server_->WaitJob(printer, id, &message), IPP_JSTATE_COMPLETED) << message;
        both.app = InspectJson(server_->OutputDir(printer) + "/" + job + ".prn");
        for (const InspectRun *r : {&both.app, &both.filter}) {
            EXPECT_EQ(r->exitCode, 0) << r->err;
            EXPECT_GE(r->json["pages"].size(), 1u);
        }
        return both;
    }
    static AppServer *server_;
    static std::set<std::string> printers_; // the server's printers
    static int jobs_;
};
AppServer *SameAsFilter::server_ = nullptr;
std::set<std::string> SameAsFilter::printers_;
int SameAsFilter::jobs_ = 0;

// Every model: the printer's defaults on the app, no options on the filter.
class DefaultsAlike : public SameAsFilter,
                      public ::testing::WithParamInterface<const ModelInfo *> {};

TEST_P(DefaultsAlike, GiveTheSameBitmapsAndPageStarts) {
    ASSERT_TRUE(server_->ok()) << server_->Log();
    const Both both = Print(
        *GetParam(), [](ipp_t *) {}, "");
    const Json &a = both.app.json, &f = both.filter.json;
    EXPECT_EQ(a["dialect"].str, f["dialect"].str);
    ASSERT_EQ(a["pages"].size(), f["pages"].size());
    EXPECT_GT(f["pages"][0]["toner_pixels"].asInt(), 0);
    ExpectSameStream(a, f);
    EXPECT_FALSE(PageStart(f, 1).empty());
    EXPECT_EQ(PageStart(a, 1), PageStart(f, 1));
}

INSTANTIATE_TEST_SUITE_P(EveryModel, DefaultsAlike, ::testing::ValuesIn([] {
                             std::vector<const ModelInfo *> models;
                             for (const ModelInfo &m : AllModels())
                                 models.push_back(&m);
                             return models;
                         }()),
                         [](const auto &info) {
                             return TestName(std::string(info.param->DriverName()));
                         });

// How the app takes an option of the catalogue: its vendor attribute, a standard job
// attribute, or not at all.
enum class Via { Vendor, MediaSource, Sides, PrintQuality, DocumentHandling, Darkness, FilterOnly };

// The options without a vendor attribute. The app has no locked print; DPI1200 is what the
// filter makes of cupsPrintQuality High and the app of print-quality high, which the
// cupsPrintQuality cases compare.
constexpr std::pair<std::string_view, Via> kRoutes[] = {{"InputSlot", Via::MediaSource},
                                                        {"Sides", Via::Sides},
                                                        {"cupsPrintQuality", Via::PrintQuality},
                                                        {"Collate", Via::DocumentHandling},
                                                        {"Density", Via::Darkness},
                                                        {"DPI1200", Via::FilterOnly},
                                                        {"LockedPinPrint", Via::FilterOnly},
                                                        {"PinNum1", Via::FilterOnly},
                                                        {"PinNum2", Via::FilterOnly},
                                                        {"PinNum3", Via::FilterOnly},
                                                        {"PinNum4", Via::FilterOnly}};

// The route of an option; nullopt for one that has none yet (a new option must get one).
std::optional<Via> RouteOf(const OptionDescriptor &d) {
    if (d.ippName[0] != '\0') return Via::Vendor;
    for (const auto &[keyword, via] : kRoutes)
        if (keyword == d.keyword) return via;
    return std::nullopt;
}

// One choice of one option on one model: the filter's option text, the app's job attribute
// (media-source inside media-col) and the page as the choice renders it.
struct OptionCase {
    const ModelInfo *model;
    std::string name;
    std::string ppd;
    const char *attr;
    ipp_tag_t tag;
    std::string value;
    PageSetup page;
};

// Models whose catalogue rows differ only in their names are of one kind: the option handling
// of both front ends reads the row, never the name (the defaults suite prints every model by
// name). One model of each kind stands for its kind here.
std::string KindOf(const ModelInfo &m) {
    return std::to_string(m.platform) + "/" + std::to_string(static_cast<int>(m.group)) + "/" +
           std::to_string(static_cast<int>(m.paper)) + "/" + std::to_string(m.prints1200dpi) +
           std::to_string(m.dpi1200Is1200dpi) + "/" + std::to_string(static_cast<int>(m.engine)) +
           "/" + std::to_string(static_cast<int>(m.screens)) + "/" + std::to_string(m.maxWidth) +
           "x" + std::to_string(m.maxLength) + "/" + std::to_string(m.options) + "/" +
           std::to_string(m.density.lightest) + std::to_string(m.density.normal) +
           std::to_string(m.density.darkest) + "/" + m.defaultMedia + "/" + m.manualDuplexText;
}

// Every choice but the default of every option the app takes, on one model of each kind.
std::vector<OptionCase> OptionCases() {
    std::vector<OptionCase> cases;
    std::set<std::string> kinds;
    for (const ModelInfo &m : AllModels()) {
        if (!kinds.insert(KindOf(m)).second) continue;
        for (const OptionDescriptor &d : OptionCatalogue()) {
            const Via via = RouteOf(d).value_or(Via::FilterOnly);
            if (via == Via::FilterOnly || !d.OfferedBy(m) || (via == Via::Sides && !m.Duplex()))
                continue;
            auto add = [&](const std::string &choice, const char *attr, ipp_tag_t tag,
                           const std::string &value, const char *code = "",
                           const char *sides = "one-sided") {
                // A choice whose PPD code asks for 1200 dpi is rendered at 1200 dpi for both;
                // collating needs copies; models of the plain groups feed only A5 long edge
                // first.
                PageSetup page;
                if (std::strstr(code, "HWResolution[1200") != nullptr) page.dpi = 1200;
                page.sides = sides;
                if (d.setting == Setting::Collate) page.copies = 2;
                if (d.setting == Setting::FeedEdge) page.media = &MediaNamed("iso_a5_148x210mm");
                const std::string name =
                    TestName(std::string(m.DriverName()) + "_" + d.keyword + "_" + choice);
                cases.push_back(
                    {&m, name, std::string(d.keyword) + "=" + choice, attr, tag, value, page});
            };
            if (via == Via::Darkness) {
                add(std::to_string(m.density.lightest), "print-darkness", IPP_TAG_INTEGER, "-100");
                add(std::to_string(m.density.darkest), "print-darkness", IPP_TAG_INTEGER, "100");
                continue;
            }
            const OptionChoices &choices = d.ChoicesFor(m);
            for (const OptionChoice &c : choices.Rows()) {
                const std::string ppd = c.ppd, ipp = c.ipp;
                if (via == Via::Sides) {
                    if (ppd.starts_with("two-sided"))
                        add(ppd, "sides", IPP_TAG_KEYWORD, ppd, "", c.ppd);
                } else if (c.alias || &c == &choices.Default()) {
                    continue;
                } else if (via == Via::Vendor && choices.ippType == IppType::Boolean) {
                    add(ppd, d.ippName, IPP_TAG_BOOLEAN, ppd == "True" ? "true" : "false");
                } else if (via == Via::Vendor) {
                    add(ppd, d.ippName, IPP_TAG_KEYWORD, ipp);
                } else if (via == Via::MediaSource) {
                    add(ppd, "media-source", IPP_TAG_KEYWORD, ipp);
                } else if (via == Via::PrintQuality) {
                    add(ppd, "print-quality", IPP_TAG_ENUM, ipp, c.code);
                } else if (via == Via::DocumentHandling) {
                    add(ppd, "multiple-document-handling", IPP_TAG_KEYWORD,
                        ppd == "True" ? "separate-documents-collated-copies"
                                      : "separate-documents-uncollated-copies");
                }
            }
        }
    }
    return cases;
}

// Every option of the catalogue is either taken by the app or named as acting in the filter
// only: a new option cannot be left out of the comparison unnoticed.
TEST(SameAsFilterOptions, EveryOptionHasARoute) {
    for (const OptionDescriptor &d : OptionCatalogue())
        EXPECT_TRUE(RouteOf(d).has_value()) << d.keyword << " has no route in kRoutes";
}

void PrintTo(const OptionCase &c, std::ostream *os) {
    *os << c.name;
}

class OptionsAlike : public SameAsFilter, public ::testing::WithParamInterface<OptionCase> {};

// The whole stream but the clock: every item and every decoded page.
TEST_P(OptionsAlike, GiveTheSameStream) {
    ASSERT_TRUE(server_->ok()) << server_->Log();
    const OptionCase &c = GetParam();
    const Both both = Print(
        *c.model,
        [&](ipp_t *request) {
            if (c.tag == IPP_TAG_BOOLEAN) {
                ippAddBoolean(request, IPP_TAG_JOB, c.attr, c.value == "true");
            } else if (c.tag == IPP_TAG_INTEGER) {
                ippAddInteger(request, IPP_TAG_JOB, IPP_TAG_INTEGER, c.attr, std::stoi(c.value));
            } else if (c.tag == IPP_TAG_ENUM) {
                ippAddInteger(request, IPP_TAG_JOB, IPP_TAG_ENUM, c.attr,
                              ippEnumValue(c.attr, c.value.c_str()));
            } else if (std::strcmp(c.attr, "media-source") == 0) {
                IppPtr col(ippNew());
                ippAddString(col.get(), IPP_TAG_ZERO, IPP_TAG_KEYWORD, c.attr, nullptr,
                             c.value.c_str());
                ippAddCollection(request, IPP_TAG_JOB, "media-col", col.get());
            } else {
                ippAddString(request, IPP_TAG_JOB, IPP_TAG_KEYWORD, c.attr, nullptr,
                             c.value.c_str());
            }
        },
        c.ppd, c.page);
    ExpectSameStream(both.app.json, both.filter.json);
}

INSTANTIATE_TEST_SUITE_P(EveryKindOfModel, OptionsAlike, ::testing::ValuesIn(OptionCases()),
                         [](const auto &info) { return info.param.name; });

} // namespace
