// What one job decided before its first page: the model and its dialect, the bit depth, the
// duplex and blank-page modes, the print options, the page-size requests and who sent the job.
// A front end (the CUPS filter from argv, the environment and the PPD; the Printer Application
// from the IPP job ticket) fills it once; every layer below reads it and none reads a model
// name, a PPD or the environment to decide.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "common/dialect.h"
#include "common/paper_catalogue.h"

// The paper source; the page-start frame carries these codes.
enum class Tray : uint8_t { Auto = 0, ManualFeed = 1, AutoFeed = 2, Tray1 = 3, Tray2 = 4 };

// Two-sided printing as a page header asks for it.
enum class Duplex : uint8_t { OneSided = 0, LongEdge = 1, ShortEdge = 2 };

// The edge the paper is fed by. BySize: the groups that feed by size feed the standard sizes
// long edge first, the others short edge first.
enum class FeedEdge : uint8_t { Short = 0, Long = 1, BySize = 2 };

// Toner save as the job names it. The colour library is given the code as it is: a job that
// does not name it (2) or names it with another word (3) saves no toner.
enum class TonerMode : uint8_t { Normal = 0, Save = 1, Unnamed = 2, Other = 3 };

// Blank-page suppression: the printer's own setting, off or on.
enum class BlankPages : uint8_t { PrinterSetting = 1, Print = 2, Skip = 3 };

// Print quality: the "1200 dpi Quality" mode (what it prints depends on the model's group) or
// the queue's resolution.
enum class Quality : uint8_t { Normal = 0, Dpi1200 = 1 };

// The job's options: what the job asks the printer and the driver to do.
struct PrintOptions {
    Duplex duplex = Duplex::OneSided; // per page, from its header
    bool manualDuplex = false;        // the job prints the two sides in two passes
    int density = 2;                  // density level of the page start
    TonerMode toner = TonerMode::Unnamed;
    FeedEdge feed = FeedEdge::BySize;
    Quality quality = Quality::Normal;
    Tray tray = Tray::Auto;
    BlankPages blankPages = BlankPages::Print;
    bool negativePrint = false;
    bool rotate180 = false;
    bool collate = false; // the driver makes the copies, collated
    bool fineMode = false;
    bool booklet = false;

    bool SavesToner() const { return toner == TonerMode::Save; }
    // The density level the page start carries: 0 when toner is saved.
    uint8_t DensityLevel() const { return SavesToner() ? 0 : static_cast<uint8_t>(density); }
    bool operator==(const PrintOptions &) const = default;
};

// Who sent the job: the texts the job ticket of the job start carries.
struct JobIdentity {
    int jobId = 0;         // job id as a number (the job-specification frames carry it)
    std::string jobIdText; // job id as given (the ticket's job name falls back to it)
    std::string user;      // requesting user
    std::string title;     // job title
    std::string host;      // name of the computer the job comes from
    std::time_t time = 0;  // when the job was started; 0: the local time at its job start
};

struct JobSettings {
    std::string modelName; // for messages only: decisions use the fields below
    int platform = PLATFORM_NONE;
    ModelGroup group = ModelGroup::Plain;
    EngineBlock engine = EngineBlock::None;
    bool newScreens = false; // the model dithers with the 96 x 96 supercell screens
    const PAPER_SIZE_INFO *paperTable = nullptr;

    // Bit depth: the QV models print 1 bit at 1200 dpi or 2 bits at 600 dpi; the Mirodel
    // models 1 or 2 bits at 600 dpi.
    bool is1200dpi = false;
    int colorBits = 1;
    bool twoBitPages = false; // every page is sent with 2 bits per pixel
    int screenBits = 1;       // bits per pixel of the filter's own screens

    bool supportsManualDuplex = false; // two-sided jobs are printed in manual duplex
    std::string manualDuplexMessage;   // what the user is told between the two passes

    // The options as the job (and, on platform Z, the queue defaults) set them. Duplex follows
    // each page header and is decided per page.
    PrintOptions options;

    // Page size requests and the printer's limits.
    bool customPageRequested = false;  // the options ask for "PageSize=Custom…"
    bool documentNameSupplied = false; // the options carry "document-name-supplied"
    bool customSizeParsed = false;     // customWidth/customHeight come from the request
    float customWidth = 595.0f;        // custom page size in points
    float customHeight = 842.0f;
    std::string mediaName;      // the page's media name from the options ("PageSize" or "Media")
    bool pageSizeGiven = false; // the options name a PageSize
    std::string pageSizeName;   // its value
    unsigned maxPageWidth = 0;  // largest page the printer takes, points (0: no limit known)
    unsigned maxPageHeight = 0;
    float hwMargins[4] = {0, 0, 0, 0}; // hardware margins: left, bottom, right, top (points)

    JobIdentity identity;
    bool lockedPrint = false; // the printer holds the job until its PIN is entered
    std::string pin;          // the PIN of a locked job (digits)
};

struct ModelInfo;

// Takes the model's dialect, paper table, group, engine-parameter frame and screens from its
// catalogue row.
void ApplyModel(JobSettings &s, const ModelInfo &model);

// Decides the bit depth once the model and the options are known: the QV models print
// 1 bit at 1200 dpi or 2 bits at 600 dpi, the Mirodel models 2 bits when `wants1200`, platform M
// 2 bits with the DPI1200 option; the driver's own screens give 2 bits only on platform M with
// that option.
void ResolveBitDepth(JobSettings &s, bool wants1200);
