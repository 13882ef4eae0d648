#include "app/pdf_filter.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <cups/raster.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/app_context.h"
#include "app/document_formats.h"
#include "app/raster_job.h"
#include "common/child_process.h"
#include "core/fast_route.h"
#include "imaging/gs_screen.h"

#ifndef KELVRA_GS_PATH
#define KELVRA_GS_PATH "/usr/bin/gs"
#endif

namespace {

constexpr unsigned kCancelCheckLines = 64; // lines between two looks at the cancel flag

// Ghostscript's page-size report: one "%%KelvraPageSize W H" line per page on standard output,
// and for a PostScript program that reads or sets the transfer function or halftone, one line
// "%%KelvraTones".
constexpr const char *kSizeTag = "%%KelvraPageSize ";
constexpr const char *kTonesTag = "%%KelvraTones";

// The report of a document: its page sizes in page order, and whether it reads or sets the
// transfer function or halftone. A program that sets them replaces the fast route's screen;
// one that reads them may fail on it (ps2write's prolog copies the halftone into global VM,
// which the screen's threshold file refuses).
struct DocumentReport {
    std::vector<std::pair<double, double>> sizes;
    bool usesTones = false;
};

// Lists each page's size without drawing it. PDF: every page's media box, with its UserUnit
// and /Rotate, as Ghostscript sizes the page ("0 0" for a page it cannot read). PostScript: the
// page device of every page the program shows, run on the null device, where the operators
// that read or set transfer functions and halftones also say that the program calls them.
std::vector<std::string> PageSizeArgs(const char *file, bool pdf, const PaperArea &paper) {
    std::vector<std::string> args = {KELVRA_GS_PATH, "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER"};
    const std::string tag = std::string("(") + kSizeTag + ") print ";
    if (pdf) {
        args.insert(args.end(), {std::string("--permit-file-read=") + file,
                                 std::string("-sKelvraFile=") + file, "-dNODISPLAY", "-c",
                                 "KelvraFile (r) file runpdfbegin 1 1 pdfpagecount { pdfgetpage "
                                 "dup null eq { pop " +
                                     tag +
                                     "(0 0) = } { 8 dict begin /d exch def "
                                     "d /MediaBox .knownget { aload pop } { 0 0 0 0 } ifelse "
                                     "/y1 exch def /x1 exch def /y0 exch def /x0 exch def "
                                     "d /UserUnit .knownget not { 1 } if /u exch def "
                                     "/w x1 x0 sub abs u mul def /h y1 y0 sub abs u mul def "
                                     "d /Rotate .knownget not { 0 } if cvi 90 idiv 2 mod 0 ne "
                                     "{ w h /w exch def /h exch def } if " +
                                     tag +
                                     "w =only ( ) print h = end } ifelse } for "
                                     "runpdfend quit"});
        return args;
    }
    std::string tones = std::string("/KelvraTones { userdict /KelvraToned known not { userdict "
                                    "/KelvraToned true put (") +
                        kTonesTag + ") = } if } bind def";
    for (const char *op : {"settransfer", "setcolortransfer", "setscreen", "setcolorscreen",
                           "sethalftone", "currenttransfer", "currentcolortransfer",
                           "currentscreen", "currentcolorscreen", "currenthalftone"})
        tones += std::string(" /") + op + " { KelvraTones //" + op + " } bind def";
    args.insert(args.end(),
                {"-sDEVICE=nullpage", "-dDEVICEWIDTHPOINTS=" + std::to_string(paper.width),
                 "-dDEVICEHEIGHTPOINTS=" + std::to_string(paper.height), "-c",
                 "<< /EndPage { exch pop dup 0 eq { " + tag +
                     "currentpagedevice /PageSize get aload pop exch =only ( ) print = } if "
                     "2 ne } bind >> setpagedevice",
                 tones, "-f", file});
    return args;
}

// Reads the report; stops early when the job is cancelled. A document the report cannot size
// (or sizes only in part) gets what was listed.
DocumentReport ReadDocument(pappl_job_t *job, const char *file, bool pdf, const PaperArea &paper,
                            const std::string &spoolDir) {
    DocumentReport report;
    std::vector<std::pair<double, double>> &sizes = report.sizes;
    const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    ChildProcess gs;
    if (StartChildProcess(gs, PageSizeArgs(file, pdf, paper), spoolDir, devNull) != 0) {
        if (devNull >= 0) close(devNull);
        return report;
    }
    std::string text;
    char buf[4096];
    bool canceled = false;
    for (;;) {
        pollfd p{gs.outFd, POLLIN, 0};
        const int ready = poll(&p, 1, 200);
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) {
            if ((canceled = papplJobIsCanceled(job))) break;
            continue;
        }
        const ssize_t n = read(gs.outFd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    FinishChildProcess(gs, canceled);
    if (devNull >= 0) close(devNull);
    for (std::size_t at = text.find(kSizeTag); at != std::string::npos;
         at = text.find(kSizeTag, at + 1)) {
        double w = 0, h = 0;
        if (std::sscanf(text.c_str() + at + std::strlen(kSizeTag), "%lf %lf", &w, &h) == 2 &&
            w > 0 && h > 0 && w < 1e6 && h < 1e6)
            sizes.emplace_back(w, h);
        else
            sizes.emplace_back(paper.width, paper.height);
    }
    report.usesTones = text.find(kTonesTag) != std::string::npos;
    return report;
}

// PostScript for a matrix.
std::string MatrixText(const std::array<double, 6> &m) {
    std::string text = "[";
    char number[32];
    for (double v : m) {
        std::snprintf(number, sizeof number, " %.4f", v);
        text += number;
    }
    return text + " ]";
}

// Places every page as the layout says: the page device's Install procedure (which survives a
// program's initgraphics) sets up the matrix of the page being started, found by the page
// device's count of pages shown so far, after running the Install procedure it replaces (the
// fast route's screen). Pages of one size share a matrix; a page the size report missed is
// placed as a page of the paper's size.
std::string PlacementProgram(const std::vector<std::pair<double, double>> &sizes,
                             unsigned firstPage, const PaperArea &paper,
                             const LayoutRequest &layout) {
    auto matrixOf = [&](double w, double h) {
        return MatrixText(PageMatrix(w, h, paper, PlacePage(w, h, paper, layout)));
    };
    std::vector<std::pair<double, double>> distinct;
    std::string indexes;
    for (std::size_t i = firstPage > 0 ? firstPage - 1 : 0; i < sizes.size(); ++i) {
        auto it = std::find(distinct.begin(), distinct.end(), sizes[i]);
        if (it == distinct.end()) {
            if (distinct.size() == 255) break;
            it = distinct.insert(distinct.end(), sizes[i]);
        }
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned>(it - distinct.begin()));
        indexes += hex;
    }
    std::string matrices;
    for (const auto &[w, h] : distinct)
        matrices += matrixOf(w, h);
    return "/KelvraPageMatrices [" + matrices + "] def /KelvraPageIndex <" + indexes +
           "> def /KelvraOtherPage " + matrixOf(paper.width, paper.height) +
           " def /KelvraFirstInstall currentpagedevice /Install get def"
           " << /Install { //KelvraFirstInstall exec"
           " currentpagedevice /PageCount get dup KelvraPageIndex length lt "
           "{ KelvraPageIndex exch get KelvraPageMatrices exch get } { pop KelvraOtherPage } "
           "ifelse concat } bind >> setpagedevice";
}

// The page Ghostscript renders for the job in 8-bit grey: the paper at `dpi`, as many dots as
// the paper's points make, rounded as Ghostscript rounds them.
cups_page_header2_t RenderedPage(const PaperArea &paper, unsigned dpi) {
    cups_page_header2_t h{};
    h.PageSize[0] = static_cast<unsigned>(std::lround(paper.width));
    h.PageSize[1] = static_cast<unsigned>(std::lround(paper.height));
    h.HWResolution[0] = h.HWResolution[1] = dpi;
    h.cupsWidth = static_cast<unsigned>(paper.width * dpi / 72.0 + 0.5);
    h.cupsHeight = static_cast<unsigned>(paper.height * dpi / 72.0 + 0.5);
    h.cupsBytesPerLine = h.cupsWidth;
    h.cupsBitsPerColor = h.cupsBitsPerPixel = 8;
    h.cupsColorSpace = CUPS_CSPACE_SW;
    return h;
}

// The converter's arguments: sGray at the job's resolution on the paper (fixed), each page
// placed by the program, from page `first` to `last`, PostScript output on standard error; 8 bits
// per pixel, or 1 bit halftoned by the `screen` statements (the fast route). The cups device
// writes uncompressed CUPS raster: its pwgraster twin compresses every line only for the job to
// expand it again, which made Ghostscript take 5.0 s instead of 3.0 s on 100 pages.
std::vector<std::string> ConverterArgs(const char *file, unsigned dpi, const PaperArea &paper,
                                       const std::vector<std::string> &screen,
                                       const std::string &placement, unsigned first,
                                       unsigned last) {
    std::vector<std::string> args = {KELVRA_GS_PATH,
                                     "-q",
                                     "-dNOPAUSE",
                                     "-dBATCH",
                                     "-dSAFER",
                                     "-sDEVICE=cups",
                                     "-dcupsColorSpace=18",
                                     screen.empty() ? "-dcupsBitsPerColor=8"
                                                    : "-dcupsBitsPerColor=1",
                                     "-r" + std::to_string(dpi),
                                     "-dDEVICEWIDTHPOINTS=" + std::to_string(paper.width),
                                     "-dDEVICEHEIGHTPOINTS=" + std::to_string(paper.height),
                                     "-dFIXEDMEDIA",
                                     "-sstdout=%stderr",
                                     "-sOutputFile=%stdout"};
    if (first > 1) args.push_back("-dFirstPage=" + std::to_string(first));
    if (last < static_cast<unsigned>(INT_MAX)) args.push_back("-dLastPage=" + std::to_string(last));
    args.push_back("-c");
    args.insert(args.end(), screen.begin(), screen.end());
    args.insert(args.end(), {placement, "-f", file});
    return args;
}

// The converter's diagnostics go to an unlinked file in the spool directory, read back for the
// job's message when it fails; -1 when none can be made (they go to the app's own then).
int OpenErrorFile(const std::string &spoolDir) {
    std::string name = spoolDir + "/kelvra-gs-err-XXXXXX";
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) unlink(name.c_str());
    return fd;
}

// A line of the converter's output as message text: at most 160 characters, bytes outside
// printable ASCII (a document's own bytes in an error) shown as '?'.
std::string Printable(std::string_view line) {
    std::string text(line.substr(0, 160));
    for (char &c : text)
        if (c < 0x20 || c > 0x7E) c = '?';
    return text;
}

// What Ghostscript said went wrong, for the job's message: its first error line (an "Error:"
// or a "****" remark of the PDF interpreter), else its last line.
std::string ErrorSummary(int fd) {
    if (fd < 0) return {};
    std::string text;
    char buf[4096];
    ssize_t n;
    off_t offset = 0;
    while (text.size() < 65536 && (n = pread(fd, buf, sizeof buf, offset)) > 0) {
        text.append(buf, static_cast<std::size_t>(n));
        offset += n;
    }
    std::string_view last;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t nl = std::min(text.find('\n', at), text.size());
        std::string_view line(text.data() + at, nl - at);
        at = nl + 1;
        const bool remark = line.find("****") != std::string_view::npos;
        line.remove_prefix(std::min(line.size(), line.find_first_not_of(" *\t")));
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.remove_suffix(1);
        if (line.empty()) continue;
        if (remark || line.find("Error") != std::string_view::npos) return Printable(line);
        last = line;
    }
    return Printable(last);
}

// Whether a PDF file lacks the end-of-file marker that ends every whole one (writers may add a
// few bytes after it).
bool PdfCutShort(const char *file) {
    const int fd = open(file, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char tail[1024];
    const off_t size = lseek(fd, 0, SEEK_END);
    const off_t from =
        size > static_cast<off_t>(sizeof tail) ? size - static_cast<off_t>(sizeof tail) : 0;
    const ssize_t n = pread(fd, tail, sizeof tail, from);
    close(fd);
    return n <= 0 || std::string_view(tail, static_cast<std::size_t>(n)).find("%%EOF") ==
                         std::string_view::npos;
}

// The screen set-up of the job's fast route, or nothing for the 8-bit route: the route must be
// allowed (`allowed`), the job must take it, a PostScript program must leave the transfer
// function and halftone alone (`usesTones`), and a PDF must use no transparency nor set them.
std::vector<std::string> FastRouteScreen(pappl_job_t *job, AppJob &appJob, const char *file,
                                         bool pdf, const PaperArea &paper, bool usesTones,
                                         bool allowed, const std::string &spoolDir) {
    if (!allowed) return {};
    const std::optional<FastRoute> route =
        appJob.FastRouteFor(RenderedPage(paper, appJob.Resolution()));
    if (!route) return {};
    if (usesTones) {
        papplLogJob(job, PAPPL_LOGLEVEL_DEBUG,
                    "The document reads or sets the transfer function or halftone: its pages are "
                    "halftoned by the driver.");
        return {};
    }
    if (const char *keep = pdf ? PdfKeepsEightBitRoute(file, spoolDir) : nullptr) {
        papplLogJob(job, PAPPL_LOGLEVEL_DEBUG,
                    "The document %s: its pages are halftoned by the driver.", keep);
        return {};
    }
    std::vector<std::string> screen = GhostscriptScreenSetup(route->screen, route->shift);
    if (screen.empty()) return {};
    appJob.TakeScreenedPages(*route);
    papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Ghostscript halftones the pages with the job's screen.");
    return screen;
}

} // namespace

// A page whose lines stop early is completed white, so the printer still gets whole pages.
RasterEnd PrintRasterPages(pappl_job_t *job, AppJob &appJob, cups_raster_t *ras, unsigned first,
                           unsigned last) {
    cups_page_header2_t header;
    std::vector<uint8_t> line;
    for (unsigned page = 1; cupsRasterReadHeader2(ras, &header); ++page) {
        if (papplJobIsCanceled(job)) return RasterEnd::Stopped;
        const bool print = page >= first && page <= last;
        if (print && !appJob.StartPage(header)) return RasterEnd::Stopped;
        line.resize(header.cupsBytesPerLine ? header.cupsBytesPerLine : 1);
        bool cut = false;
        for (unsigned y = 0; y < header.cupsHeight && !cut; ++y) {
            if (y % kCancelCheckLines == 0 && papplJobIsCanceled(job)) break;
            cut = cupsRasterReadPixels(ras, line.data(), header.cupsBytesPerLine) == 0;
            if (print && !cut) appJob.WriteLine(line.data());
        }
        if (!print) {
            if (cut) return RasterEnd::CutShort;
            continue;
        }
        const bool more = appJob.EndPage();
        papplJobSetImpressionsCompleted(job, 1);
        if (!more || papplJobIsCanceled(job)) return RasterEnd::Stopped;
        if (cut) return RasterEnd::CutShort;
    }
    return RasterEnd::Whole;
}

// Drives the job's raster steps itself: start, every rendered page, end.
bool PrintPdfOrPostScript(pappl_job_t *job, pappl_device_t *device, const AppContext &app,
                          bool pdf) {
    const char *file = papplJobGetFilename(job);
    if (file == nullptr) return EndJobWithoutDocument(job);
    pappl_pr_options_t *options = papplJobCreatePrintOptions(job, 0, false);
    if (options == nullptr) return false;
    if (!RasterStartJob(job, options, device)) {
        papplJobDeletePrintOptions(options);
        return false;
    }
    auto *appJob = static_cast<AppJob *>(papplJobGetData(job));
    const PaperArea paper = appJob->Paper();
    const DocumentReport document = ReadDocument(job, file, pdf, paper, app.spoolDir);
    // Ghostscript selects the pages of a PDF; of a PostScript program it may show none at all
    // (ps2write's output with -dFirstPage=2), so the job drops the pages outside the range.
    const unsigned first = pdf ? options->first_page : 1;
    const unsigned last = pdf ? options->last_page : static_cast<unsigned>(INT_MAX);
    const std::vector<std::string> screen = FastRouteScreen(
        job, *appJob, file, pdf, paper, document.usesTones, app.fastRoute, app.spoolDir);
    const std::vector<std::string> args = ConverterArgs(
        file, appJob->Resolution(), paper, screen,
        PlacementProgram(document.sizes, first, paper, appJob->Layout()), first, last);

    ChildProcess conv;
    const int errFd = OpenErrorFile(app.spoolDir);
    std::string why;
    RasterEnd end = RasterEnd::Whole; // no raster at all: Ghostscript made no page
    if (const int err = StartChildProcess(conv, args, app.spoolDir, errFd); err != 0) {
        why = "cannot start " + args[0] + ": " + std::strerror(err);
    } else if (cups_raster_t *ras = cupsRasterOpen(conv.outFd, CUPS_RASTER_READ)) {
        // A page cut short means Ghostscript stopped: its exit status says why.
        end = PrintRasterPages(job, *appJob, ras, pdf ? 1 : options->first_page,
                               pdf ? UINT_MAX : options->last_page);
        cupsRasterClose(ras);
    }
    const bool canceled = papplJobIsCanceled(job);
    const int status = FinishChildProcess(conv, end == RasterEnd::Stopped || canceled);
    const std::string diagnosis = ErrorSummary(errFd);
    if (errFd >= 0) close(errFd);

    // The pages ended with the converter's output: it must have succeeded, and made a page,
    // for the job to be whole; a PDF without its end is cut short even where Ghostscript could
    // make pages of what came. Pages made before a failure are printed, with their job end.
    const bool exited = why.empty() && status != -1 && WIFEXITED(status);
    std::string message;
    if (canceled || end == RasterEnd::Stopped) {
        // cancelled, or the job stopped and its message says why
    } else if (exited && WEXITSTATUS(status) == 0 && pdf && PdfCutShort(file)) {
        message = "The PDF document is cut short (its end is missing)";
    } else if (!exited || WEXITSTATUS(status) != 0 ||
               (appJob->Pages() == 0 && !diagnosis.empty())) {
        message = "The document could not be converted";
        if (!why.empty())
            message += ": " + why;
        else if (exited && WEXITSTATUS(status) != 0)
            message += " (Ghostscript exit status " + std::to_string(WEXITSTATUS(status)) + ")";
        else if (status != -1 && WIFSIGNALED(status))
            message += " (Ghostscript killed by signal " + std::to_string(WTERMSIG(status)) + ")";
        if (!diagnosis.empty()) message += ": " + diagnosis;
    }
    if (!message.empty()) appJob->Abort(message.c_str());
    const bool ok = RasterEndJob(job, options, device);
    papplJobDeletePrintOptions(options);
    return ok;
}

bool PdfFilter(pappl_job_t *job, pappl_device_t *device, void *data) {
    const char *format = papplJobGetFormat(job);
    return PrintPdfOrPostScript(job, device, *static_cast<const AppContext *>(data),
                                format == nullptr ||
                                    std::strcmp(format, "application/postscript") != 0);
}
