// The model catalogue: the models, the families whose settings they share, and the kinds of
// paper-table rows with their PPD and PWG names. The PPD sources (ppd/) are generated from it.
#include "common/model_catalogue.h"

#include <cstddef>
#include <cstring>
#include <iterator>
#include <strings.h>

namespace {

// Copies a text into a fixed-size field; a text that does not fit stops the build (a throw
// is not a constant expression).
template <std::size_t N> constexpr void Put(char (&field)[N], std::string_view text) {
    if (text.size() >= N) throw "text longer than its catalogue field";
    for (std::size_t i = 0; i < text.size(); ++i)
        field[i] = text[i];
}

// Offered by every model.
constexpr uint16_t kEveryModel = kOptTonerMode | kOptCollate | kOptDpi1200 | kOptFeedLongEdge |
                                 kOptImageRotation | kOptNegativePrint | kOptPrintQuality;

// Density levels of the models the filter halftones itself: 0 (lightest) to 4, 2 is the
// filter's own default.
constexpr DensityLevels kFilterDensity{0, 4, 2};
// Density curves of the colour library: 1 (lightest) to 5, 3 leaves the tones unchanged.
constexpr DensityLevels kLibraryDensity{1, 5, 3};

constexpr std::string_view kPutSheetsBack =
    "Put the printed sheets back in the paper tray to print their other side";

// What the models of one family share.
struct Family {
    std::string_view manufacturer;
    int8_t platform;
    ModelGroup group;
    PaperTable paper;
    bool prints1200dpi;
    bool dpi1200Is1200dpi;
    uint16_t maxWidth, maxLength;
    uint16_t options;
    DensityLevels density;
    std::string_view manualDuplexText;
};

// Platform C: the paper codes of the TK tables; 1200-dpi raster.
constexpr Family kKelvraTK76{.manufacturer = "Kelvra",
                             .platform = PLATFORM_C,
                             .group = ModelGroup::Plain,
                             .paper = PaperTable::TK76,
                             .prints1200dpi = true,
                             .dpi1200Is1200dpi = false,
                             .maxWidth = 612,
                             .maxLength = 1008,
                             .options = kEveryModel | kOptBooklet,
                             .density = kFilterDensity,
                             .manualDuplexText = {}};
constexpr Family kKelvraTK76MFP = [] {
    Family f = kKelvraTK76;
    f.paper = PaperTable::TK76MFP;
    return f;
}();
// Platform Z: two-sided jobs are printed in manual duplex by the filter.
constexpr Family kKelvraZ{.manufacturer = "Kelvra",
                          .platform = PLATFORM_Z,
                          .group = ModelGroup::Plain,
                          .paper = PaperTable::RT74_RTV72,
                          .prints1200dpi = false,
                          .dpi1200Is1200dpi = false,
                          .maxWidth = 842,
                          .maxLength = 1224,
                          .options = kEveryModel | kOptBooklet | kOptFineMode,
                          .density = kFilterDensity,
                          .manualDuplexText = kPutSheetsBack};
// Platform M.
constexpr Family kKelvraM{.manufacturer = "Kelvra",
                          .platform = PLATFORM_M,
                          .group = ModelGroup::Plain,
                          .paper = PaperTable::RT40_RTV54,
                          .prints1200dpi = false,
                          .dpi1200Is1200dpi = false,
                          .maxWidth = 612,
                          .maxLength = 1008,
                          .options = kEveryModel,
                          .density = kFilterDensity,
                          .manualDuplexText = {}};
// The QV models: platform Z with manual duplex, halftoned by the colour library. 600 dpi
// prints 2 bits per pixel; "1200 dpi Quality" prints 1 bit per pixel and needs the 1200-dpi
// raster. Locked (PIN) printing and blank-page suppression are sent in the job ticket.
constexpr Family kKelvraQV{.manufacturer = "Kelvra",
                           .platform = PLATFORM_Z,
                           .group = ModelGroup::QV,
                           .paper = PaperTable::RT74_RTV72,
                           .prints1200dpi = true,
                           .dpi1200Is1200dpi = true,
                           .maxWidth = 842,
                           .maxLength = 1224,
                           .options =
                               kEveryModel | kOptBlankSuppress | kOptBooklet | kOptLockedPrint,
                           .density = kLibraryDensity,
                           .manualDuplexText = kPutSheetsBack};
// The Mirodel models: platform M, halftoned by the colour library. "1200 dpi Quality" prints
// 2 bits per pixel at 600 dpi. Their job start carries no PJL, so they take no blank-page
// setting.
constexpr Family kMirodel{.manufacturer = "Mirodel",
                          .platform = PLATFORM_M,
                          .group = ModelGroup::Mirodel,
                          .paper = PaperTable::RT40_RTV54,
                          .prints1200dpi = true,
                          .dpi1200Is1200dpi = false,
                          .maxWidth = 612,
                          .maxLength = 1008,
                          .options = kEveryModel,
                          .density = kLibraryDensity,
                          .manualDuplexText = {}};

// One model of a family.
constexpr ModelInfo Model(const Family &f, std::string_view name, std::string_view ppdFile,
                          EngineBlock engine = EngineBlock::None,
                          HalftoneScreens screens = HalftoneScreens::Classic) {
    ModelInfo m{};
    Put(m.modelName, name);
    Put(m.ppdFileName, ppdFile);
    Put(m.manufacturer, f.manufacturer);
    m.platform = f.platform;
    m.group = f.group;
    m.paper = f.paper;
    m.prints1200dpi = f.prints1200dpi;
    m.dpi1200Is1200dpi = f.dpi1200Is1200dpi;
    m.engine = engine;
    m.screens = screens;
    m.maxWidth = f.maxWidth;
    m.maxLength = f.maxLength;
    m.options = f.options;
    m.density = f.density;
    Put(m.defaultMedia, "iso_a4_210x297mm");
    Put(m.manualDuplexText, f.manualDuplexText);
    return m;
}

constexpr ModelInfo kModels[] = {
    Model(kKelvraTK76, "Kelvra R10 Series", "kelvra-r10.ppd"),
    Model(kKelvraTK76, "Kelvra R12 Series", "kelvra-r12.ppd"),
    Model(kKelvraTK76MFP, "Kelvra V14 Series", "kelvra-v14.ppd"),
    Model(kKelvraTK76MFP, "Kelvra V16 Series", "kelvra-v16.ppd"),
    Model(kKelvraZ, "Kelvra R18 Series", "kelvra-r18.ppd", EngineBlock::R18),
    Model(kKelvraZ, "Kelvra V20-V22 Series", "kelvra-v20-v22.ppd", EngineBlock::V72),
    Model(kKelvraZ, "Kelvra V24 Series", "kelvra-v24.ppd"),
    Model(kKelvraZ, "Kelvra V24D Series", "kelvra-v24d.ppd"),
    Model(kKelvraZ, "Kelvra V24DW Series", "kelvra-v24dw.ppd"),
    Model(kKelvraZ, "Kelvra V24DW Plus Series", "kelvra-v24dw-plus.ppd", EngineBlock::None,
          HalftoneScreens::Supercell96),
    Model(kKelvraZ, "Kelvra V26 Series", "kelvra-v26.ppd"),
    Model(kKelvraZ, "Kelvra V26DW Series", "kelvra-v26dw.ppd"),
    Model(kKelvraZ, "Kelvra V26FDW Series", "kelvra-v26fdw.ppd"),
    Model(kKelvraZ, "Kelvra V28FDW Series", "kelvra-v28fdw.ppd"),
    Model(kKelvraZ, "Kelvra R30 Series", "kelvra-r30.ppd"),
    Model(kKelvraZ, "Kelvra R30DW Series", "kelvra-r30dw.ppd"),
    Model(kKelvraZ, "Kelvra R32 Series", "kelvra-r32.ppd"),
    Model(kKelvraZ, "Kelvra R32D Series", "kelvra-r32d.ppd"),
    Model(kKelvraZ, "Kelvra R32DW Series", "kelvra-r32dw.ppd"),
    Model(kKelvraZ, "Kelvra R34 Series", "kelvra-r34.ppd"),
    Model(kKelvraZ, "Kelvra R34W Series", "kelvra-r34w.ppd"),
    Model(kKelvraZ, "Kelvra V36 Series", "kelvra-v36.ppd"),
    Model(kKelvraZ, "Kelvra V36NW Series", "kelvra-v36nw.ppd"),
    Model(kKelvraM, "Kelvra R38 Series", "kelvra-r38.ppd"),
    Model(kKelvraM, "Kelvra R38W Series", "kelvra-r38w.ppd"),
    Model(kKelvraM, "Kelvra R40 Series", "kelvra-r40.ppd"),
    Model(kKelvraM, "Kelvra R40N Series", "kelvra-r40n.ppd"),
    Model(kKelvraM, "Kelvra R40W Series", "kelvra-r40w.ppd"),
    Model(kKelvraM, "Kelvra R40NW Series", "kelvra-r40nw.ppd"),
    Model(kKelvraM, "Kelvra R42 Series", "kelvra-r42.ppd"),
    Model(kKelvraM, "Kelvra R42N Series", "kelvra-r42n.ppd"),
    Model(kKelvraM, "Kelvra X44 Series", "kelvra-x44.ppd"),
    Model(kKelvraM, "Kelvra R46NW Series", "kelvra-r46nw.ppd"),
    Model(kKelvraM, "Kelvra R48 Series", "kelvra-r48.ppd"),
    Model(kKelvraM, "Kelvra R48N Series", "kelvra-r48n.ppd"),
    Model(kKelvraM, "Kelvra R48NW Series", "kelvra-r48nw.ppd"),
    Model(kKelvraM, "Kelvra R50 Series", "kelvra-r50.ppd"),
    Model(kKelvraM, "Kelvra R50N Series", "kelvra-r50n.ppd"),
    Model(kKelvraM, "Kelvra V52W Series", "kelvra-v52w.ppd"),
    Model(kKelvraM, "Kelvra V54 Series", "kelvra-v54.ppd"),
    Model(kKelvraM, "Kelvra V54N Series", "kelvra-v54n.ppd"),
    Model(kKelvraM, "Kelvra V54NW Series", "kelvra-v54nw.ppd"),
    Model(kKelvraM, "Kelvra V54W Series", "kelvra-v54w.ppd"),
    Model(kKelvraM, "Kelvra V56NW Series", "kelvra-v56nw.ppd"),
    Model(kKelvraM, "Kelvra V58 Series", "kelvra-v58.ppd"),
    Model(kKelvraM, "Kelvra V58N Series", "kelvra-v58n.ppd"),
    Model(kKelvraM, "Kelvra V58W Series", "kelvra-v58w.ppd"),
    Model(kKelvraM, "Kelvra V58NW Series", "kelvra-v58nw.ppd"),
    Model(kKelvraM, "Kelvra V60 Series", "kelvra-v60.ppd"),
    Model(kKelvraM, "Kelvra V60N Series", "kelvra-v60n.ppd"),
    Model(kKelvraM, "Kelvra V60NW Series", "kelvra-v60nw.ppd"),
    Model(kKelvraM, "Kelvra V60W Series", "kelvra-v60w.ppd"),
    Model(kKelvraM, "Kelvra V62W Series", "kelvra-v62w.ppd"),
    Model(kKelvraM, "Kelvra VX64NW Series", "kelvra-vx64nw.ppd"),
    Model(kKelvraQV, "Kelvra QV66ADN Series", "kelvra-qv66adn.ppd"),
    Model(kKelvraQV, "Kelvra QV66ADW Series", "kelvra-qv66adw.ppd"),
    Model(kKelvraQV, "Kelvra QV66N Series", "kelvra-qv66n.ppd"),
    Model(kKelvraQV, "Kelvra QV68ADW Series", "kelvra-qv68adw.ppd"),
    Model(kKelvraQV, "Kelvra QV68ADN Series", "kelvra-qv68adn.ppd"),
    Model(kMirodel, "Mirodel R70-pp Series", "mirodel-r70-pp.ppd"),
    Model(kMirodel, "Mirodel V70-pp Series", "mirodel-v70-pp.ppd"),
};

constexpr char kPaperTableNames[][16] = {"TK76", "TK76MFP", "RT74_RTV72", "RT40_RTV54"};

// One kind of paper-table row.
constexpr PaperMedia Media(std::string_view rowName, int16_t width, int16_t length,
                           std::string_view ppdName, std::string_view ppdText,
                           std::string_view pwgName) {
    PaperMedia m{};
    Put(m.rowName, rowName);
    m.width = width;
    m.length = length;
    Put(m.ppdName, ppdName);
    Put(m.ppdText, ppdText);
    Put(m.pwgName, pwgName);
    return m;
}

// The PageSize keyword is the row name except where that is not the standard keyword for
// the size (IOSB5, the 148 x 200 mm "Postcard") or not ASCII (11x17). PWG names: the
// standard name of the size where PWG has one, else a custom name with the size.
constexpr PaperMedia kMedia[] = {
    Media("A5", 420, 595, "A5", "A5", "iso_a5_148x210mm"),
    Media("A4", 595, 842, "A4", "A4", "iso_a4_210x297mm"),
    Media("A3", 842, 1191, "A3", "A3", "iso_a3_297x420mm"),
    Media("A6", 298, 420, "A6", "A6", "iso_a6_105x148mm"),
    Media("Letter", 612, 792, "Letter", "US Letter", "na_letter_8.5x11in"),
    Media("Legal", 612, 1008, "Legal", "US Legal", "na_legal_8.5x14in"),
    Media("B4", 729, 1032, "B4", "JIS B4", "jis_b4_257x364mm"),
    Media("B5", 516, 729, "B5", "JIS B5", "jis_b5_182x257mm"),
    // 125 x 176 mm: the ISO size, whatever the PPD text says.
    Media("B6", 354, 499, "B6", "JIS B6", "iso_b6_125x176mm"),
    Media("IOSB5", 499, 709, "ISOB5", "ISO B5", "iso_b5_176x250mm"),
    Media("Executive", 522, 756, "Executive", "Executive", "na_executive_7.25x10.5in"),
    Media("Statement", 396, 612, "Statement", "Statement", "na_invoice_5.5x8.5in"),
    Media("Folio", 612, 936, "Folio", "Folio", "na_foolscap_8.5x13in"),
    Media("Oficio", 612, 972, "Oficio", "Oficio", "custom_oficio_8.5x13.5in"),
    Media("11\xC3\x97"
          "17",
          792, 1224, "Tabloid", "11x17", "na_ledger_11x17in"),
    Media("8K", 765, 1106, "8K", "8K", "custom_8k_270x390mm"),
    Media("16K", 524, 737, "16K", "16K", "custom_16k_185x260mm"),
    Media("Big16K", 553, 765, "Big16K", "Big 16K", "custom_big16k_195x270mm"),
    Media("32K", 369, 524, "32K", "32K", "custom_32k_130x185mm"),
    Media("Big32K", 383, 553, "Big32K", "Big 32K", "custom_big32k_135x195mm"),
    Media("Postcard", 283, 420, "Postcard", "Postcard", "jpn_hagaki_100x148mm"),
    Media("JPNPostcard", 283, 420, "JPNPostcard", "Japanese Postcard", "jpn_hagaki_100x148mm"),
    Media("Postcard", 419, 566, "DoublePostcardRotated", "Double Postcard (148 x 200 mm)",
          "jpn_oufuku_148x200mm"),
    Media("EnvMonarch", 279, 540, "EnvMonarch", "Envelope Monarch", "na_monarch_3.875x7.5in"),
    Media("Com10Envelope", 297, 684, "Com10Envelope", "Envelope #10", "na_number-10_4.125x9.5in"),
    Media("EnvDL", 312, 624, "EnvDL", "Envelope DL", "iso_dl_110x220mm"),
    Media("EnvC4", 649, 919, "EnvC4", "Envelope C4", "iso_c4_229x324mm"),
    Media("EnvC5", 459, 649, "EnvC5", "Envelope C5", "iso_c5_162x229mm"),
    Media("EnvC6", 323, 459, "EnvC6", "Envelope C6", "iso_c6_114x162mm"),
    Media("ZL", 340, 652, "ZL", "Envelope ZL", "custom_zl_120x230mm"),
    Media("Y4_Z", 297, 666, "Y4_Z", "Envelope Y4", "jpn_you4_105x235mm"),
    Media("Y3_Z", 340, 666, "Y3_Z", "Envelope Y3", "jpn_chou3_120x235mm"),
    Media("Y2_Z", 331, 467, "Y2_Z", "Envelope Y2", "custom_y2_116.8x164.7mm"),
    Media("N3_Z", 348, 666, "N3_Z", "Envelope N3", "custom_n3_122.8x235mm"),
};

} // namespace

// The paper table of a model the catalogue does not list, by the dialect its PPD names.
struct PlatformPaper {
    char name[12]; // the PPD's PlatForm keyword, compared without case
    int8_t platform;
    PaperTable paper;
};
// Checked in this order.
constexpr PlatformPaper kPlatformPapers[] = {
    {"PLATFORM_M", PLATFORM_M, PaperTable::RT40_RTV54},
    {"PLATFORM_C", PLATFORM_C, PaperTable::TK76},
    {"PLATFORM_Z", PLATFORM_Z, PaperTable::RT74_RTV72},
};

// The rows of kGroupTraits follow the order of ModelGroup.
constexpr GroupTraits kGroupTraits[] = {
    // Plain
    {.libraryHalftones = false,
     .pageFromJobOptions = false,
     .feedsLongEdgeBySize = false,
     .trayForEveryMedia = false,
     .longEdgeEverySize = false,
     .longEdgePaperCodes = false,
     .evenSidesFirst = false,
     .lockedPrint = false,
     .libraryByBitDepth = false,
     .quality1200Raster = false,
     .bitsWith1200 = 1,
     .bitsWithout1200 = 1},
    // QV: 1 bit at 1200 dpi or 2 bits at 600 dpi
    {.libraryHalftones = true,
     .pageFromJobOptions = true,
     .feedsLongEdgeBySize = true,
     .trayForEveryMedia = true,
     .longEdgeEverySize = true,
     .longEdgePaperCodes = true,
     .evenSidesFirst = true,
     .lockedPrint = true,
     .libraryByBitDepth = false,
     .quality1200Raster = true,
     .bitsWith1200 = 1,
     .bitsWithout1200 = 2},
    // Mirodel: 2 bits at 600 dpi with "1200 dpi Quality", else 1 bit
    {.libraryHalftones = true,
     .pageFromJobOptions = false,
     .feedsLongEdgeBySize = false,
     .trayForEveryMedia = false,
     .longEdgeEverySize = false,
     .longEdgePaperCodes = false,
     .evenSidesFirst = false,
     .lockedPrint = false,
     .libraryByBitDepth = true,
     .quality1200Raster = false,
     .bitsWith1200 = 2,
     .bitsWithout1200 = 1},
};
static_assert(std::size(kGroupTraits) == static_cast<std::size_t>(ModelGroup::Mirodel) + 1);

const GroupTraits &TraitsOf(ModelGroup group) {
    const auto i = static_cast<std::size_t>(group);
    return kGroupTraits[i < std::size(kGroupTraits) ? i : 0];
}

// Platform C has a 28 x 28 matrix for its 1200-dpi option, platform Z a 16 x 16 one or the
// supercells of the models that have them; platform M dithers 2 bits per pixel with the 600-dpi
// matrix for the 1200-dpi option and reports no dot count.
ScreenSpec ScreenOf(int platform, bool supercells, bool dpi1200) {
    switch (platform) {
    case PLATFORM_C:
        return {dpi1200 ? ScreenMatrix::Classic1200C : ScreenMatrix::Classic600, 1, true};
    case PLATFORM_Z:
        if (supercells)
            return {dpi1200 ? ScreenMatrix::Supercell1200 : ScreenMatrix::Supercell600, 1, true};
        return {dpi1200 ? ScreenMatrix::Classic1200Z : ScreenMatrix::Classic600, 1, true};
    case PLATFORM_M:
        return {ScreenMatrix::Classic600, static_cast<uint8_t>(dpi1200 ? 2 : 1), false};
    default:
        return {};
    }
}

// A switch rather than a table of pointers keeps the catalogue free of relocated data.
const PAPER_SIZE_INFO *PaperRows(PaperTable table) {
    switch (table) {
    case PaperTable::TK76:
        return gPaperSizeArray_TK76;
    case PaperTable::TK76MFP:
        return gPaperSizeArray_TK76MFP;
    case PaperTable::RT74_RTV72:
        return gPaperSizeArray_RT74_RTV72;
    case PaperTable::RT40_RTV54:
        return gPaperSizeArray_RT40_RTV54;
    }
    return nullptr;
}

// The table's name as the gPaperSizeArray_ suffix.
const char *PaperTableName(PaperTable table) {
    const auto i = static_cast<std::size_t>(table);
    return i < std::size(kPaperTableNames) ? kPaperTableNames[i] : "";
}

// See the header.
const PAPER_SIZE_INFO *ModelInfo::PaperRows() const {
    return ::PaperRows(paper);
}

// The PPD file name without its ".ppd".
std::string_view ModelInfo::DriverName() const {
    std::string_view file = ppdFileName;
    if (file.ends_with(".ppd")) file.remove_suffix(4);
    return file;
}

std::span<const ModelInfo> AllModels() {
    return kModels;
}

// Linear search: 61 rows, looked up once per job.
const ModelInfo *FindModel(std::string_view modelName) {
    for (const ModelInfo &m : kModels)
        if (modelName == m.modelName) return &m;
    return nullptr;
}

// Accepts the driver name with or without the ".ppd" of the file name.
const ModelInfo *FindModelByDriver(std::string_view driverName) {
    if (driverName.ends_with(".ppd")) driverName.remove_suffix(4);
    for (const ModelInfo &m : kModels)
        if (driverName == m.DriverName()) return &m;
    return nullptr;
}

std::span<const PaperMedia> AllPaperMedia() {
    return kMedia;
}

// A row's kind: same name and same size.
const PaperMedia *MediaOfRow(const PAPER_SIZE_INFO &row) {
    for (const PaperMedia &m : kMedia)
        if (m.width == row.cupsPaperW && m.length == row.cupsPaperH &&
            std::strncmp(m.rowName, row.strPageSize, sizeof row.strPageSize) == 0)
            return &m;
    return nullptr;
}

// The PWG name of the row's kind.
const char *PwgMediaOfRow(const PAPER_SIZE_INFO &row) {
    const PaperMedia *m = MediaOfRow(row);
    return m ? m->pwgName : nullptr;
}

// First row whose kind has this PWG name.
int PaperRowOfPwgMedia(const PAPER_SIZE_INFO *table, std::string_view pwgName) {
    if (table == nullptr) return -1;
    for (int i = 0; table[i].cupsPaperW != -1; ++i) {
        const char *name = PwgMediaOfRow(table[i]);
        if (name != nullptr && pwgName == name) return i;
    }
    return -1;
}

bool GetPaperSizeArrayByPlatformName(const char *platformText, int *pPlatform,
                                     const PAPER_SIZE_INFO **pArray) {
    if (platformText == nullptr) return false;
    for (const PlatformPaper &p : kPlatformPapers) {
        if (strcasecmp(platformText, p.name) != 0) continue;
        *pPlatform = p.platform;
        *pArray = PaperRows(p.paper);
        return true;
    }
    return false;
}
