#include "core/print_job.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <strings.h>

#include "common/model_catalogue.h"
#include "common/page_memory.h"
#include "common/rotate.h"
#include "common/sink.h"
#include "core/cms_records_fill.h"
#include "imaging/bit_depth.h"
#include "core/raster_page.h"
#include "core/spool_replay.h"
#include "imaging/halftone.h"

namespace {

// The colour library's messages into the job's status stream (its context).
void WriteCmsMessage(void *log, const char *text) {
    std::fputs(text, static_cast<std::FILE *>(log));
}

// A page buffer that is released with the page, however the page ends. It comes zeroed (page
// memory: huge pages for the large ones).
struct PageBuffer {
    PageMemory data;
    size_t size = 0;
    bool Allocate(size_t bytes) {
        data = AllocPageMemory(bytes);
        size = bytes;
        return data != nullptr;
    }
    uint8_t *get() { return data.get(); }
};

// The standard sizes a group that feeds by size sends long edge first unless the job says
// otherwise.
bool LongEdgeFeedBySize(const cups_page_header2_t &h) {
    static constexpr char kLongEdgeNames[][24] = {
        "A4",  "A5",     "B5",        "ISOB5",     "Letter",
        "16K", "Big16K", "Executive", "Statement", "DoublePostcardRotated"};
    for (const char *name : kLongEdgeNames)
        if (std::strcmp(h.cupsPageSizeName, name) == 0) return true;
    return false;
}

// The duplex request of a page header. The raster stream may carry any 32-bit value in these
// boolean fields: read them as plain numbers.
Duplex HeaderDuplex(const cups_page_header2_t &header) {
    unsigned int duplexField = 0, tumbleField = 0;
    std::memcpy(&duplexField, &header.Duplex, sizeof duplexField);
    std::memcpy(&tumbleField, &header.Tumble, sizeof tumbleField);
    if (duplexField != 1) return Duplex::OneSided;
    return tumbleField == 0   ? Duplex::LongEdge
           : tumbleField == 1 ? Duplex::ShortEdge
                              : Duplex::OneSided;
}

} // namespace

// The grey page (or band window), its line buffer and the page bitmap of the page in hand.
struct PrintJob::Buffers {
    PageBuffer grey, mono;
};

PrintJob::PrintJob(const JobSettings &settings, StreamWriter &printer, SpoolFiles *spoolFiles,
                   const ColourLibrary &cms, std::FILE *log)
    : settings_(settings), dialect_(settings.platform), group_(TraitsOf(settings.group)), cms_(cms),
      log_(log),
      sink_(printer, error_, spoolFiles), stream_{settings, sink_, error_, 0, false, 0, 0, {}} {
    stream_.log = log;
    opt_ = settings.options;
    screen_ = ScreenOf(settings.platform, settings.newScreens, opt_.quality == Quality::Dpi1200);
    screen_.reversed = opt_.negativePrint;
}

PrintJob::~PrintJob() = default;

// Puts "what" in front of the job's error text and writes the whole text to the log: the
// failure report of a printer operation; the job goes on.
void PrintJob::ReportFailure(const char *what) {
    error_.Prepend(what);
    std::fputs(error_.c_str(), log_);
}

void PrintJob::SetPageNumber(int page) {
    page_ = page;
    stream_.page = page;
    sink_.SetPage(page);
}

// The page's options: the job's options, the duplex request of this page header and the feed
// edge (where the job leaves it to the size, the group's rule for the page size).
void PrintJob::ResolvePageOptions(const cups_page_header2_t &header, bool sizeLongEdge) {
    Duplex duplex = HeaderDuplex(header);
    // A dialect without a duplex command prints a two-sided request one-sided, pages upright.
    if (duplex != Duplex::OneSided && dialect_->rules.twoSided == TwoSided::Never) {
        if (page_ == 1)
            std::fputs("WARNING: This printer prints one-sided only; the pages are printed on "
                       "one side each\n",
                       log_);
        duplex = Duplex::OneSided;
    }
    opt_.duplex = duplex;
    std::fprintf(log_, "DEBUG: ##Duplex = %d\n", static_cast<int>(duplex));
    const FeedEdge asked = settings_.options.feed;
    if (asked != FeedEdge::BySize)
        opt_.feed = asked;
    else
        opt_.feed = group_.feedsLongEdgeBySize && sizeLongEdge ? FeedEdge::Long : FeedEdge::Short;
}

// Where the dialect prints two-sided jobs by hand, a model that supports it prints them as
// manual duplex.
void PrintJob::ConvertToManualDuplex() {
    if (opt_.duplex == Duplex::OneSided || dialect_->rules.twoSided != TwoSided::ByHand ||
        !settings_.supportsManualDuplex)
        return;
    if (opt_.duplex == Duplex::ShortEdge) manualDuplexType_ = 1;
    opt_.manualDuplex = true;
    opt_.duplex = Duplex::OneSided;
    stream_.manualDuplex = true;
    std::fprintf(log_, "DEBUG: ##ManualDuplex = %d, type is %d\n", 1, manualDuplexType_);
}

// First-page job start: job-start record, the dialect's job start and the spool files; false when a
// spool file cannot be created.
bool PrintJob::JobStart() {
    copies_ = lastHeader_.NumCopies;
    GDI_START_DOC_PARAM d{};
    d.jobID = settings_.identity.jobId;
    // The first 32 bytes of the title; a shorter title is zero-padded.
    const std::string &title = settings_.identity.title;
    std::memcpy(d.jobName, title.data(), std::min(title.size(), sizeof d.jobName));
    d.DuplexMode = opt_.duplex != Duplex::OneSided ? 0x20 : 0;
    d.saveMode = 0x10; // the job flags' save bit (platform M sends no job flags)
    d.bookletEnable = opt_.booklet ? 1 : 0;
    d.densityLevel = opt_.DensityLevel();
    d.FineMode = opt_.fineMode ? 1 : 0;
    sink_.SetBetweenCommands(false);
    if (!dialect_->StartDoc(stream_, d)) ReportFailure("main() :: Start doc Fail ! \n");
    sink_.SetBetweenCommands(true);
    return OpenCollateSpool(sink_, log_, opt_.collate, lastHeader_.NumCopies) &&
           OpenManualDuplexSpools(sink_, log_, opt_.manualDuplex);
}

JobFlow PrintJob::StartPage(const cups_page_header2_t &pageHeader) {
    cups_page_header2_t header = pageHeader;
    screenedLines_ = TakeScreenedHeader(header);
    // Where the job's options decide the page, a custom request names the page "Custom".
    if (group_.pageFromJobOptions && settings_.customPageRequested &&
        !strcasestr(header.cupsPageSizeName, "custom")) {
        std::memset(header.cupsPageSizeName, 0, sizeof header.cupsPageSizeName);
        std::strcpy(header.cupsPageSizeName, "Custom");
    }
    log_page_header2(&header, log_);
    const bool sizeLongEdge = group_.feedsLongEdgeBySize && LongEdgeFeedBySize(header);
    if (Canceled() || !IsPrintableRasterHeader(header, log_))
        return page_ > 0 ? JobFlow::EndJob : JobFlow::Abandon;
    SetPageNumber(page_ + 1);
    lastHeader_ = header;
    std::fprintf(log_, "PAGE: %d %d\n", page_, header.NumCopies);
    std::fprintf(log_, "-------SupportManualDuplex is %d\n",
                 settings_.supportsManualDuplex ? 1 : 0);
    ResolvePageOptions(header, sizeLongEdge);
    std::fprintf(log_, "DEBUG: ##platform = %d, ##autoduplex = %d\n", settings_.platform,
                 static_cast<int>(opt_.duplex));
    ConvertToManualDuplex();
    if (page_ == 1 && !JobStart()) return JobFlow::SpoolFailed;
    SetManualDuplexDestination(sink_, opt_.manualDuplex, page_, group_.evenSidesFirst);
    if (sink_.OutputBroken()) return JobFlow::OutputGone;

    JobPosition at;
    at.page = page_;
    at.manualDuplex = stream_.manualDuplex;
    at.manualDuplexType = manualDuplexType_;
    at.libraryReduces = group_.libraryHalftones && cms_.Loaded();
    at.options = &opt_;
    plan_ = PlanPage(*dialect_, settings_, header, at);
    lastStartPage_ = plan_.startPage;

    sink_.SetBetweenCommands(false);
    if (!dialect_->StartPage(stream_, plan_.startPage))
        ReportFailure("main() :: Start page Fail ! \n");
    sink_.SetBetweenCommands(true);

    buf_ = std::make_unique<Buffers>();
    if (!buf_->grey.Allocate(static_cast<size_t>(plan_.width) * plan_.windowRows) ||
        !buf_->mono.Allocate(plan_.bitmapBytes)) {
        buf_.reset();
        error_.Set("main() :: Malloc pGrayImgLineBuf or pMonoImgLineBuf or pMonoImgBuf Fail ! \n");
        std::fputs(error_.c_str(), log_);
        return JobFlow::EndJob;
    }
    linesIn_ = rowsKept_ = windowFirst_ = 0;
    return JobFlow::Continue;
}

// Dithers `rows` rows of the grey window that are rows first.. of the page.
void PrintJob::DitherBand(unsigned first, unsigned rows) {
    const size_t bandBytes = static_cast<size_t>(plan_.width) * settings_.screenBits / 8;
    const int64_t dots = HalftoneDitherRows(buf_->grey.get(), plan_.width, rows, first,
                                            buf_->mono.get() + bandBytes * first,
                                            plan_.header.cupsBytesPerLine, screen_);
    if (dots > 0) stream_.imageCoverage += static_cast<uint64_t>(dots);
}

// Lines wider than the page are centred, lines below the page are dropped, and the part of
// the page right of a shorter line is made white here (the buffer is not whitened beforehand,
// so each byte is written once). A banded page is dithered whenever its window is full.
void PrintJob::WriteLine(const uint8_t *line) {
    if (screenedLines_ && (line = PlaceOrExpandScreenedLine(line)) == nullptr) return;
    if (!buf_) return;
    const unsigned y = linesIn_++;
    const unsigned bpl = plan_.header.cupsBytesPerLine, W = plan_.width, H = plan_.height;
    if (y >= H || y >= plan_.header.cupsHeight) return;
    uint8_t *row = buf_->grey.get() + static_cast<size_t>(y - windowFirst_) * W;
    if (bpl > W) {
        std::memcpy(row, line + (bpl - W) / 2, W);
    } else {
        std::memcpy(row, line, bpl);
        std::memset(row + bpl, 0xFF, W - bpl);
    }
    rowsKept_ = y + 1;
    if (rowsKept_ - windowFirst_ == plan_.windowRows) {
        if (plan_.banded) DitherBand(windowFirst_, plan_.windowRows);
        windowFirst_ = rowsKept_;
    }
}

JobFlow PrintJob::EndPage() {
    if (!buf_) return JobFlow::EndJob;
    const unsigned W = plan_.width, H = plan_.height;
    // Rows that never came are white.
    for (; windowFirst_ < H; windowFirst_ += std::min(plan_.windowRows, H - windowFirst_)) {
        const unsigned n = std::min(plan_.windowRows, H - windowFirst_);
        const unsigned kept = rowsKept_ > windowFirst_ ? rowsKept_ - windowFirst_ : 0;
        std::memset(buf_->grey.get() + static_cast<size_t>(kept) * W, 0xFF,
                    static_cast<size_t>(n - kept) * W);
        if (plan_.banded) DitherBand(windowFirst_, n);
    }
    ReducePage();
    SendPlannedPage();
    buf_.reset();

    GDI_END_PAGE_PARAM &e = plan_.endPage;
    if (!dialect_->EndPage(stream_, e)) ReportFailure("main() :: End page Fail ! \n");
    sink_.SetBetweenCommands(true);
    if (sink_.OutputBroken()) return JobFlow::OutputGone;
    if (Canceled()) return JobFlow::EndJob;
    return JobFlow::Continue;
}

// Turns the grey page for duplex back sides, the ImageRotation option and long-edge feed, and
// reduces it to the printer's bitmap: by the colour library for the QV and Mirodel models when
// it is loaded, else by the driver's own screens (a banded page is dithered already).
void PrintJob::ReducePage() {
    std::fprintf(log_, "DEBUG: ##page is %d, rotate180 is %d\n", page_, plan_.backSideTurn);
    unsigned realWidth = plan_.header.cupsBytesPerLine;
    if (!plan_.banded) {
        if (plan_.turn180 && !Rotate180(buf_->grey.get(), plan_.width, plan_.height))
            ReportFailure("main() :: Rotate 180 Fail. \n");
        if (plan_.startPage.feedEdge == 0x40) {
            if (Rotate90(buf_->grey.get(), plan_.width, plan_.height))
                std::swap(plan_.width, plan_.height);
            realWidth = plan_.header.cupsHeight;
        }
        if (plan_.customRotate90) {
            if (Rotate90(buf_->grey.get(), plan_.width, plan_.height))
                std::swap(plan_.width, plan_.height);
            realWidth = plan_.header.cupsHeight;
        }
    }
    PageBuffer &grey = buf_->grey, &mono = buf_->mono;
    if (group_.libraryHalftones && cms_.Loaded()) {
        CMS_TRANSFER_SRC src{};
        CMS_SETTINGS cmsSettings{};
        CMS_TRANSFER_DST dst{};
        GetCMSinput(&src, grey.get(), plan_.startPage);
        GetCMSSettings(&cmsSettings, settings_, &opt_, plan_.startPage);
        GetCMSoutput(&dst, settings_, mono.get(), &src, static_cast<int>(mono.size));
        cms_.getVersion();
        if (cms_.printMainWithMessages != nullptr)
            cms_.printMainWithMessages(&src, &cmsSettings, &dst, WriteCmsMessage, log_);
        else
            cms_.printMain(&src, &cmsSettings, &dst);
        if (opt_.negativePrint)
            for (size_t i = 0; i < mono.size; ++i)
                mono.get()[i] = static_cast<uint8_t>(~mono.get()[i]);
        return;
    }
    const bool supercells = screen_.matrix == ScreenMatrix::Supercell600 ||
                            screen_.matrix == ScreenMatrix::Supercell1200;
    std::fputs(supercells ? "DEBUG: EXTERNAL IMPORT NEW_HALFTONE\n"
                          : "DEBUG: NO NEED TO EXTERNAL IMPORT NEW_HALFTONE\n",
               log_);
    if (!plan_.banded) {
        const int64_t dots =
            HalftoneDither(grey.get(), plan_.width, plan_.height, mono.get(), realWidth, screen_);
        if (dots > 0) stream_.imageCoverage += static_cast<uint64_t>(dots);
    }
    // A page announced as 2-bit must carry 2-bit data: where the screen gives 1 bit per pixel,
    // the result is widened at full strength.
    if (settings_.twoBitPages && settings_.screenBits != 2)
        Expand1BitTo2Bit(mono.get(), static_cast<size_t>(plan_.width) * plan_.height);
}

// Fills the page-data record and sends the bitmap.
void PrintJob::SendPlannedPage() {
    GDI_SEND_PAGE_PARAM p = PageDataRecord(*dialect_, settings_, plan_.width, plan_.height,
                                           plan_.header.HWResolution[0]);
    p.sendImgBuf = buf_->mono.get();
    sink_.SetBetweenCommands(false);
    if (!dialect_->SendPage(stream_, p, 0)) ReportFailure("main() :: Send page Fail!\n");
}

// Sends page start, an all-white bitmap and page end with the settings of the job's last page,
// numbered after it (where manual duplex prints even sides first, as a page of the job printed
// at once). Failures are reported and the sequence goes on, so the printer always gets a whole
// page.
void PrintJob::InsertBlankPage() {
    int pageNum;
    if (group_.evenSidesFirst && settings_.supportsManualDuplex) {
        SetPageNumber(page_ + 1);
        sink_.SetDeviceOutput(true);
        pageNum = page_;
    } else {
        pageNum = page_ + 1;
    }
    GDI_START_PAGE_PARAM &sp = lastStartPage_;
    sp.pageNum = static_cast<uint16_t>(pageNum);
    const unsigned width = sp.userPrntAreaW, height = sp.userPrntAreaH;
    const size_t bytes = ((sp.iIs2bit ? 2 * size_t{width} : width) * height + 7) / 8;
    PageBuffer white;
    white.Allocate(bytes ? bytes : 1);

    if (!dialect_->StartPage(stream_, sp))
        ReportFailure("InsertBlankPage() :: Start page Fail ! \n");
    GDI_SEND_PAGE_PARAM send =
        PageDataRecord(*dialect_, settings_, width, height, lastHeader_.HWResolution[0]);
    send.sendImgBuf = white.get();
    if (white.get() == nullptr) {
        error_.Set("InsertBlankPage() :: Malloc blank page Fail ! \n");
        ReportFailure("InsertBlankPage() :: Send page Fail!\n");
    } else if (!dialect_->SendPage(stream_, send, pageNum)) {
        ReportFailure("InsertBlankPage() :: Send page Fail!\n");
    }
    GDI_END_PAGE_PARAM end{};
    end.page = pageNum;
    if (!dialect_->EndPage(stream_, end)) ReportFailure("InsertBlankPage() :: End page Fail ! \n");
}

void PrintJob::EndJob() {
    if (opt_.duplex != Duplex::OneSided && page_ % 2 == 1) InsertBlankPage();
    if (group_.evenSidesFirst && page_ % 2 == 1 && opt_.manualDuplex && page_ != 1)
        InsertBlankPage();
    sink_.SetBetweenCommands(false);
    if (!Canceled() && !sink_.SpoolWriteFailed()) {
        SpoolReplay replay{stream_, *dialect_, canceled_, log_, page_};
        if (opt_.collate && copies_ > 1 && !opt_.manualDuplex) ReplayCollateCopies(replay, copies_);
        if (opt_.manualDuplex) {
            ReplayManualDuplex(replay, opt_.collate, copies_, lastStartPage_.tray,
                               [this] { InsertBlankPage(); });
        }
    }
    CloseAndRemoveSpools(sink_);
    GDI_END_DOC_PARAM endDoc{};
    endDoc.page = page_;
    endDoc.bMachDup = opt_.duplex != Duplex::OneSided ? 1 : 0;
    sink_.SetBetweenCommands(false);
    if (!dialect_->EndDoc(stream_, endDoc)) ReportFailure("main() :: End doc Fail ! \n");
}

// A page Ghostscript halftoned with the job's own screen: a line goes straight into the page
// bitmap where the page is banded and Ghostscript's screen has the phase the grey route dithers
// the line's part of the page with (the part is centred where the line is wider than the page);
// elsewhere (turned pages, another phase) it is taken as black and white grey and goes the grey
// way. Returns that grey line, or null when the line was placed (or lies outside the page).
const uint8_t *PrintJob::PlaceOrExpandScreenedLine(const uint8_t *line) {
    const cups_page_header2_t &h = plan_.header;
    const unsigned W = plan_.width;
    const unsigned first = h.cupsWidth > W ? (h.cupsWidth - W) / 2 : 0;
    const int period = SelectHalftoneScreen(screen_.matrix).period;
    if (buf_ && plan_.banded && settings_.screenBits == 1 && !settings_.twoBitPages &&
        (first + period - screenedShift_ % period) % period == 0) {
        const unsigned y = linesIn_++;
        if (y >= plan_.height || y >= h.cupsHeight) return nullptr;
        const int64_t dots = PlaceScreenedRow(line, first, std::min(h.cupsWidth, W), W,
                                              buf_->mono.get() + static_cast<size_t>(W / 8) * y,
                                              h.cupsBytesPerLine, screen_);
        if (dots > 0) stream_.imageCoverage += static_cast<uint64_t>(dots);
        rowsKept_ = windowFirst_ = y + 1;
        return nullptr;
    }
    if (linesIn_ == 0)
        std::fputs("DEBUG: The halftoned page is printed from its bitmap: its screen phase is not "
                   "the page's\n",
                   log_);
    expanded_.resize(h.cupsWidth);
    for (unsigned x = 0; x < h.cupsWidth; ++x)
        expanded_[x] = (line[x / 8] >> (7 - x % 8) & 1) ? 0xFF : 0x00;
    return expanded_.data();
}
