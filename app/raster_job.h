// One job of the Printer Application on the driver core: the raster callbacks PAPPL calls for
// PWG raster, Apple raster, JPEG and PNG, and the same steps for the PDF filter. Each job
// resolves its settings once from the IPP ticket, writes to its printer's PAPPL device and
// keeps all its state in its own object (papplJobSetData), so jobs of two printers run side by
// side.
#pragma once

#include <pappl/pappl.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "app/device_stream.h"
#include "app/job_options.h"
#include "app/line_convert.h"
#include "app/page_header.h"
#include "app/page_layout.h"
#include "app/printer_gate.h"
#include "common/job_settings.h"
#include "core/fast_route.h"
#include "core/print_job.h"

struct PrinterExtension;

class AppJob {
  public:
    // `ownDevice` (closed with the job) is a device the job opened itself, else null; the job
    // leaves the printer's gate when it ends.
    AppJob(pappl_job_t *job, pappl_device_t *device, pappl_device_t *ownDevice,
           PrinterExtension &printer, const pappl_pr_options_t &options);
    ~AppJob();
    AppJob(const AppJob &) = delete;
    AppJob &operator=(const AppJob &) = delete;

    // The resolution pages print at and the job's paper-table row (null for none): the PDF
    // filter renders at these.
    unsigned Resolution() const { return decisions_.resolution; }
    const PAPER_SIZE_INFO *PaperRow() const;
    // The paper the pages go on, and how the ticket places a page on it (the filters fill in
    // what they know of the document).
    PaperArea Paper() const;
    const LayoutRequest &Layout() const { return layout_; }
    // The fast route of the job when Ghostscript renders its pages as `rendered` (8-bit grey at
    // the job's resolution on the paper), or nothing: the job's pages are then dithered here.
    std::optional<FastRoute> FastRouteFor(const cups_page_header2_t &rendered) const;
    // From now on 1-bit pages at the job's resolution come halftoned by Ghostscript with the
    // route's screen: their lines go to the core as they are.
    void TakeScreenedPages(const FastRoute &route);

    // A page arrives with `header`: false when the job stops (the reason is in its message).
    bool StartPage(const cups_page_header2_t &header);
    // The page's next line, as the arriving header describes it.
    void WriteLine(const uint8_t *line);
    // The page is complete; false when the job stops.
    bool EndPage();
    // After the last page: the job end. True when the job printed whole.
    bool Finish();
    // Stops the job with `message` as its reason (pages started still end whole).
    bool Abort(const char *message) { return Stop(message); }
    // Pages the core has printed.
    unsigned Pages() const;
    // Whether fewer lines arrived for the page than its header announced.
    bool PageCutShort() const { return linesIn_ < pageLines_; }

    // Page selection by the callbacks: pages of this job that are not printed.
    bool skipping = false;

  private:
    // The printer stream as the core writes it: a job cancelled meanwhile (also while a
    // manual-duplex job sends its second sides) stops at the next write.
    class CancelAwareWriter : public StreamWriter {
      public:
        explicit CancelAwareWriter(AppJob &owner) : owner_(owner) {}
        int Write(const uint8_t *data, std::size_t count) override;
        void SetBetweenCommands(bool between) override;

      private:
        AppJob &owner_;
    };

    bool Stop(const char *message);
    void CheckCanceled();
    void OnLogLine(pappl_loglevel_t level, const std::string &text);

    // Released last, after the stream: the job's own device and its place in the gate.
    struct GateSlot {
        PrinterGate *gate;
        pappl_device_t *ownDevice;
        ~GateSlot() {
            if (ownDevice != nullptr) papplDeviceClose(ownDevice);
            gate->Leave();
        }
    };

    GateSlot slot_;
    pappl_job_t *job_;
    PrinterExtension &printer_;
    JobSettings settings_;
    PageDecisions decisions_;
    LayoutRequest layout_;
    double mediaW_ = 0, mediaH_ = 0; // the job's media in points
    DeviceStream stream_;
    CancelAwareWriter writer_{*this};
    SpoolDirFiles spools_;
    std::FILE *log_;
    std::unique_ptr<PrintJob> core_;
    LineConverter convert_;
    unsigned linesIn_ = 0, pageLines_ = 0; // lines of the page arrived and announced
    bool inPage_ = false;
    bool screenedPages_ = false; // Ghostscript halftones the job's pages with its screen
    bool screenedPage_ = false;  // this page is one of them: its lines pass unchanged
    bool stopped_ = false;       // no more pages go to the core
    bool needsEnd_ = false;      // the core started the job and owes it its job end
    bool failed_ = false;
    bool promptShown_ = false; // the manual-duplex prompt is the printer's notice
};

// The driver's raster callbacks (pappl_pr_driver_data_t).
bool RasterStartJob(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device);
bool RasterStartPage(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device,
                     unsigned page);
bool RasterWriteLine(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device,
                     unsigned y, const unsigned char *line);
bool RasterEndPage(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device,
                   unsigned page);
bool RasterEndJob(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device);
