#include "app/pdf_filter.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include <cups/raster.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/app_context.h"
#include "app/raster_job.h"
#include "common/child_process.h"

#ifndef KELVRA_GS_PATH
#define KELVRA_GS_PATH "/usr/bin/gs"
#endif

namespace {

constexpr unsigned kCancelCheckLines = 64; // lines between two looks at the cancel flag

// The page size Ghostscript renders: the job's paper-table row, else the media's own size.
void PageSizePoints(const AppJob &job, const pappl_pr_options_t &options, int &w, int &h) {
    if (const PAPER_SIZE_INFO *row = job.PaperRow()) {
        w = row->cupsPaperW;
        h = row->cupsPaperH;
    } else {
        w = (options.media.size_width * 72 + 1270) / 2540;
        h = (options.media.size_length * 72 + 1270) / 2540;
    }
}

// The converter's arguments: 8-bit sGray at the job's resolution on a fixed page, the document
// fitted to it, only the pages of page-ranges, PostScript output on standard error. The cups
// device writes uncompressed CUPS raster: its pwgraster twin compresses every line only for
// the job to expand it again, which made Ghostscript take 5.0 s instead of 3.0 s on 100 pages.
std::vector<std::string> ConverterArgs(const char *file, bool pdf, unsigned dpi, int w, int h,
                                       const pappl_pr_options_t &options) {
    std::vector<std::string> args = {KELVRA_GS_PATH,
                                     "-q",
                                     "-dNOPAUSE",
                                     "-dBATCH",
                                     "-dSAFER",
                                     "-sDEVICE=cups",
                                     "-dcupsColorSpace=18",
                                     "-dcupsBitsPerColor=8",
                                     "-r" + std::to_string(dpi),
                                     "-dDEVICEWIDTHPOINTS=" + std::to_string(w),
                                     "-dDEVICEHEIGHTPOINTS=" + std::to_string(h),
                                     "-dFIXEDMEDIA",
                                     pdf ? "-dPDFFitPage" : "-dFitPage",
                                     "-sstdout=%stderr",
                                     "-sOutputFile=%stdout"};
    if (options.first_page > 1) args.push_back("-dFirstPage=" + std::to_string(options.first_page));
    if (options.last_page < static_cast<unsigned>(INT_MAX))
        args.push_back("-dLastPage=" + std::to_string(options.last_page));
    args.push_back("-f");
    args.push_back(file);
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

// The last line Ghostscript wrote on standard error, for the job's message.
std::string LastErrorLine(int fd) {
    if (fd < 0) return {};
    std::string text;
    char buf[4096];
    ssize_t n;
    off_t offset = 0;
    while ((n = pread(fd, buf, sizeof buf, offset)) > 0) {
        text.append(buf, static_cast<std::size_t>(n));
        offset += n;
        if (text.size() > 65536) text.erase(0, text.size() - 4096);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    const std::size_t nl = text.find_last_of('\n');
    return nl == std::string::npos ? text : text.substr(nl + 1);
}

// Reads the pages of the raster stream into the job until it ends, the job stops or is
// cancelled; false when the job stopped.
bool PrintPages(pappl_job_t *job, AppJob &appJob, cups_raster_t *ras) {
    cups_page_header2_t header;
    std::vector<uint8_t> line;
    while (cupsRasterReadHeader2(ras, &header)) {
        if (papplJobIsCanceled(job)) return false;
        if (!appJob.StartPage(header)) return false;
        line.resize(header.cupsBytesPerLine ? header.cupsBytesPerLine : 1);
        for (unsigned y = 0; y < header.cupsHeight; ++y) {
            if (y % kCancelCheckLines == 0 && papplJobIsCanceled(job)) break;
            if (cupsRasterReadPixels(ras, line.data(), header.cupsBytesPerLine) == 0) break;
            appJob.WriteLine(line.data());
        }
        const bool more = appJob.EndPage();
        papplJobSetImpressionsCompleted(job, 1);
        if (!more || papplJobIsCanceled(job)) return false;
    }
    return true;
}

} // namespace

// Drives the job's raster steps itself: start, every rendered page, end.
bool PdfFilter(pappl_job_t *job, pappl_device_t *device, void *data) {
    auto *app = static_cast<AppContext *>(data);
    // PAPPL 1.3 still starts a job that was cancelled between being picked from the queue and
    // being started: its document is already removed and its state is "processing" again.
    // Cancelled once more it ends as cancelled; nothing reaches the printer.
    const char *file = papplJobGetFilename(job);
    if (file == nullptr) {
        papplLogJob(job, PAPPL_LOGLEVEL_INFO, "No document: the job was cancelled before it ran.");
        papplJobCancel(job);
        return true;
    }
    pappl_pr_options_t *options = papplJobCreatePrintOptions(job, 0, false);
    if (options == nullptr) return false;
    if (!RasterStartJob(job, options, device)) {
        papplJobDeletePrintOptions(options);
        return false;
    }
    auto *appJob = static_cast<AppJob *>(papplJobGetData(job));
    const char *format = papplJobGetFormat(job);
    const bool pdf = format == nullptr || std::strcmp(format, "application/postscript") != 0;
    int w = 0, h = 0;
    PageSizePoints(*appJob, *options, w, h);
    const std::vector<std::string> args =
        ConverterArgs(file, pdf, appJob->Resolution(), w, h, *options);

    ChildProcess conv;
    const int errFd = OpenErrorFile(app->spoolDir);
    std::string why;
    bool whole = false;
    if (const int err = StartChildProcess(conv, args, app->spoolDir, errFd); err != 0) {
        why = "cannot start " + args[0] + ": " + std::strerror(err);
    } else if (cups_raster_t *ras = cupsRasterOpen(conv.outFd, CUPS_RASTER_READ)) {
        whole = PrintPages(job, *appJob, ras);
        cupsRasterClose(ras);
    }
    const bool canceled = papplJobIsCanceled(job);
    const int status = FinishChildProcess(conv, !whole || canceled);
    const std::string lastError = LastErrorLine(errFd);
    if (errFd >= 0) close(errFd);
    bool ok = RasterEndJob(job, options, device);
    papplJobDeletePrintOptions(options);
    if (canceled) return ok;
    if (why.empty() && !whole) return false; // the job stopped; its message says why

    // The pages ended with the converter's output: it must have succeeded for the job to be
    // whole. Pages it made before failing are printed, with their job end.
    if (why.empty() && status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0) return ok;
    std::string message = "The document could not be converted";
    if (!why.empty())
        message += ": " + why;
    else if (status != -1 && WIFEXITED(status))
        message += " (Ghostscript exit status " + std::to_string(WEXITSTATUS(status)) + ")";
    else if (status != -1 && WIFSIGNALED(status))
        message += " (Ghostscript killed by signal " + std::to_string(WTERMSIG(status)) + ")";
    if (!lastError.empty()) message += ": " + lastError;
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", message.c_str());
    papplJobSetMessage(job, "%s", message.c_str());
    return false;
}
