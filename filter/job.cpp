#include "filter/job.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "common/model_catalogue.h"
#include "common/sink.h"
#include "core/print_job.h"
#include "filter/cups_binding.h"
#include "filter/cups_settings.h"
#include "filter/fast_route.h"
#include "filter/input_prep.h"
#include "filter/options.h"
#include "filter/signals.h"
#include "filter/tempfile.h"
#include "prnt/dialect.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

// The printer stream of the filter: standard output. While the stream is between commands the
// keep-alive may write to it; it runs from the job's first command on, on the dialects that
// take it.
class StdoutWriter : public StreamWriter {
  public:
    explicit StdoutWriter(bool keepAlive) : keepAlive_(keepAlive) {}
    int Write(const uint8_t *data, std::size_t count) override {
        if (keepAlive_) {
            StartKeepAlive();
            keepAlive_ = false;
        }
        return WriteAllToFd(STDOUT_FILENO, data, count);
    }
    void SetBetweenCommands(bool between) override { g_ismiddlepage = between ? 0 : 1; }

  private:
    bool keepAlive_;
};

// Spool files in the spooler's temporary directory, registered so that every way out of the
// filter removes them.
class TempSpoolFiles : public SpoolFiles {
  public:
    int Create(std::string &name) override {
        char path[kTempPathSize] = {};
        const int fd = pfcupsTempFd(path, sizeof path);
        name = path;
        if (fd < 0) return -1;
        RegisterTempFile(path);
        names_[fd] = path;
        return fd;
    }
    void Remove(int fd) override {
        close(fd);
        const auto it = names_.find(fd);
        if (it == names_.end()) return;
        RemoveTempFile(it->second.c_str());
        names_.erase(it);
    }

  private:
    std::map<int, std::string> names_;
};

// What the filter holds for its job besides the job itself.
struct FilterRun {
    int argc = 0;
    char **argv = nullptr;
    ppd_file_t *ppd = nullptr;
    cups_raster_t *ras = nullptr;
    int fd = 0;
    bool inputIsPdf = false;
    char filename[kInputFileNameSize] = {};
    char os_info[kOsInfoSize] = {};
    PdfConversion pdf;
    int deviceCopy = -1;
    JobSettings settings;
    bool fastRoute = true;         // KELVRA_FAST_ROUTE=0 keeps PDF pages on the 8-bit route
    std::optional<FastRoute> fast; // how Ghostscript halftones this job's pages, if it does
};

// Ends the PDF conversion of a PDF job (stopping the converter when the job stopped early)
// and says whether it succeeded; a raster job has none.
bool FinishConversion(FilterRun &run, bool stop, bool cancelled, bool sawPage) {
    if (!run.inputIsPdf || run.pdf.child.pid <= 0) return true;
    SetConverterGroup(0);
    if (run.fd == run.pdf.child.outFd) run.fd = 0;
    return FinishPdfConversion(run.pdf, stop, cancelled, sawPage);
}

// Opens the PPD named by the environment; the filter cannot pick a dialect without its model
// name, so a missing or broken PPD ends the job.
bool OpenPPD(FilterRun &run) {
    const char *path = std::getenv("PPD");
    if (path == nullptr || *path == '\0') {
        std::fputs("ERROR: The PPD environment variable is not set\n", stderr);
        return false;
    }
    run.ppd = pfppdOpenFile(path);
    if (run.ppd == nullptr) {
        std::fprintf(stderr, "ERROR: Unable to open the PPD file %s\n", path);
        return false;
    }
    if (run.ppd->modelname == nullptr || run.ppd->modelname[0] == '\0') {
        std::fprintf(stderr, "ERROR: The PPD file %s has no model name\n", path);
        return false;
    }
    return true;
}

// Start-up up to the job loop; returns an exit code when the job cannot go on, else -1.
int StartUp(FilterRun &run) {
    std::setlocale(LC_ALL, "");
    InitCUPSIMAGEDLL();
    InitCUPSDLL();
    InitCMSDLL();
    g_ismiddlepage = 1;
    setbuf(stderr, nullptr);

    if (run.argc < 6 || run.argc > 7) {
        std::fputs("ERROR: job-id user title copies options [file]\n", stderr);
        return 1;
    }
    // The cancel handler comes before the input is read: a SIGTERM while a PDF is copied from
    // standard input must stop the copy and remove it, not kill the filter and leave it.
    Canceled = 0;
    InstallJobSignals();
    run.inputIsPdf = FinalContentTypeIsPDF();
    run.fastRoute = FastRouteEnabled();
    if (run.inputIsPdf) {
        if (run.argc == 7)
            std::snprintf(run.filename, sizeof run.filename, "%s", run.argv[6]);
        else if (!Copy_StdinToTempFile(run.filename, sizeof run.filename))
            return 1;
    } else if (run.argc == 7) {
        run.fd = open(run.argv[6], O_RDONLY);
        if (run.fd < 0) {
            run.fd = 0;
            std::perror("ERROR: Unable to open raster file - ");
            sleep(1);
            return 1;
        }
    }
    get_os_info(run.os_info, sizeof run.os_info);

    if (!OpenPPD(run)) return 1;
    if (!ResolveJobSettings(run.settings, run.argv, run.ppd, run.os_info)) return 1;

    if (run.inputIsPdf) {
        run.fast = FastRouteOf(run.settings, run.argv[5], run.ppd, run.fastRoute);
        const char *tmp = std::getenv("TMPDIR");
        const char *keep =
            run.fast ? PdfKeepsEightBitRoute(run.filename, tmp && *tmp ? tmp : "/tmp") : nullptr;
        if (keep != nullptr) {
            std::fprintf(stderr, "DEBUG: The document %s: its pages are halftoned here\n", keep);
            run.fast.reset();
        }
        if (!StartPdfConversion(run.pdf, run.filename, run.argv, &run.fast)) return 1;
        SetConverterGroup(run.pdf.child.pid);
        run.fd = run.pdf.child.outFd;
    }
    run.ras = pfcupsRasterOpen(run.fd, CUPS_RASTER_READ);
    if (run.ras == nullptr) {
        // A converter that writes no raster at all failed or was stopped: say which.
        if (!run.inputIsPdf || FinishConversion(run, false, Canceled != 0, false))
            std::fputs("ERROR: Unable to read the raster stream\n", stderr);
        return 1;
    }
    // The device-stream copy is kept open for the run only: unlinked at once, so it never
    // outlives the filter, whatever way the filter ends.
    char copyName[kTempPathSize] = {};
    const int copyFd = pfcupsTempFd(copyName, sizeof copyName);
    if (copyFd > 0) {
        run.deviceCopy = copyFd;
        unlink(copyName);
    }
    return -1;
}

// Reads the page's raster lines into the job until the page is complete, the input ends or
// the job is cancelled.
void ReadPageLines(cups_raster_t *ras, PrintJob &job, const cups_page_header2_t &header,
                   std::FILE *log) {
    const unsigned bpl = header.cupsBytesPerLine;
    std::vector<uint8_t> line(bpl ? bpl : 1);
    for (unsigned y = 0; y < header.cupsHeight && !job.Canceled(); ++y) {
        if (y % 128 == 0)
            std::fprintf(log, "INFO: Printing page %d, %d%% complete...\n", job.Pages(),
                         static_cast<int>(static_cast<uint64_t>(y) * 100 / header.cupsHeight));
        if (pfcupsRasterReadPixels(ras, line.data(), bpl) == 0) break;
        job.WriteLine(line.data());
    }
}

// Reads page headers until the input ends or the job stops; returns how the pages ended.
JobFlow JobLoop(PrintJob &job, cups_raster_t *ras, std::FILE *log) {
    for (;;) {
        cups_page_header2_t header;
        if (!pfcupsRasterReadHeader2(ras, &header)) {
            std::fputs("DEBUG: cupsRasterReadHeader2 return failure/end-of-file.\n", log);
            return job.Pages() > 0 ? JobFlow::EndJob : JobFlow::Abandon;
        }
        std::fputs("DEBUG: cupsRasterReadHeader2 return OK.\n", log);
        JobFlow flow = job.StartPage(header);
        if (flow != JobFlow::Continue) return flow;
        ReadPageLines(ras, job, header, log);
        flow = job.EndPage();
        if (flow != JobFlow::Continue) return flow;
    }
}

// Closes what the run opened and decides the exit code; `report` false for an early exit
// whose reason was already written.
// Seconds the filter waits after a manual-duplex job: 10, or KELVRA_MANUAL_DUPLEX_PAUSE
// (0 to 60) so that tests need not wait.
unsigned ManualDuplexPauseSeconds() {
    const char *value = std::getenv("KELVRA_MANUAL_DUPLEX_PAUSE");
    if (value == nullptr || *value < '0' || *value > '9') return 10;
    return static_cast<unsigned>(std::min(60L, std::strtol(value, nullptr, 10)));
}

int Cleanup(FilterRun &run, PrintJob *job, bool report = true) {
    FinishConversion(run, true, false, true);
    if (run.ppd) pfppdClose(run.ppd);
    run.ppd = nullptr;
    if (run.ras) pfcupsRasterClose(run.ras);
    run.ras = nullptr;
    if (run.fd > 0) close(run.fd);
    run.fd = 0;
    RemoveRegisteredTempFiles();
    UnloadDLLs();
    const int pages = job ? job->Pages() : 0;
    // The pause lets the user turn the stack of a manual-duplex job; a failed job has none.
    if (report && job && job->ManualDuplex()) sleep(ManualDuplexPauseSeconds());
    g_ismiddlepage = 0;
    if (!report) return 1;
    if (pages == 0) {
        std::fputs("ERROR: No pages found!\n", stderr);
        return 1;
    }
    std::fputs("INFO: Ready to print.\n", stderr);
    return 0;
}

// The job from its first page header to its end.
int RunJob(FilterRun &run) {
    const JobSettings &s = run.settings;
    StdoutWriter printer(JobDialect(s.platform)->rules.keepAlive &&
                         !TraitsOf(s.group).libraryHalftones);
    TempSpoolFiles spools;
    ColourLibrary cms;
    if (m_hCMS && pGetCMSDllVersion && pGDIPrintCMSmain) {
        cms.getVersion = pGetCMSDllVersion;
        cms.printMain = pGDIPrintCMSmain;
    }
    PrintJob job(run.settings, printer, &spools, cms, stderr);
    job.Sink().SetDeviceCopy(run.deviceCopy);
    if (run.fast) job.SetScreenedColumnShift(run.fast->shift);
    run.deviceCopy = -1;
    SetCancelTarget(&job.CancelFlag());
    const JobFlow end = PrintRasterJob(job, run.ras, stderr);
    // A PDF job's pages end when the converter ends its output: it must have succeeded for the
    // job to be whole. A converter that failed after some pages leaves those pages printed,
    // with their job end, and the job fails.
    const bool stopped =
        end == JobFlow::SpoolFailed || end == JobFlow::OutputGone || job.Sink().OutputBroken();
    const bool converted = FinishConversion(run, stopped, job.Canceled(), job.Pages() > 0);
    int exitCode;
    if (end == JobFlow::SpoolFailed) {
        exitCode = Cleanup(run, &job, false);
    } else if (!converted) {
        exitCode = Cleanup(run, &job, false);
    } else {
        if (end == JobFlow::OutputGone || job.Sink().OutputBroken()) {
            std::fputs("ERROR: The printer connection was closed; the job was stopped\n", stderr);
            exitCode = Cleanup(run, &job, false);
        } else if (job.Sink().SpoolWriteFailed()) {
            std::fputs("ERROR: The temporary directory is full or not writable; the collated "
                       "copies or second sides could not be made\n",
                       stderr);
            exitCode = Cleanup(run, &job, false);
        } else {
            exitCode = Cleanup(run, &job);
        }
    }
    SetCancelTarget(nullptr);
    return exitCode;
}

} // namespace

JobFlow PrintRasterJob(PrintJob &job, cups_raster_t *ras, std::FILE *log) {
    const JobFlow end = JobLoop(job, ras, log);
    if (end == JobFlow::EndJob) job.EndJob();
    return end;
}

int RunFilter(int argc, char *argv[]) {
    FilterRun run;
    run.argc = argc;
    run.argv = argv;
    const int exitCode = StartUp(run);
    if (exitCode >= 0) {
        FinishConversion(run, true, false, false);
        if (run.ppd) pfppdClose(run.ppd);
        if (run.fd > 0) close(run.fd);
        if (run.deviceCopy > 0) close(run.deviceCopy);
        RemoveRegisteredTempFiles();
        return exitCode;
    }
    return RunJob(run);
}
