#include "core/fast_route.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "common/child_process.h"

#include "common/model_catalogue.h"
#include "core/page_plan.h"
#include "imaging/gs_screen.h"
#include "imaging/halftone.h"

std::optional<FastRoute> FastRouteFor(const JobSettings &s, const cups_page_header2_t &page,
                                      bool twoSided) {
    if (TraitsOf(s.group).libraryHalftones || s.screenBits != 1 || s.twoBitPages)
        return std::nullopt;
    const ScreenSpec screen =
        ScreenOf(s.platform, s.newScreens, s.options.quality == Quality::Dpi1200);
    if (!GhostscriptHalftonesExactly(screen) || s.options.rotate180 ||
        s.options.feed == FeedEdge::Long || s.customPageRequested || twoSided)
        return std::nullopt;
    // The driver centres the lines of a page narrower than the rendered one: the screen takes
    // the phase of the first column it keeps.
    JobPosition at;
    at.page = 1;
    at.options = &s.options;
    const PagePlan plan = PlanPage(s, page, at);
    if (!plan.banded) return std::nullopt;
    const unsigned first = page.cupsWidth > plan.width ? (page.cupsWidth - plan.width) / 2 : 0;
    const unsigned period = static_cast<unsigned>(SelectHalftoneScreen(screen.matrix).period);
    return FastRoute{screen, first % period};
}

// Ghostscript's page report (-dPDFINFO, on its standard error) names each page that uses
// transparency; the report is read whole, a few lines per page.
bool UsesTransparency(const char *file, const std::string &tmpRoot) {
    if (file == nullptr || *file == '\0') return true;
    int fds[2];
    if (pipe(fds) != 0) return true;
    ChildProcess gs;
    const std::vector<std::string> args = {
        "/usr/bin/gs",      "-q",        "-dSAFER",   "-dNODISPLAY",
        "-dBATCH",          "-dNOPAUSE", "-dPDFINFO", std::string("--permit-file-read=") + file,
        "-sstdout=%stderr", "-f",        file};
    const int err = StartChildProcess(gs, args, tmpRoot, fds[1]);
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
