// The job's settings as CUPS gives them to a filter: the queue's PPD (model, dialect keyword,
// manual-duplex support, defaults, page limits), the job's arguments and the host.
#include "filter/cups_settings.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>
#include <unistd.h>

#include "common/model_catalogue.h"
#include "filter/cups_binding.h"
#include "filter/locked_print.h"
#include "filter/options.h"
#include "filter/queue_options.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

// Reads one "cupsIPPReason" text of the PPD; empty when the PPD has no such entry.
std::string PPDReason(ppd_file_t *ppd, const char *key) {
    char buf[1024] = {};
    if (pfppdLocalizeIPPReason(ppd, key, nullptr, buf, sizeof buf) == nullptr) return {};
    return buf;
}

// A page-size limit in whole points; 0 when CUPS reports no usable (positive, finite) value.
unsigned WholePoints(float v) {
    if (!(v > 0.0f) || !std::isfinite(v)) return 0;
    if (v >= static_cast<float>(UINT_MAX)) return UINT_MAX;
    return static_cast<unsigned>(v);
}

bool Contains(const char *haystack, const char *needle) {
    return haystack && strcasestr(haystack, needle) != nullptr;
}

// The model's settings from the model catalogue; a model the catalogue does not list names its
// dialect in the PPD ("PlatForm").
void ApplyModelRules(JobSettings &s, ppd_file_t *ppd) {
    if (const ModelInfo *model = FindModel(s.modelName)) {
        ApplyModel(s, *model);
        return;
    }
    const std::string keyword = PPDReason(ppd, "PlatForm");
    if (!keyword.empty())
        GetPaperSizeArrayByPlatformName(keyword.c_str(), &s.platform, &s.paperTable);
}

// The print options from the job's options with the queue's defaults. The page size named by
// the job itself (not the queue's default) picks the row an oversized page takes.
void ResolvePrintOptions(JobSettings &s, const QueueOptions &options, const char *jobOptions) {
    s.options = PrintOptions{};
    GetFunctionValue(s.options, options.count, options.options, nullptr);
    cups_option_t *job = nullptr;
    const int count = pfcupsParseOptions(jobOptions, 0, &job);
    if (const char *pageSize = pfcupsGetOption("PageSize", count, job)) {
        s.pageSizeGiven = true;
        s.pageSizeName = pageSize;
    }
    pfcupsFreeOptions(count, job);
}

// The page-size requests of the options and the printer's limits from the PPD.
void ResolvePageSizes(JobSettings &s, char **argv, ppd_file_t *ppd, const char *osInfo) {
    const char *options = argv[5];
    s.customPageRequested = Contains(options, "PageSize=Custom");
    s.documentNameSupplied = Contains(options, "document-name-supplied");
    s.customSizeParsed =
        GetCustomSize(options, &s.customWidth, &s.customHeight, Contains(osInfo, "astra"));
    char medianame[kMediaNameSize] = {};
    Getmediasizename(argv, medianame, sizeof medianame);
    s.mediaName = medianame;
    ppd_size_t minimum, maximum;
    if (ppdPageSizeLimits(ppd, &minimum, &maximum) == 1) {
        s.maxPageWidth = WholePoints(maximum.width);
        s.maxPageHeight = WholePoints(maximum.length);
    }
    std::copy(ppd->custom_margins, ppd->custom_margins + 4, s.hwMargins);
}

// Who sent the job: its id as a number (out-of-range text is clamped rather than undefined),
// user, title and this host's name.
void ResolveIdentity(JobIdentity &id, char **argv) {
    const long long jobId = std::strtoll(argv[1], nullptr, 10);
    id.jobId = static_cast<int>(std::clamp<long long>(jobId, INT_MIN, INT_MAX));
    id.jobIdText = argv[1];
    id.user = argv[2];
    id.title = argv[3];
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
    id.host = host;
}

} // namespace

// A custom size the job asks for must be one the printer takes: within the PPD's smallest and
// largest page size. False, with an "ERROR:" line, when it is not.
bool CheckCustomSize(const char *jobOptions, const JobSettings &s, ppd_file_t *ppd,
                     std::FILE *log) {
    double width = 0, height = 0;
    std::string text;
    const CustomSize request = CustomPageSizePoints(jobOptions, width, height, text);
    if (request == CustomSize::None) return true;
    if (request == CustomSize::Unreadable) {
        std::fprintf(log,
                     "WARNING: The custom page size \"%s\" cannot be read; the page is "
                     "printed at the size it was rendered\n",
                     text.c_str());
        return true;
    }
    ppd_size_t minimum, maximum;
    if (ppdPageSizeLimits(ppd, &minimum, &maximum) != 1) return true;
    // Half a point of slack: sizes given in millimetres or inches are rounded to points.
    if (width + 0.5 < minimum.width || height + 0.5 < minimum.length ||
        width - 0.5 > maximum.width || height - 0.5 > maximum.length) {
        std::fprintf(log,
                     "ERROR: The custom page size %s (%.0f x %.0f points) is outside the sizes "
                     "the %s takes (%.0f x %.0f to %.0f x %.0f points)\n",
                     text.c_str(), width, height, s.modelName.c_str(), minimum.width,
                     minimum.length, maximum.width, maximum.length);
        return false;
    }
    return true;
}

bool ResolveJobSettings(JobSettings &s, char **argv, ppd_file_t *ppd, const char *osInfo,
                        std::FILE *log) {
    s.modelName = ppd->modelname;
    ApplyModelRules(s, ppd);
    s.supportsManualDuplex = strcasecmp(PPDReason(ppd, "SupportManualDuplex").c_str(), "TRUE") == 0;
    s.manualDuplexMessage = PPDReason(ppd, "MDuplex");
    const QueueOptions options(argv[5], ppd, log);
    ResolvePrintOptions(s, options, argv[5]);
    ResolveBitDepth(s, is1200dpiprint(options) == 2);
    ResolvePageSizes(s, argv, ppd, osInfo);
    ResolveIdentity(s.identity, argv);
    if (TraitsOf(s.group).lockedPrint) {
        char pin[256] = {};
        s.lockedPrint = ispinPrint(options, pin, sizeof pin);
        s.pin = pin;
    }
    return CheckCustomSize(argv[5], s, ppd, log);
}
