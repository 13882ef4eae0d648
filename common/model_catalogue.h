// The model catalogue: one row per printer model with what the filter, the PPD generator and
// the printer application need to know about it, and the PWG media names of the paper-table
// rows. The rows hold no pointers (texts are arrays, paper tables are named by an id), so
// the whole catalogue is constant data in read-only memory, also in position-independent code.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "common/dialect.h"
#include "common/paper_catalogue.h"

// The paper tables of common/paper_tables.cpp.
enum class PaperTable : uint8_t { TK76, TK76MFP, RT74_RTV72, RT40_RTV54 };

// Threshold matrices the filter dithers with: the 16 x 16 (28 x 28) screens, or the 96 x 96
// supercells.
enum class HalftoneScreens : uint8_t { Classic, Supercell96 };

// Options a model offers besides page size, paper source, resolution, duplex and density; the
// option catalogue (common/option_catalogue.h) describes each.
enum ModelOption : uint16_t {
    kOptTonerMode = 1u << 0,
    kOptCollate = 1u << 1,
    kOptDpi1200 = 1u << 2, // "1200 dpi Quality"
    kOptFeedLongEdge = 1u << 3,
    kOptImageRotation = 1u << 4,
    kOptNegativePrint = 1u << 5,
    kOptBlankSuppress = 1u << 6,
    kOptBooklet = 1u << 7,
    kOptFineMode = 1u << 8,
    kOptLockedPrint = 1u << 9,   // LockedPinPrint with PinNum1-PinNum4
    kOptPrintQuality = 1u << 10, // cupsPrintQuality: draft, normal, high (the 1200-dpi mode)
};

// The Density option: levels lightest..darkest (darker with each level), default normal.
struct DensityLevels {
    uint8_t lightest;
    uint8_t darkest;
    uint8_t normal;
};

// What a model group does differently from the rest of the family. The job core, the
// dialects and the front ends read these instead of comparing groups.
struct GroupTraits {
    // The colour library halftones the pages when it is loaded: bitmaps are given in pixels
    // of the job's bit depth, and the stream carries no 00 00 separators.
    bool libraryHalftones;
    // The job's custom size and media name decide the page: a custom request names the page
    // "Custom", its size comes from the options (a size wider than high is turned by 90
    // degrees), and a named page takes the paper row of its media name.
    bool pageFromJobOptions;
    bool feedsLongEdgeBySize; // standard sizes go long edge first unless the job says
    bool trayForEveryMedia;   // every media type takes the chosen tray (else only some do)
    bool longEdgeEverySize;   // FeedLongEdge feeds every paper size long edge first
    bool longEdgePaperCodes;  // the standard sizes have long-edge paper codes of their own
    // Manual duplex prints the even pages during the pass (the blank back side of an odd job
    // among them) and the odd pages after the command; else odd pages first.
    bool evenSidesFirst;
    bool lockedPrint; // jobs can be held at the printer until a PIN is entered
    // The colour library runs at the job's bit depth with fixed tone settings (else at the
    // raster's resolution with the job's toner options).
    bool libraryByBitDepth;
    // Bit depth: "1200 dpi Quality" prints the 1200-dpi raster (the page-data record says
    // which); the bits per pixel with and without that option.
    bool quality1200Raster;
    uint8_t bitsWith1200;
    uint8_t bitsWithout1200;
};

// The traits of a model group.
const GroupTraits &TraitsOf(ModelGroup group);

// The driver's own halftoning for a platform: its matrix by the 1200-dpi option and whether
// the model has the 96 x 96 supercells, its bits per pixel and whether it counts dots.
ScreenSpec ScreenOf(int platform, bool supercells, bool dpi1200);

struct ModelInfo {
    char modelName[32];   // the PPD's *ModelName, compared whole and case-sensitively
    char ppdFileName[32]; // the PPD's *PCFileName; without ".ppd" it is the driver name
    char manufacturer[8];
    int8_t platform; // command dialect: PLATFORM_C, PLATFORM_Z or PLATFORM_M
    ModelGroup group;
    PaperTable paper;
    bool prints1200dpi;    // the PPD offers the 1200-dpi raster besides 600 dpi
    bool dpi1200Is1200dpi; // "1200 dpi Quality" prints the 1200-dpi raster (PPD ties them)
    EngineBlock engine;
    HalftoneScreens screens;
    uint16_t maxWidth;  // largest custom page size, points
    uint16_t maxLength; // points
    uint16_t options;   // ModelOption bits
    DensityLevels density;
    char defaultMedia[32]; // PWG name of the default page size
    // "MDuplex": what the user is told between the passes of a two-sided job printed in
    // manual duplex ("SupportManualDuplex"); empty where two-sided jobs are not turned into
    // manual duplex. At most 80 characters: the filter reads no more.
    char manualDuplexText[81];

    // The rows of the model's paper table (ending with the end row).
    const PAPER_SIZE_INFO *PaperRows() const;
    // The driver name: the PPD file name without ".ppd".
    std::string_view DriverName() const;
    // Whether two-sided jobs are printed in manual duplex.
    bool ManualDuplex() const { return manualDuplexText[0] != '\0'; }
    // Whether the model offers the option.
    bool Offers(ModelOption option) const { return (options & option) != 0; }
    // Whether the model feeds the standard paper sizes long edge first by itself unless a job
    // says otherwise (FeedLongEdge "Auto"): the QV models.
    bool FeedsLongEdgeBySize() const { return TraitsOf(group).feedsLongEdgeBySize; }
    // Whether the model prints two-sided: by itself on platform C, in manual duplex on Z;
    // platform M has no duplex command.
    bool Duplex() const { return platform != PLATFORM_M; }
};

// Custom page sizes, as the PPDs' MinSize and HWMargins give them: the smallest size every
// model takes and the margins a custom page keeps (left, bottom, right, top), in points.
constexpr uint16_t kCustomMinWidth = 216;
constexpr uint16_t kCustomMinLength = 360;
constexpr float kCustomMargins[4] = {12, 12, 12, 0};

// Every model, in the order of the PPD sources.
std::span<const ModelInfo> AllModels();

// The model with exactly this *ModelName (whole, case-sensitive), or nullptr.
const ModelInfo *FindModel(std::string_view modelName);

// The model with this driver name ("kelvra-r18") or PPD file name ("kelvra-r18.ppd"), or nullptr.
const ModelInfo *FindModelByDriver(std::string_view driverName);

// The rows of a paper table and its name ("RT74_RTV72", as in gPaperSizeArray_RT74_RTV72).
const PAPER_SIZE_INFO *PaperRows(PaperTable table);
const char *PaperTableName(PaperTable table);

// One kind of paper-table row: the row's name and size, the PPD page-size keyword and text it
// is offered under, and its PWG 5101.1 media name. Rows of different tables with the same name
// and size are one kind.
struct PaperMedia {
    char rowName[15]; // strPageSize of the rows
    int16_t width;    // points, as the rows
    int16_t length;   // points
    char ppdName[24]; // PageSize keyword
    char ppdText[32]; // PageSize text
    char pwgName[32]; // e.g. "iso_a4_210x297mm", "custom_16k_185x260mm"
};

// Every kind of paper-table row.
std::span<const PaperMedia> AllPaperMedia();

// The kind of this paper-table row, or nullptr for a row the catalogue does not know.
const PaperMedia *MediaOfRow(const PAPER_SIZE_INFO &row);

// The PWG media name of a row, or nullptr.
const char *PwgMediaOfRow(const PAPER_SIZE_INFO &row);

// Index of the first row of the table (ended by its end row) with this PWG media name, or -1.
// Media are matched by name, not size: a PWG raster header gives A4 as 595 x 841 points.
int PaperRowOfPwgMedia(const PAPER_SIZE_INFO *table, std::string_view pwgName);
