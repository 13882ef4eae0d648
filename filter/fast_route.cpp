#include "filter/fast_route.h"

#include <strings.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/child_process.h"

#include "common/model_catalogue.h"
#include "filter/cups_binding.h"
#include "core/page_plan.h"
#include "imaging/gs_screen.h"
#include "imaging/halftone.h"

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

// The page of the job's page size as the raster filter renders it (8-bit grey), planned as the
// job's first page; the column its lines' centred part starts at, or nothing when the page is
// not banded or its size is unknown.
std::optional<unsigned> FirstColumn(const JobSettings &s, const char *options, ppd_file_t *ppd) {
    if (ppd == nullptr) return std::nullopt;
    const std::string name =
        s.pageSizeGiven ? s.pageSizeName : ChosenValue("PageSize", options, ppd);
    const ppd_size_t *size = nullptr;
    for (int i = 0; i < ppd->num_sizes; ++i)
        if (name == ppd->sizes[i].name) size = &ppd->sizes[i];
    if (size == nullptr || size->width <= 0 || size->length <= 0) return std::nullopt;
    const unsigned dpi = RenderedResolution(s, options, ppd);
    if (dpi == 0) return std::nullopt;
    cups_page_header2_t h{};
    h.PageSize[0] = static_cast<unsigned>(size->width + 0.5f);
    h.PageSize[1] = static_cast<unsigned>(size->length + 0.5f);
    h.HWResolution[0] = h.HWResolution[1] = dpi;
    h.cupsWidth = static_cast<unsigned>(size->width * dpi / 72.0 + 0.5);
    h.cupsHeight = static_cast<unsigned>(size->length * dpi / 72.0 + 0.5);
    h.cupsBytesPerLine = h.cupsWidth;
    h.cupsBitsPerColor = h.cupsBitsPerPixel = 8;
    std::snprintf(h.cupsPageSizeName, sizeof h.cupsPageSizeName, "%s", name.c_str());
    JobPosition at;
    at.page = 1;
    at.options = &s.options;
    const PagePlan plan = PlanPage(s, h, at);
    if (!plan.banded) return std::nullopt;
    return h.cupsWidth > plan.width ? (h.cupsWidth - plan.width) / 2 : 0;
}

} // namespace

// Ghostscript's page report (-dPDFINFO, on its standard error) names each page that uses
// transparency; the report is read whole, a few lines per page.
bool UsesTransparency(const char *file) {
    if (file == nullptr || *file == '\0') return true;
    int fds[2];
    if (pipe(fds) != 0) return true;
    const char *tmp = std::getenv("TMPDIR");
    ChildProcess gs;
    const std::vector<std::string> args = {
        "/usr/bin/gs",      "-q",        "-dSAFER",   "-dNODISPLAY",
        "-dBATCH",          "-dNOPAUSE", "-dPDFINFO", std::string("--permit-file-read=") + file,
        "-sstdout=%stderr", "-f",        file};
    const int err = StartChildProcess(gs, args, tmp && *tmp ? tmp : "/tmp", fds[1]);
    close(fds[1]);
    std::string report;
    char buf[4096];
    ssize_t n;
    while (err == 0 && (n = read(fds[0], buf, sizeof buf)) != 0) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        report.append(buf, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    const int status = err == 0 ? FinishChildProcess(gs, false) : -1;
    const bool reported = status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
                          report.find("MediaBox") != std::string::npos;
    return !reported || report.find("uses transparency") != std::string::npos;
}

// Off unless asked for while a rare difference in how Ghostscript covers pixels at 1 bit is
// open (one pixel of the CUPS test page).
bool FastRouteEnabled() {
    const char *value = std::getenv("KELVRA_FAST_ROUTE");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

std::optional<FastRoute> FastRouteOf(const JobSettings &s, const char *options, ppd_file_t *ppd,
                                     bool enabled) {
    if (!enabled || TraitsOf(s.group).libraryHalftones || s.screenBits != 1 || s.twoBitPages)
        return std::nullopt;
    const ScreenSpec screen =
        ScreenOf(s.platform, s.newScreens, s.options.quality == Quality::Dpi1200);
    if (!GhostscriptHalftonesExactly(screen) || s.options.rotate180 ||
        s.options.feed == FeedEdge::Long || s.customPageRequested ||
        TwoSidedRequested(options, ppd))
        return std::nullopt;
    const std::optional<unsigned> first = FirstColumn(s, options, ppd);
    if (!first) return std::nullopt;
    const unsigned period = static_cast<unsigned>(SelectHalftoneScreen(screen.matrix).period);
    return FastRoute{screen, *first % period};
}
