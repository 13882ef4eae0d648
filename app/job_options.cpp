#include "app/job_options.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string_view>
#include <unistd.h>

namespace {

// The PPDs' InputSlot choices (the option catalogue's). PAPPL never shows the source "manual"
// on its media and printing-defaults pages (paper fed by hand is not loaded), so the manual
// feed slot is the by-pass tray; jobs may still name it "manual".
constexpr MediaSource kSources[] = {{"tray-1", "Tray1"},
                                    {"by-pass-tray", "ManualFeed"},
                                    {"auto", "Auto"},
                                    {"manual", "ManualFeed"}};
constexpr std::size_t kPrinterSources = 2; // tray-1 and by-pass-tray

// The catalogued option with this keyword; the catalogue holds every keyword asked for here.
const OptionDescriptor &Option(std::string_view keyword) {
    return *FindOption(keyword);
}

// Sets the option's setting to what the choice with this PPD keyword (or the text's catalogue
// rule) gives it.
void SetOption(JobSettings &s, std::string_view keyword, std::string_view text) {
    Option(keyword).Apply(text, s.options);
}

// The job's value of a vendor attribute, else the printer's default, else empty.
std::string ValueOf(const JobTicket &t, const char *attr, bool *fromJob) {
    if (auto it = t.jobValues.find(attr); it != t.jobValues.end()) {
        *fromJob = true;
        return it->second;
    }
    *fromJob = false;
    auto it = t.printerDefaults.find(attr);
    return it != t.printerDefaults.end() ? it->second : std::string();
}

// Sets the settings of the vendor options the model offers. A keyword the job (or the printer
// default) names takes its choice, any other the default choice. A switch the job names takes
// its value; one it does not name takes the printer default only when that is on, as the
// filter adds only the PPD defaults that are on: an unnamed switch keeps its start value (toner
// save stays unnamed, neither on nor off; the feed edge stays by size).
void ApplyVendorOptions(JobSettings &s, const ModelInfo &model, const JobTicket &t) {
    for (const VendorOption &v : VendorOptions()) {
        if (!model.Offers(v.option)) continue;
        const OptionDescriptor &d = *v.descriptor;
        const OptionChoices &choices = d.ChoicesFor(model);
        bool fromJob = false;
        const std::string value = ValueOf(t, v.attr, &fromJob);
        const OptionChoice *choice = nullptr;
        if (choices.ippType == IppType::Keyword) {
            choice = choices.FindIpp(value);
            if (choice == nullptr) choice = &choices.Default();
        } else if (fromJob || value == "true") {
            choice = choices.FindPpd(value == "true" ? "True" : "False");
        }
        if (choice != nullptr) d.Apply(*choice, s.options);
    }
}

// orientation-requested of the job. The printer's default is portrait only because IPP clients
// want one of the four turns there; a job that names no orientation lets each page keep its
// own (a landscape page is turned onto portrait paper, as "none" does).
ipp_orient_t JobOrientation(pappl_job_t *job, const pappl_pr_options_t &options) {
    if (papplJobGetAttribute(job, "orientation-requested") == nullptr &&
        options.orientation_requested == IPP_ORIENT_PORTRAIT)
        return IPP_ORIENT_NONE;
    return options.orientation_requested;
}

// PAPPL's sub-commands and the options of its command line that take a value.
constexpr const char *kSubcommands[] = {"add",      "autoadd", "cancel",   "default", "delete",
                                        "devices",  "drivers", "jobs",     "modify",  "options",
                                        "printers", "server",  "shutdown", "status",  "submit"};
constexpr std::string_view kValueOptions = "dhjmnotuv";

// A copy count PAPPL sends: a whole number from 1 to 9999.
bool ValidCopies(const std::string &value) {
    char *end = nullptr;
    errno = 0;
    const long n = std::strtol(value.c_str(), &end, 10);
    return !value.empty() && errno == 0 && *end == '\0' && n >= 1 && n <= 9999;
}

// One range as PAPPL's submit reads it ("N", "N-M", "N-", "-M"), written whole; empty when the
// text is anything else.
std::string NormalPageRange(const std::string &value) {
    unsigned long first = 1, last = 0;
    const char *p = value.c_str();
    char *end = nullptr;
    const bool hasFirst = std::isdigit(static_cast<unsigned char>(*p));
    if (hasFirst) {
        first = std::strtoul(p, &end, 10);
        p = end;
    }
    const bool dash = *p == '-';
    if (dash) ++p;
    if (std::isdigit(static_cast<unsigned char>(*p))) {
        last = std::strtoul(p, &end, 10);
        p = end;
    }
    if (*p != '\0' || (!hasFirst && last == 0) || first < 1 || first > INT_MAX || last > INT_MAX ||
        (last != 0 && last < first))
        return "";
    if (!dash) last = first;
    return std::to_string(first) + "-" + (last ? std::to_string(last) : "");
}

// Checks the copies and page-ranges of one "-o" value; adds "-o page-ranges=N-N" after it
// where PAPPL would misread a single page.
bool CheckSubmitOptions(const std::string &value, std::vector<std::string> &fixed,
                        std::string &why) {
    cups_option_t *options = nullptr;
    const int n = cupsParseOptions(value.c_str(), 0, &options);
    const char *copies = cupsGetOption("copies", n, options);
    const char *ranges = cupsGetOption("page-ranges", n, options);
    const std::string range = ranges ? NormalPageRange(ranges) : "";
    if (copies != nullptr && !ValidCopies(copies))
        why = std::string("Bad copy count '") + copies + "' (1 to 9999).";
    else if (ranges != nullptr && range.empty())
        why = std::string("Bad page-ranges '") + ranges + "': one range of pages, like 2-5.";
    else if (ranges != nullptr && range != ranges)
        fixed.insert(fixed.end(), {"-o", "page-ranges=" + range});
    cupsFreeOptions(n, options);
    return why.empty();
}

// The media-source the job names in its media-col, else "". PAPPL itself would pick the first
// source whose loaded paper has the job's size; the printers do not know what is loaded.
std::string NamedSource(pappl_job_t *job) {
    ipp_t *col = ippGetCollection(papplJobGetAttribute(job, "media-col"), 0);
    const char *source =
        ippGetString(ippFindAttribute(col, "media-source", IPP_TAG_ZERO), 0, nullptr);
    return source ? source : "";
}

// The printer's default source ("auto" unless changed on the printing defaults page).
std::string DefaultSource(pappl_printer_t *printer) {
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(printer, &data);
    return data.media_default.source;
}

} // namespace

bool FixSubmitArguments(std::vector<std::string> &args, std::string &why) {
    auto takesValue = [](const std::string &a) {
        return a.size() > 1 && a[0] == '-' && a[1] != '-' &&
               kValueOptions.find(a[1]) != std::string_view::npos;
    };
    // Only submit (also the sub-command of a command line that names none) sends a job.
    for (std::size_t i = 1; i < args.size() && args[i] != "--"; ++i) {
        if (takesValue(args[i]))
            ++i;
        else if (args[i] != "submit" && std::find(std::begin(kSubcommands), std::end(kSubcommands),
                                                  args[i]) != std::end(kSubcommands))
            return true;
    }
    std::vector<std::string> fixed(args.begin(), args.begin() + (args.empty() ? 0 : 1));
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (arg == "--") {
            fixed.insert(fixed.end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
            break;
        }
        if (!takesValue(arg) || i + 1 == args.size()) {
            fixed.push_back(arg);
            continue;
        }
        const std::string &value = args[++i];
        if (arg[1] == 'n') { // PAPPL reads the option's first letter only
            if (!ValidCopies(value)) {
                why = "Bad copy count '" + value + "' (1 to 9999).";
                return false;
            }
            fixed.insert(fixed.end(), {"-o", "copies=" + value});
            continue;
        }
        fixed.insert(fixed.end(), {arg, value});
        if (arg[1] == 'o' && !CheckSubmitOptions(value, fixed, why)) return false;
    }
    args = std::move(fixed);
    return true;
}

std::span<const VendorOption> VendorOptions() {
    static const std::vector<VendorOption> options = [] {
        std::vector<VendorOption> list;
        for (const OptionDescriptor &d : OptionCatalogue())
            if (d.ippName[0] != '\0')
                list.push_back({static_cast<ModelOption>(d.offeredBy), d.ippName, d.text, &d});
        return list;
    }();
    return options;
}

namespace {
// The keywords of one choice set, the default first.
void AddKeywords(std::vector<KeywordValue> &out, const OptionChoices &choices) {
    const OptionChoice *rows[14];
    const int n = choices.IppKeywords(rows);
    for (int i = 0; i < n; ++i)
        if (std::none_of(out.begin(), out.end(), [&](const KeywordValue &k) {
                return std::strcmp(k.keyword, rows[i]->ipp) == 0;
            }))
            out.push_back({rows[i]->ipp, rows[i]->text});
}
} // namespace

std::vector<KeywordValue> VendorValues(const VendorOption &option, const ModelInfo &model) {
    std::vector<KeywordValue> values;
    AddKeywords(values, option.descriptor->ChoicesFor(model));
    return values;
}

std::vector<KeywordValue> AllVendorValues(const VendorOption &option) {
    std::vector<KeywordValue> values;
    AddKeywords(values, option.descriptor->variantChoices);
    AddKeywords(values, option.descriptor->choices);
    return values;
}

std::span<const MediaSource> MediaSources() {
    return kSources;
}

std::span<const MediaSource> PrinterSources() {
    return std::span<const MediaSource>(kSources).first(kPrinterSources);
}

// Reads options PAPPL made for the job, plus what it leaves out: whether the job named a
// resolution, the collation, and the printer's vendor defaults.
JobTicket ReadJobTicket(pappl_job_t *job, const pappl_pr_options_t &options) {
    JobTicket t;
    t.media = options.media.size_name;
    t.source = NamedSource(job);
    if (t.source.empty()) t.source = DefaultSource(papplJobGetPrinter(job));
    t.sides = options.sides;
    t.quality = options.print_quality;
    if (papplJobGetAttribute(job, "printer-resolution") != nullptr)
        t.resolution = options.printer_resolution[0];
    t.darknessConfigured = options.darkness_configured;
    t.printDarkness = options.print_darkness;
    t.copies = std::max(1, options.copies);
    t.scaling = options.print_scaling;
    t.orientation = JobOrientation(job, options);
    t.mediaWidth = options.media.size_width;
    t.mediaLength = options.media.size_length;
    const char *handling =
        ippGetString(papplJobGetAttribute(job, "multiple-document-handling"), 0, nullptr);
    t.collate =
        handling == nullptr || std::strcmp(handling, "separate-documents-uncollated-copies") != 0;
    for (int i = 0; i < options.num_vendor; ++i)
        t.jobValues[options.vendor[i].name] = options.vendor[i].value;
    if (ipp_t *attrs = papplPrinterGetDriverAttributes(papplJobGetPrinter(job))) {
        for (const VendorOption &v : VendorOptions()) {
            const std::string name = std::string(v.attr) + "-default";
            if (ipp_attribute_t *a = ippFindAttribute(attrs, name.c_str(), IPP_TAG_ZERO)) {
                char value[256];
                ippAttributeString(a, value, sizeof value);
                t.printerDefaults[v.attr] = value;
            }
        }
        ippDelete(attrs);
    }
    t.identity.jobId = papplJobGetID(job);
    t.identity.jobIdText = std::to_string(t.identity.jobId);
    const char *user = papplJobGetUsername(job);
    const char *title = papplJobGetName(job);
    t.identity.user = user ? user : "";
    t.identity.title = title ? title : "";
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
    t.identity.host = host;
    return t;
}

int JobResolution(const ModelInfo &model, const JobTicket &t) {
    if (t.resolution == 600 || (t.resolution == 1200 && model.prints1200dpi)) return t.resolution;
    return t.quality == IPP_QUALITY_HIGH && model.prints1200dpi ? 1200 : 600;
}

// Two straight pieces meeting at the normal level, so 50 gives it whatever the levels are.
int DensityLevel(const DensityLevels &levels, int configured, int printDarkness) {
    const int d = std::clamp(configured + printDarkness, 0, 100);
    if (d <= 50) return levels.lightest + ((levels.normal - levels.lightest) * d + 25) / 50;
    return levels.normal + ((levels.darkest - levels.normal) * (d - 50) + 25) / 50;
}

// The order follows the filter's ResolveJobSettings: model, duplex texts, options, bit
// depth, page size, identity.
void FillJobSettings(JobSettings &s, const ModelInfo &model, const JobTicket &t) {
    s.modelName = model.modelName;
    ApplyModel(s, model);
    s.supportsManualDuplex = model.ManualDuplex();
    s.manualDuplexMessage = model.manualDuplexText;
    s.options = PrintOptions{};
    s.options.density = DensityLevel(model.density, t.darknessConfigured, t.printDarkness);
    for (const MediaSource &src : kSources)
        if (t.source == src.pwg) SetOption(s, "InputSlot", src.ppdChoice);
    SetOption(s, "Collate", t.collate ? "True" : "False");
    ApplyVendorOptions(s, model, t);

    // "1200 dpi Quality": the QV models tie it to the 1200-dpi raster; the others take it from
    // print-quality high.
    const bool wants1200 =
        model.dpi1200Is1200dpi ? JobResolution(model, t) == 1200 : t.quality == IPP_QUALITY_HIGH;
    if (model.Offers(kOptDpi1200)) SetOption(s, "DPI1200", wants1200 ? "True" : "False");
    ResolveBitDepth(s, s.options.quality == Quality::Dpi1200);

    const int row = PaperRowOfPwgMedia(s.paperTable, t.media);
    if (row >= 0) {
        if (const PaperMedia *media = MediaOfRow(s.paperTable[row])) {
            s.pageSizeGiven = true;
            s.pageSizeName = media->ppdName;
            s.mediaName = media->ppdName;
        }
    }
    s.maxPageWidth = model.maxWidth;
    s.maxPageHeight = model.maxLength;
    std::copy(std::begin(kCustomMargins), std::end(kCustomMargins), s.hwMargins);
    s.identity = t.identity;
}
