#include "app/pdf_filter.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <cups/raster.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/app_context.h"
#include "app/raster_job.h"

#ifndef KELVRA_GS_PATH
#define KELVRA_GS_PATH "/usr/bin/gs"
#endif

extern char **environ;

namespace {

constexpr unsigned kCancelCheckLines = 64; // lines between two looks at the cancel flag

// The running converter: its process group, the read end of its raster output, its
// diagnostics (an unlinked file) and its private temporary directory.
struct Converter {
    pid_t pid = -1;
    int rasterFd = -1;
    int errFd = -1;
    std::string workDir;
};

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
// fitted to it, only the pages of page-ranges, PostScript output on standard error.
std::vector<std::string> ConverterArgs(const char *file, bool pdf, unsigned dpi, int w, int h,
                                       const pappl_pr_options_t &options) {
    std::vector<std::string> args = {KELVRA_GS_PATH,
                                     "-q",
                                     "-dNOPAUSE",
                                     "-dBATCH",
                                     "-dSAFER",
                                     "-sDEVICE=pwgraster",
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

// Starts Ghostscript in a process group of its own (a cancelled job stops it with everything it
// started), with no shell, standard input /dev/null, standard output the raster pipe and
// TMPDIR its own directory. False with `why` when it cannot be started.
bool StartConverter(Converter &c, const std::vector<std::string> &args, const std::string &spoolDir,
                    std::string &why) {
    std::string pattern = spoolDir + "/kelvra-gs-XXXXXX";
    std::vector<char> dir(pattern.begin(), pattern.end());
    dir.push_back('\0');
    if (mkdtemp(dir.data()) != nullptr) c.workDir = dir.data();
    std::string errPattern = spoolDir + "/kelvra-gs-err-XXXXXX";
    std::vector<char> errName(errPattern.begin(), errPattern.end());
    errName.push_back('\0');
    c.errFd = mkostemp(errName.data(), O_CLOEXEC);
    if (c.errFd >= 0) unlink(errName.data());
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        why = std::string("cannot create a pipe: ") + std::strerror(errno);
        return false;
    }
    std::vector<std::string> env;
    for (char **e = environ; e && *e; ++e)
        if (std::strncmp(*e, "TMPDIR=", 7) != 0) env.emplace_back(*e);
    if (!c.workDir.empty()) env.push_back("TMPDIR=" + c.workDir);
    std::vector<char *> argv, envp;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    for (const std::string &e : env)
        envp.push_back(const_cast<char *>(e.c_str()));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    if (c.errFd >= 0) posix_spawn_file_actions_adddup2(&actions, c.errFd, STDERR_FILENO);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGTERM);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF |
                                        POSIX_SPAWN_SETSIGMASK);
    posix_spawnattr_setpgroup(&attr, 0);
    const int err = posix_spawn(&c.pid, argv[0], &actions, &attr, argv.data(), envp.data());
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (err != 0) {
        close(fds[0]);
        c.pid = -1;
        why = std::string("cannot start ") + argv[0] + ": " + std::strerror(err);
        return false;
    }
    c.rasterFd = fds[0];
    return true;
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

// Ends the converter (its whole group when the job stopped early) and cleans up after it.
// Returns its wait status, or -1 when it was never started or was lost.
int FinishConverter(Converter &c, bool stop) {
    if (c.rasterFd >= 0) close(c.rasterFd); // a converter still writing gets EPIPE
    c.rasterFd = -1;
    int status = -1;
    if (c.pid > 0) {
        if (stop) kill(-c.pid, SIGTERM);
        while (waitpid(c.pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (stop) kill(-c.pid, SIGKILL); // anything of the group still running
        c.pid = -1;
    }
    std::error_code ec;
    if (!c.workDir.empty()) std::filesystem::remove_all(c.workDir, ec);
    return status;
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
        ConverterArgs(papplJobGetFilename(job), pdf, appJob->Resolution(), w, h, *options);

    Converter conv;
    std::string why;
    bool whole = false;
    if (StartConverter(conv, args, app->spoolDir, why)) {
        if (cups_raster_t *ras = cupsRasterOpen(conv.rasterFd, CUPS_RASTER_READ)) {
            whole = PrintPages(job, *appJob, ras);
            cupsRasterClose(ras);
        }
    }
    const bool canceled = papplJobIsCanceled(job);
    const int status = FinishConverter(conv, !whole || canceled);
    const std::string lastError = LastErrorLine(conv.errFd);
    if (conv.errFd >= 0) close(conv.errFd);
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
