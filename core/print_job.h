// One print job: the driver core between a front end (the CUPS filter, the Printer
// Application) and the printer stream. The front end resolves the job's settings, makes the
// sink, and then drives the job like a raster driver's main loop:
//
//     PrintJob job(settings, sink, colourLibrary, log);
//     while (a page header comes) {
//         if (job.StartPage(header) != JobFlow::Continue) break;
//         for (each raster line, while not cancelled) job.WriteLine(line);
//         if (job.EndPage() != JobFlow::Continue) break;
//     }
//     job.EndJob();   // when the last flow said Continue or EndJob
//
// A page runs: plan -> page start -> lines into an 8-bit grey page (or band) -> turns ->
// halftoning (the driver's screens or the colour library) -> page data -> page end. Every byte
// leaves through the sink. The job keeps no state outside itself: two jobs can run on two
// threads at once.
#pragma once

#include <cups/raster.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "cmslib/cms_records.h"
#include "common/job_settings.h"
#include "common/last_error.h"
#include "common/sink.h"
#include "common/model_catalogue.h"
#include "core/page_plan.h"
#include "prnt/dialect.h"
#include "prnt/prnt.h"

// The colour library's entry points, bound by the front end; both null when it is not loaded.
// With the optional `printMainWithMessages` the library's messages go to the job's status
// stream; without it (the filter, an older library) the library writes them to standard error.
struct ColourLibrary {
    int (*getVersion)() = nullptr;
    int (*printMain)(CMS_TRANSFER_SRC *, CMS_SETTINGS *, CMS_TRANSFER_DST *) = nullptr;
    PFN_GDIPrintCMSmainWithMessages printMainWithMessages = nullptr;
    bool Loaded() const { return getVersion != nullptr && printMain != nullptr; }
};

// What the front end does after StartPage or EndPage.
enum class JobFlow {
    Continue,    // go on: this page's lines, or the next page header
    EndJob,      // no more pages: EndJob closes what was printed
    Abandon,     // stop without a job end: no page was started
    OutputGone,  // the reader of the printer stream is gone: stop, no job end
    SpoolFailed, // a spool file could not be created: stop, no job end
};

class PrintJob {
  public:
    // `settings`, `printer` and `spoolFiles` must outlive the job; the printer stream goes to
    // `printer`, collate and manual-duplex spools are made by `spoolFiles` (none: a job that
    // needs a spool stops), status lines go to `log`.
    PrintJob(const JobSettings &settings, StreamWriter &printer, SpoolFiles *spoolFiles,
             const ColourLibrary &cms, std::FILE *log);
    ~PrintJob();
    PrintJob(const PrintJob &) = delete;
    PrintJob &operator=(const PrintJob &) = delete;

    // Takes the next page header: checks it, starts the job on the first page and announces
    // the page to the printer.
    JobFlow StartPage(const cups_page_header2_t &header);
    // Takes the page's next raster line (cupsBytesPerLine bytes of 8-bit grey, or of 1-bit
    // lines Ghostscript halftoned with the job's screen).
    void WriteLine(const uint8_t *line);
    // Completes the page (lines that never came are white, also when the job was cancelled
    // inside it: the printer always gets whole pages), halftones and sends it.
    JobFlow EndPage();
    // After the last page: the blank back side of an odd two-sided job, the collated copies
    // and the second pass of a manual-duplex job, then the job end.
    void EndJob();

    // Cancellation: the rest of the page is left white and the job ends. Safe to call from a
    // signal handler (through CancelFlag) or another thread.
    void Cancel() { canceled_.store(true); }
    std::atomic<bool> &CancelFlag() { return canceled_; }
    bool Canceled() const { return canceled_.load(); }

    // Pages that come halftoned already (1 bit per pixel) were halftoned with the job's screen
    // moved right by `columns`: only lines whose centred part then has the page's phase go into
    // the bitmap as they are.
    void SetScreenedColumnShift(unsigned columns) { screenedShift_ = columns; }

    // The job's output sink (the front end may give it a device-stream copy).
    OutputSink &Sink() { return sink_; }
    int Pages() const { return page_; }
    bool ManualDuplex() const { return opt_.manualDuplex; }
    const ErrorText &Errors() const { return error_; }

  private:
    struct Buffers;
    bool JobStart();
    void ResolvePageOptions(const cups_page_header2_t &header, bool sizeLongEdge);
    void DitherBand(unsigned first, unsigned rows);
    const uint8_t *PlaceOrExpandScreenedLine(const uint8_t *line);
    void ConvertToManualDuplex();
    void SetPageNumber(int page);
    void ReducePage();
    void SendPlannedPage();
    void InsertBlankPage();
    void ReportFailure(const char *what);

    const JobSettings &settings_;
    JobDialect dialect_;       // chosen once from the job's platform
    const GroupTraits &group_; // what the model's group does differently
    ColourLibrary cms_;
    std::FILE *log_;
    ErrorText error_;
    OutputSink sink_;
    PrntStream stream_;
    std::atomic<bool> canceled_{false};

    PrintOptions opt_;  // the job's options as this page takes them (duplex, feed edge)
    ScreenSpec screen_; // the driver's own halftoning of the job
    int page_ = 0;
    unsigned copies_ = 1;
    int manualDuplexType_ = 0;
    cups_page_header2_t lastHeader_{};
    GDI_START_PAGE_PARAM lastStartPage_{}; // the blank back side repeats the last page's
    PagePlan plan_;
    std::unique_ptr<Buffers> buf_;
    unsigned linesIn_ = 0;          // lines of this page received
    unsigned rowsKept_ = 0;         // rows of the page written into the grey page
    unsigned windowFirst_ = 0;      // page row held in the first row of the grey window
    unsigned screenedShift_ = 0;    // columns Ghostscript's screen was moved by
    bool screenedLines_ = false;    // the page comes halftoned already (1 bit per pixel)
    std::vector<uint8_t> expanded_; // such a line as grey, where it cannot be placed as it is
};
