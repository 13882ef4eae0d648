#include "app/printer_status.h"

#include <csignal>
#include <unistd.h>

#include "app/app_context.h"
#include "app/local_server.h"

namespace {

constexpr int kWatchSeconds = 1;

// The reason each notice sets.
pappl_preason_t ReasonOf(Notice notice) {
    return notice == Notice::TurnStack ? PAPPL_PREASON_MEDIA_NEEDED : PAPPL_PREASON_OFFLINE;
}

// SIGTERM and SIGINT as PAPPL handles them, kept to be chained; set once in the main loop.
struct sigaction gPapplTerm {};
struct sigaction gPapplInt {};
volatile sig_atomic_t gStopRequested = 0;

// Notes the request, then lets PAPPL's own handler note it too.
void OnStopSignal(int sig) {
    gStopRequested = 1;
    const struct sigaction &pappl = sig == SIGTERM ? gPapplTerm : gPapplInt;
    if (pappl.sa_handler != SIG_DFL && pappl.sa_handler != SIG_IGN) pappl.sa_handler(sig);
}

// Installed after papplSystemRun set its handlers, which it does before its loop runs timers.
void ChainStopSignals() {
    struct sigaction ours {};
    ours.sa_handler = OnStopSignal;
    sigemptyset(&ours.sa_mask);
    ours.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &ours, &gPapplTerm);
    sigaction(SIGINT, &ours, &gPapplInt);
}

// The id of the printer's job in the processing state, 0 for none.
int ProcessingJob(pappl_printer_t *printer) {
    int id = 0;
    papplPrinterIterateActiveJobs(
        printer,
        [](pappl_job_t *job, void *data) {
            int *found = static_cast<int *>(data);
            if (*found == 0 && papplJobGetState(job) == IPP_JSTATE_PROCESSING)
                *found = papplJobGetID(job);
        },
        &id, 1, 0);
    return id;
}

// PAPPL stops a printer whose device does not open while a job is processing and tries again
// every 5 s; the job is then not yet in the driver. PAPPL holds the printer while it opens a
// device (up to 30 s for a host that does not answer), so the main loop looks at it with
// calls that take no lock first, and takes the printer only when the notice changes. Paused
// printers are stopped only between jobs: their queued jobs are pending.
void WatchPrinter(pappl_printer_t *printer, void *) {
    PrinterExtension *ext = ExtensionOf(printer);
    if (ext == nullptr) return;
    const bool mayWait = papplPrinterGetState(printer) == IPP_PSTATE_STOPPED &&
                         papplPrinterGetNumberOfActiveJobs(printer) > 0 &&
                         ext->jobsPrinting.load() == 0;
    if (!mayWait) {
        ext->notices.Clear(printer, Notice::Unreachable);
        return;
    }
    const char *uri = papplPrinterGetDeviceURI(printer);
    const std::string text = std::string("The printer at ") + (uri ? uri : "its device") +
                             " does not answer; the job waits until it does";
    if (ext->notices.Shows(Notice::Unreachable, text)) return;
    const int jobId = ProcessingJob(printer);
    if (jobId == 0) return;
    ext->notices.Show(printer, Notice::Unreachable, text);
    if (pappl_job_t *job = papplPrinterFindJob(printer, jobId))
        papplJobSetMessage(job, "%s", text.c_str());
}

// Whether the printer has a pending job.
bool HasPendingJob(pappl_printer_t *printer) {
    bool pending = false;
    papplPrinterIterateActiveJobs(
        printer,
        [](pappl_job_t *job, void *data) {
            if (papplJobGetState(job) == IPP_JSTATE_PENDING) *static_cast<bool *>(data) = true;
        },
        &pending, 1, 0);
    return pending;
}

// PAPPL 1.3.1 starts the queued jobs of a printer only when another job arrives: the jobs it
// loaded from the state file would wait for one. Resuming an idle printer starts them.
void StartLoadedJobs(pappl_printer_t *printer, void *) {
    if (papplPrinterGetState(printer) == IPP_PSTATE_IDLE && ProcessingJob(printer) == 0 &&
        HasPendingJob(printer))
        papplPrinterResume(printer);
}

// Counts the jobs that are sending pages to a printer.
void CountPrinting(pappl_printer_t *printer, void *data) {
    if (PrinterExtension *ext = ExtensionOf(printer))
        *static_cast<int *>(data) += ext->jobsPrinting.load();
}

// PAPPL's timer: runs on the main loop every second; its first run is the server's start.
bool WatchPrinters(pappl_system_t *system, void *data) {
    auto *app = static_cast<AppContext *>(data);
    static bool started = false;
    if (!started) {
        started = true;
        ChainStopSignals();
        papplSystemIteratePrinters(system, StartLoadedJobs, nullptr);
    }
    papplSystemIteratePrinters(system, WatchPrinter, nullptr);
    if (!gStopRequested && !papplSystemIsShutdown(system)) return true;
    int printing = 0;
    papplSystemIteratePrinters(system, CountPrinting, &printing);
    if (printing > 0) return true; // PAPPL lets them finish (up to a minute)
    papplLog(system, PAPPL_LOGLEVEL_INFO,
             "Stopping: no job is printing; waiting jobs stay queued for the next start.");
    if (!papplSystemSaveState(system, StateFilePath(app->baseName).c_str()))
        papplLog(system, PAPPL_LOGLEVEL_ERROR, "The state could not be saved.");
    _exit(0);
}

} // namespace

void PrinterNotices::Show(pappl_printer_t *printer, Notice notice, const std::string &text) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string &shown = shown_[static_cast<int>(notice)];
    if (shown == text) return;
    if (!shown.empty()) papplPrinterRemoveLink(printer, shown.c_str());
    char jobs[1024];
    papplPrinterGetPath(printer, "jobs", jobs, sizeof jobs);
    papplPrinterAddLink(printer, text.c_str(), jobs, PAPPL_LOPTIONS_STATUS);
    papplPrinterSetReasons(printer, ReasonOf(notice), PAPPL_PREASON_NONE);
    shown = text;
    papplLogPrinter(printer, PAPPL_LOGLEVEL_INFO, "%s", text.c_str());
}

void PrinterNotices::Clear(pappl_printer_t *printer, Notice notice) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string &shown = shown_[static_cast<int>(notice)];
    if (shown.empty()) return;
    papplPrinterRemoveLink(printer, shown.c_str());
    papplPrinterSetReasons(printer, PAPPL_PREASON_NONE, ReasonOf(notice));
    shown.clear();
}

bool PrinterNotices::Shows(Notice notice, const std::string &text) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return shown_[static_cast<int>(notice)] == text;
}

void StartPrinterWatch(pappl_system_t *system, AppContext &app) {
    papplSystemAddTimerCallback(system, 0, kWatchSeconds, WatchPrinters, &app);
}
