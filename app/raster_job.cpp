#include "app/raster_job.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "app/app_context.h"
#include "app/dialect.h"
#include "app/job_log.h"
#include "common/model_catalogue.h"
#include "core/raster_page.h"

namespace {

constexpr const char *kConnectionFailed = "The printer connection failed; the job was stopped";
constexpr const char *kSpoolFailed =
    "The spool directory is full or not writable; the copies or second sides could not be made";

constexpr const char *kCanceledBeforeBacks =
    "The job was cancelled; the other sides of its sheets were not printed";

// The job's status lines go to its log; without one (no memory) they are dropped.
std::FILE *JobLogOrNull(pappl_job_t *job, JobLogWatcher watcher) {
    std::FILE *f = OpenJobLog(job, std::move(watcher));
    return f ? f : std::fopen("/dev/null", "w");
}

AppJob *JobOf(pappl_job_t *job) {
    return static_cast<AppJob *>(papplJobGetData(job));
}

// PAPPL hands a streamed page's own header to the driver only when it has 8 bits per pixel or
// more; for a 1-bit page the options keep PAPPL's header for the job (8-bit grey on the job's
// media at PAPPL's resolution) and the lines carry the page's 1-bit data. That header is
// recognised by making it again. The page is then read as sgray_1 (1 is white) of that size:
// the client's own header never reaches the driver.
cups_page_header2_t StreamedPageHeader(pappl_job_t *job, const cups_page_header2_t &given) {
    cups_page_header2_t h = given;
    pappl_pr_options_t *own = papplJobCreatePrintOptions(
        job, static_cast<unsigned>(std::max(0, papplJobGetImpressions(job))), false);
    if (own != nullptr && std::memcmp(&own->header, &given, sizeof given) == 0) {
        h.cupsBitsPerColor = h.cupsBitsPerPixel = 1;
        h.cupsBytesPerLine = (h.cupsWidth + 7) / 8;
        h.cupsColorSpace = CUPS_CSPACE_SW;
    }
    papplJobDeletePrintOptions(own);
    return h;
}

} // namespace

AppJob::AppJob(pappl_job_t *job, pappl_device_t *device, pappl_device_t *ownDevice,
               PrinterExtension &printer, const pappl_pr_options_t &options)
    : slot_{&printer.gate, ownDevice}, job_(job), printer_(printer),
      stream_(ownDevice ? ownDevice : device, DialectOf(*printer.model).keepAlive),
      spools_(printer.app->spoolDir),
      log_(JobLogOrNull(job, [this](pappl_loglevel_t level, const std::string &text) {
          OnLogLine(level, text);
      })) {
    ++printer_.jobsPrinting;
    const ModelInfo &model = *printer.model;
    const JobTicket ticket = ReadJobTicket(job, options);
    FillJobSettings(settings_, model, ticket);
    decisions_.paperTable = settings_.paperTable;
    decisions_.jobMedia = ticket.media;
    decisions_.resolution = static_cast<unsigned>(JobResolution(model, ticket));
    decisions_.sides = ticket.sides;
    decisions_.copies = static_cast<unsigned>(ticket.copies);
    layout_.scaling = ticket.scaling;
    layout_.orientation = ticket.orientation;
    mediaW_ = ticket.mediaWidth * 72.0 / 2540.0;
    mediaH_ = ticket.mediaLength * 72.0 / 2540.0;
    core_ =
        std::make_unique<PrintJob>(settings_, writer_, &spools_, printer.app->colour.entries, log_);
    papplLogJob(job, PAPPL_LOGLEVEL_INFO,
                "%s: %s, %u dpi, %u copies%s, density %d, tray %d, %d bits per pixel",
                model.modelName, ticket.media.c_str(), decisions_.resolution, decisions_.copies,
                ticket.collate ? " collated" : "", settings_.options.density,
                static_cast<int>(settings_.options.tray), settings_.twoBitPages ? 2 : 1);
}

// However the job ends, the printer no longer waits for it.
AppJob::~AppJob() {
    core_.reset();
    if (log_ != nullptr) std::fclose(log_);
    if (promptShown_) printer_.notices.Clear(papplJobGetPrinter(job_), Notice::TurnStack);
    --printer_.jobsPrinting;
}

// The manual-duplex prompt (the model's text, written when the first sides are out) is what
// the printer waits for until the job ends.
void AppJob::OnLogLine(pappl_loglevel_t level, const std::string &text) {
    if (level != PAPPL_LOGLEVEL_INFO || !settings_.supportsManualDuplex ||
        text != settings_.manualDuplexMessage)
        return;
    printer_.notices.Show(papplJobGetPrinter(job_), Notice::TurnStack, text);
    promptShown_ = true;
}

int AppJob::CancelAwareWriter::Write(const uint8_t *data, std::size_t count) {
    owner_.CheckCanceled();
    return owner_.stream_.Write(data, count);
}

void AppJob::CancelAwareWriter::SetBetweenCommands(bool between) {
    owner_.stream_.SetBetweenCommands(between);
}

const PAPER_SIZE_INFO *AppJob::PaperRow() const {
    const int row = PaperRowOfPwgMedia(decisions_.paperTable, decisions_.jobMedia);
    return row >= 0 ? &decisions_.paperTable[row] : nullptr;
}

PaperArea AppJob::Paper() const {
    return PaperAreaOf(PaperRow(), mediaW_, mediaH_, settings_.hwMargins);
}

std::optional<FastRoute> AppJob::FastRouteFor(const cups_page_header2_t &rendered) const {
    return ::FastRouteFor(settings_,
                          CoreHeader(rendered, decisions_, rendered.cupsWidth, rendered.cupsHeight),
                          decisions_.sides != PAPPL_SIDES_ONE_SIDED);
}

void AppJob::TakeScreenedPages(const FastRoute &route) {
    core_->SetScreenedColumnShift(route.shift);
    screenedPages_ = true;
}

unsigned AppJob::Pages() const {
    return static_cast<unsigned>(core_->Pages());
}

// Sets the job's state message and marks the job failed; returns false for the callback.
bool AppJob::Stop(const char *message) {
    failed_ = true;
    stopped_ = true;
    if (message != nullptr) {
        papplLogJob(job_, PAPPL_LOGLEVEL_ERROR, "%s", message);
        papplJobSetMessage(job_, "%s", message);
    }
    return false;
}

void AppJob::CheckCanceled() {
    if (!core_->Canceled() && papplJobIsCanceled(job_)) core_->Cancel();
}

bool AppJob::StartPage(const cups_page_header2_t &header) {
    if (stopped_) return false;
    CheckCanceled();
    linesIn_ = 0;
    pageLines_ = header.cupsHeight;
    // A page Ghostscript halftoned is already the job's bitmap: resampling or reading it as grey
    // would dither it twice.
    screenedPage_ = screenedPages_ && header.cupsBitsPerColor == 1 &&
                    header.cupsBitsPerPixel == 1 &&
                    RawHeaderField(header.cupsColorSpace) == CUPS_CSPACE_SW &&
                    header.HWResolution[0] == decisions_.resolution &&
                    header.HWResolution[1] == decisions_.resolution &&
                    header.cupsBytesPerLine == (header.cupsWidth + 7) / 8;
    cups_page_header2_t h;
    if (screenedPage_) {
        h = ScreenedCoreHeader(header, decisions_);
    } else {
        std::string why;
        if (!convert_.Start(header, decisions_.resolution, why)) {
            const std::string message = "Unsupported raster page: " + why;
            return Stop(message.c_str());
        }
        h = CoreHeader(header, decisions_, convert_.Width(), convert_.Height());
    }
    switch (core_->StartPage(h)) {
    case JobFlow::Continue:
        inPage_ = true;
        needsEnd_ = true;
        // The device buffers up to 8 KB: hand it the job start and the page start now, so the
        // printer wakes up while the page is still arriving or being rendered.
        stream_.Flush();
        return true;
    case JobFlow::EndJob: // cancelled, or a page the core refused (its ERROR line says why)
        stopped_ = true;
        needsEnd_ = core_->Pages() > 0;
        if (!core_->Canceled()) failed_ = true;
        return false;
    case JobFlow::Abandon:
        needsEnd_ = false;
        return Stop(core_->Canceled() ? nullptr : "The page cannot be printed");
    case JobFlow::OutputGone:
        needsEnd_ = false;
        return Stop(kConnectionFailed);
    case JobFlow::SpoolFailed:
        needsEnd_ = false;
        return Stop(kSpoolFailed);
    }
    return false;
}

void AppJob::WriteLine(const uint8_t *line) {
    if (!inPage_) return;
    ++linesIn_;
    CheckCanceled();
    if (screenedPage_)
        core_->WriteLine(line);
    else
        convert_.Feed(line, [this](const uint8_t *l) { core_->WriteLine(l); });
}

bool AppJob::EndPage() {
    if (!inPage_) return !stopped_;
    inPage_ = false;
    CheckCanceled();
    const JobFlow flow = core_->EndPage();
    stream_.Flush();
    switch (flow) {
    case JobFlow::Continue:
        return true;
    case JobFlow::OutputGone:
        needsEnd_ = false;
        return Stop(kConnectionFailed);
    default: // cancelled (PAPPL stops the job itself), or the page could not be made
        stopped_ = true;
        if (core_->Canceled()) return true;
        failed_ = true;
        return false;
    }
}

// A page PAPPL left unfinished is completed white, so the printer always gets whole pages.
bool AppJob::Finish() {
    CheckCanceled();
    if (inPage_) {
        inPage_ = false;
        if (core_->EndPage() == JobFlow::OutputGone) needsEnd_ = false;
    }
    if (needsEnd_) core_->EndJob();
    needsEnd_ = false;
    stream_.Flush();
    if (core_->Sink().OutputBroken() || stream_.Failed()) return Stop(kConnectionFailed);
    if (core_->Sink().SpoolWriteFailed()) return Stop(kSpoolFailed);
    if (core_->Canceled()) {
        if (promptShown_) papplJobSetMessage(job_, "%s", kCanceledBeforeBacks);
        return true;
    }
    if (!failed_ && core_->Pages() == 0) return Stop("There was no page to print");
    return !failed_;
}

bool RasterStartJob(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device) {
    PrinterExtension *printer = ExtensionOf(job);
    if (printer == nullptr || options == nullptr) return false;
    bool waited = false;
    if (!printer->gate.Enter(job, waited)) return false;
    pappl_device_t *own = waited ? OpenDeviceAfterWait(job) : nullptr;
    if (waited)
        papplLogJob(job, PAPPL_LOGLEVEL_WARN,
                    "Started while another job of the printer printed; it waited for it%s.",
                    own ? " and writes to a device of its own" : "");
    auto *appJob = new (std::nothrow) AppJob(job, device, own, *printer, *options);
    if (appJob == nullptr) {
        if (own != nullptr) papplDeviceClose(own);
        printer->gate.Leave();
        return false;
    }
    papplJobSetData(job, appJob);
    return true;
}

// Pages outside page-ranges are read and dropped.
bool RasterStartPage(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *,
                     unsigned page) {
    AppJob *j = JobOf(job);
    if (j == nullptr) return false;
    j->skipping = page < options->first_page || page > options->last_page;
    if (j->skipping) return true;
    return j->StartPage(StreamedPageHeader(job, options->header));
}

bool RasterWriteLine(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *, unsigned,
                     const unsigned char *line) {
    AppJob *j = JobOf(job);
    if (j == nullptr) return false;
    if (!j->skipping) j->WriteLine(line);
    return true;
}

// PAPPL gives up reading a page whose data ends early without saying so: the page is printed
// as far as it came and the job stops with the reason.
bool RasterEndPage(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *, unsigned page) {
    AppJob *j = JobOf(job);
    if (j == nullptr) return false;
    if (j->skipping) {
        j->skipping = false;
        return true;
    }
    const bool cut = j->PageCutShort() && !papplJobIsCanceled(job);
    const bool more = j->EndPage();
    if (!cut) return more;
    const std::string message =
        "The raster document ends in the middle of page " + std::to_string(page);
    return j->Abort(message.c_str());
}

// PAPPL refuses a streamed page it cannot read (other than 1 or 8 bits per colour, planes
// instead of chunky pixels, lines of the wrong length) with a job reason only.
bool RasterEndJob(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *) {
    AppJob *j = JobOf(job);
    if (j == nullptr) return false;
    if (papplJobGetReasons(job) &
        (PAPPL_JREASON_DOCUMENT_FORMAT_ERROR | PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR))
        j->Abort("The raster document has a page that cannot be printed: raster is streamed to "
                 "the printer only with 1 or 8 bits per colour and chunky pixels");
    const bool ok = j->Finish();
    papplJobSetData(job, nullptr);
    delete j;
    return ok;
}
