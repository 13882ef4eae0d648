#include "filter/fast_route.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "filter/cups_binding.h"

namespace {

// Whether the job asks for two-sided printing, by its options or the queue's Duplex default.
bool TwoSidedRequested(const char *options, ppd_file_t *ppd) {
    const char *duplex = nullptr, *sides = nullptr;
    cups_option_t *list = nullptr;
    int count = 0;
    if (options != nullptr && pfcupsParseOptions != nullptr && pfcupsGetOption != nullptr) {
        count = pfcupsParseOptions(options, 0, &list);
        duplex = pfcupsGetOption("Duplex", count, list);
        sides = pfcupsGetOption("sides", count, list);
    }
    bool twoSided;
    if (duplex != nullptr)
        twoSided = strcasecmp(duplex, "None") != 0 && strcasecmp(duplex, "False") != 0;
    else if (sides != nullptr)
        twoSided = strcasecmp(sides, "one-sided") != 0;
    else {
        ppd_option_t *o = ppd && pfppdFindOption ? pfppdFindOption(ppd, "Duplex") : nullptr;
        twoSided = o != nullptr && strcasecmp(o->defchoice, "None") != 0 &&
                   strcasecmp(o->defchoice, "False") != 0;
    }
    if (list != nullptr && pfcupsFreeOptions != nullptr) pfcupsFreeOptions(count, list);
    return twoSided;
}

// A choice of the job's options, or else the PPD's default choice of that option.
std::string ChosenValue(const char *keyword, const char *options, ppd_file_t *ppd) {
    std::string value;
    cups_option_t *list = nullptr;
    int count = 0;
    if (options != nullptr && pfcupsParseOptions != nullptr && pfcupsGetOption != nullptr) {
        count = pfcupsParseOptions(options, 0, &list);
        if (const char *v = pfcupsGetOption(keyword, count, list)) value = v;
    }
    if (list != nullptr && pfcupsFreeOptions != nullptr) pfcupsFreeOptions(count, list);
    if (value.empty() && ppd != nullptr && pfppdFindOption != nullptr)
        if (ppd_option_t *o = pfppdFindOption(ppd, keyword)) value = o->defchoice;
    return value;
}

// The resolution the raster filter renders at: the Resolution choice ("600dpi"), else the one
// the job's settings print at; 0 for one the printers do not take.
unsigned RenderedResolution(const JobSettings &s, const char *options, ppd_file_t *ppd) {
    const std::string choice = ChosenValue("Resolution", options, ppd);
    if (choice.empty()) return s.options.quality == Quality::Dpi1200 ? 1200 : 600;
    const unsigned long dpi = std::strtoul(choice.c_str(), nullptr, 10);
    return dpi == 600 || dpi == 1200 ? static_cast<unsigned>(dpi) : 0;
}

// The job's page size as the raster filter renders it (8-bit grey): the size's imageable area
// (the raster filter gives Ghostscript the margins), or nothing when its size or resolution is
// unknown.
std::optional<cups_page_header2_t> RenderedPage(const JobSettings &s, const char *options,
                                                ppd_file_t *ppd) {
    if (ppd == nullptr) return std::nullopt;
    const std::string name =
        s.pageSizeGiven ? s.pageSizeName : ChosenValue("PageSize", options, ppd);
    const ppd_size_t *size = nullptr;
    for (int i = 0; i < ppd->num_sizes; ++i)
        if (name == ppd->sizes[i].name) size = &ppd->sizes[i];
    if (size == nullptr || size->right - size->left <= 0 || size->top - size->bottom <= 0)
        return std::nullopt;
    const unsigned dpi = RenderedResolution(s, options, ppd);
    if (dpi == 0) return std::nullopt;
    cups_page_header2_t h{};
    h.PageSize[0] = static_cast<unsigned>(size->width + 0.5f);
    h.PageSize[1] = static_cast<unsigned>(size->length + 0.5f);
    h.HWResolution[0] = h.HWResolution[1] = dpi;
    h.cupsWidth = static_cast<unsigned>((size->right - size->left) * dpi / 72.0 + 0.5);
    h.cupsHeight = static_cast<unsigned>((size->top - size->bottom) * dpi / 72.0 + 0.5);
    h.cupsBytesPerLine = h.cupsWidth;
    h.cupsBitsPerColor = h.cupsBitsPerPixel = 8;
    std::snprintf(h.cupsPageSizeName, sizeof h.cupsPageSizeName, "%s", name.c_str());
    return h;
}

} // namespace

// On unless KELVRA_FAST_ROUTE=0 asks for the 8-bit route (to compare the two on one job).
bool FastRouteEnabled() {
    const char *value = std::getenv("KELVRA_FAST_ROUTE");
    return value == nullptr || std::strcmp(value, "0") != 0;
}

std::optional<FastRoute> FastRouteOf(const JobSettings &s, const char *options, ppd_file_t *ppd,
                                     bool enabled) {
    if (!enabled) return std::nullopt;
    const std::optional<cups_page_header2_t> page = RenderedPage(s, options, ppd);
    if (!page) return std::nullopt;
    return FastRouteFor(s, *page, TwoSidedRequested(options, ppd));
}
