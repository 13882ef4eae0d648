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

// The option table from the job's options; on platform Z the options the job does not name
// take the queue's defaults first.
void ResolveOptionTable(JobSettings &s, const char *jobOptions, ppd_file_t *ppd) {
    std::memcpy(s.options, gDefaultPrntFuncInfo, sizeof s.options);
    std::string text = jobOptions;
    if (s.platform == PLATFORM_Z) {
        std::vector<char> parameters(kOptionParametersSize, '\0');
        std::snprintf(parameters.data(), parameters.size(), "%s", jobOptions);
        checkOptionKey(parameters.data(), jobOptions, ppd);
        text = parameters.data();
    }
    cups_option_t *options = nullptr;
    const int count = pfcupsParseOptions(text.c_str(), 0, &options);
    GetFunctionValue(s.options, count, options, nullptr);
    s.feedLongEdgeGiven = pfcupsGetOption("FeedLongEdge", count, options) != nullptr;
    if (const char *pageSize = pfcupsGetOption("PageSize", count, options)) {
        s.pageSizeGiven = true;
        s.pageSizeName = pageSize;
    }
    pfcupsFreeOptions(count, options);
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

void ResolveJobSettings(JobSettings &s, char **argv, ppd_file_t *ppd, const char *osInfo) {
    s.modelName = ppd->modelname;
    ApplyModelRules(s, ppd);
    s.supportsManualDuplex = strcasecmp(PPDReason(ppd, "SupportManualDuplex").c_str(), "TRUE") == 0;
    s.manualDuplexMessage = PPDReason(ppd, "MDuplex");
    s.blankSuppress = isBlankSuppress(argv[5], ppd);
    ResolveOptionTable(s, argv[5], ppd);
    ResolveBitDepth(s, is1200dpiprint(argv[5], ppd) == 2);
    ResolvePageSizes(s, argv, ppd, osInfo);
    ResolveIdentity(s.identity, argv);
    if (s.group == ModelGroup::QV) {
        char pin[256] = {};
        s.lockedPrint = ispinPrint(argv[5], pin, sizeof pin, ppd);
        s.pin = pin;
    }
}
