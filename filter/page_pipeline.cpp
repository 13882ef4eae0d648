#include "filter/page_pipeline.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <strings.h>

#include "cmslib/cms_records.h"
#include "common/globals.h"
#include "common/last_error.h"
#include "common/model_groups.h"
#include "common/page_memory.h"
#include "common/rotate.h"
#include "filter/cms_records_fill.h"
#include "filter/cups_binding.h"
#include "filter/page_header_log.h"
#include "imaging/halftone.h"
#include "prnt/prnt.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

// A QV custom page that must be turned by 90 degrees (set by the paper-row step).
bool IsCustomRotate90 = false;

namespace {

bool Contains(const char *haystack, const char *needle) {
    return haystack && strcasestr(haystack, needle) != nullptr;
}

const char *JobOptions(const JOB_STATE &job) { return job.argc > 5 ? job.argv[5] : ""; }

// A page buffer that is released with the page, however the page ends. It comes zeroed (page
// memory: huge pages for the large ones); a non-zero `fill` is written over it.
struct PageBuffer {
    PageMemory data;
    size_t size = 0;
    bool Allocate(size_t bytes, uint8_t fill) {
        data = AllocPageMemory(bytes);
        size = bytes;
        if (data && fill != 0) std::memset(data.get(), fill, bytes ? bytes : 1);
        return data != nullptr;
    }
    uint8_t *get() { return data.get(); }
};

struct PageGeometry {
    unsigned fwImgWPixel = 0;
    unsigned fwImgHPixel = 0;
    uint16_t marginX = 0;
    uint16_t marginY = 0;
    int paperArrayIndex = -1;
};

// Rounds a computed page dimension up to a multiple of `unit`; never below one unit.
unsigned RoundUpTo(double pixels, unsigned unit) {
    unsigned v = pixels > 0 ? static_cast<unsigned>(pixels) : 0;
    v = (v + unit - 1) / unit * unit;
    return std::max(v, unit);
}

// Chooses the catalogue row of the page, or leaves the index at -1 for a computed size.
void FindPaperRow(JOB_STATE &job, PageGeometry &geo) {
    cups_page_header2_t &h = job.header;
    if (job.paperSizeArray == nullptr) return;
    isCutThePaper(&h, job.paperSizeArray, job.num_option, job.options, job.ppd);
    const bool qv = IsQVModel(gPPDFile);
    const bool customName = Contains(h.cupsPageSizeName, "custom");
    const char *argv5 = JobOptions(job);
    if (qv && customName && Contains(argv5, "PageSize=Custom")) {
        const bool isastra = Contains(job.os_info, "astra");
        job.customflag = GetCustomSize(argv5, &job.customwidth, &job.customheight, isastra);
        if (job.customwidth > job.customheight && h.PageSize[0] < h.PageSize[1] &&
            GetPaperArrayIndex(h.PageSize, job.paperSizeArray,
                               &job.prntFuncInfo[LONGEDGEFEED].value) != -1)
            IsCustomRotate90 = true;
        return; // a QV custom size is always computed
    }
    if (qv && customName) {
        if (Contains(argv5, "document-name-supplied")) {
            geo.paperArrayIndex = GetPaperArrayIndex(h.PageSize, job.paperSizeArray,
                                                     &job.prntFuncInfo[LONGEDGEFEED].value);
        } else {
            char medianame[kMediaNameSize] = {};
            Getmediasizename(job.argv, medianame, sizeof medianame);
            geo.paperArrayIndex = GetPaperArrayIndexbyPaperName(job.paperSizeArray, medianame);
            std::memset(h.cupsPageSizeName, 0, sizeof h.cupsPageSizeName);
            std::snprintf(h.cupsPageSizeName, sizeof h.cupsPageSizeName, "%s", medianame);
        }
    } else {
        geo.paperArrayIndex = GetPaperArrayIndex(h.PageSize, job.paperSizeArray,
                                                 &job.prntFuncInfo[LONGEDGEFEED].value);
    }
    if (geo.paperArrayIndex < 0) return;
    const PAPER_SIZE_INFO &row = job.paperSizeArray[geo.paperArrayIndex];
    geo.fwImgWPixel = static_cast<unsigned>(row.fwPaperW);
    geo.fwImgHPixel = static_cast<unsigned>(row.fwPaperH);
    job.startPageParam.paperSize = static_cast<uint16_t>(row.fwPaperNum);
    geo.marginX = row.fwPaperMarginX;
    geo.marginY = row.fwPaperMarginY;
}

// Page size from the header's PageSize less the PPD's hardware margins, at 600 dpi.
void ComputePageSize(JOB_STATE &job, PageGeometry &geo) {
    const float *m = job.ppd ? job.ppd->custom_margins : nullptr; // left, bottom, right, top
    const float L = m ? m[0] : 0, B = m ? m[1] : 0, R = m ? m[2] : 0, T = m ? m[3] : 0;
    const float w = static_cast<float>(job.header.PageSize[0]) - L - R;
    const float h = static_cast<float>(job.header.PageSize[1]) - B - T;
    geo.fwImgWPixel = RoundUpTo(static_cast<double>(w) / 72.0 * 600.0, 32);
    const bool rotateCustom = IsQVModel(gPPDFile) && IsCustomRotate90;
    geo.fwImgHPixel = RoundUpTo(static_cast<double>(h) / 72.0 * 600.0, rotateCustom ? 32 : 8);
    geo.paperArrayIndex = -1;
    job.startPageParam.paperSize = job.platform == PLATFORM_C ? 255 : 0;
    geo.marginX = geo.marginY = 0;
}

// Fills the page-start record: resolution, tray, feed edge, copies and page sizes.
void FillStartPage(JOB_STATE &job, PageGeometry &geo) {
    const cups_page_header2_t &h = job.header;
    GDI_START_PAGE_PARAM &sp = job.startPageParam;
    const PRINT_FUNC_INFO *opt = job.prntFuncInfo;
    const bool qv = IsQVModel(gPPDFile), mirodel = IsMirodelModel(gPPDFile);

    unsigned resX = 600, resY = 600;
    if (job.platform == PLATFORM_C || qv || mirodel) {
        if (h.HWResolution[0] == 1200) {
            geo.fwImgWPixel *= 2;
            resX = 1200;
        }
        if (h.HWResolution[1] == 1200) {
            geo.fwImgHPixel *= 2;
            resY = 1200;
        }
    }
    if (job.platform == PLATFORM_C || job.platform == PLATFORM_Z) {
        resX /= 10;
        resY /= 10;
    }
    sp.resolutionX = static_cast<uint16_t>(resX);
    sp.resolutionY = static_cast<uint16_t>(resY);
    sp.iIs2bit = static_cast<uint32_t>(job.b2Bit);
    sp.mediaType = static_cast<uint16_t>(h.cupsMediaType);
    sp.densityLevel = opt[TONERMODE].value == 1 ? 0 : static_cast<uint8_t>(opt[DENSITY].value);
    if (qv || h.cupsMediaType == 0 || h.cupsMediaType == 5 ||
        (h.cupsMediaType == 1 && job.platform == PLATFORM_M))
        sp.tray = static_cast<uint16_t>(opt[INPUTSLOT].value);
    else
        sp.tray = 1;
    const bool longEdge = opt[LONGEDGEFEED].value == 1;
    sp.feedEdge = (longEdge && (qv || (job.platform == PLATFORM_C && sp.paperSize == 6) ||
                                ((job.platform == PLATFORM_Z || job.platform == PLATFORM_M) &&
                                 sp.paperSize == 11)))
                      ? 0x40
                      : 0;
    sp.colorMode = 0;
    sp.marginUnit = 0;
    sp.copies = opt[COLLATE].value == 1 ? 1 : static_cast<uint16_t>(h.NumCopies);
    sp.marginX = geo.marginX;
    sp.marginY = geo.marginY;
    sp.pageNum = static_cast<uint16_t>(g_page);
    double pageW = h.PageSize[0], pageH = h.PageSize[1];
    if (qv && job.customflag) {
        pageW = static_cast<int>(job.customwidth + 0.5f);
        pageH = static_cast<int>(job.customheight + 0.5f);
    }
    sp.userPhyPgW = static_cast<uint16_t>(h.HWResolution[0] * (pageW / 72.0));
    sp.userPhyPgH = static_cast<uint16_t>(h.HWResolution[1] * (pageH / 72.0));
    sp.userPrntAreaW = static_cast<uint16_t>(geo.fwImgWPixel);
    sp.userPrntAreaH = static_cast<uint16_t>(geo.fwImgHPixel);

    if (longEdge) {
        if (job.platform == PLATFORM_Z) {
            static const uint16_t kQVLongEdgeCodes[][2] = {{1, 36},  {2, 60},  {5, 55},
                                                           {14, 70}, {15, 72}, {20, 61},
                                                           {21, 57}, {24, 69}, {29, 71}};
            if (sp.paperSize == 11) {
                sp.paperSize = 18;
            } else if (qv) {
                for (const auto &m : kQVLongEdgeCodes)
                    if (sp.paperSize == m[0]) {
                        sp.paperSize = m[1];
                        break;
                    }
            }
        } else if (job.platform == PLATFORM_M && sp.paperSize == 11) {
            sp.paperSize = 61;
        }
        // The sizes follow the bitmap: exchanged only when the page is turned for the long
        // edge, else the page start would announce a width the page data does not have.
        if (sp.feedEdge == 0x40) {
            SwapUSHORT(&sp.userPhyPgW, &sp.userPhyPgH);
            SwapUSHORT(&sp.userPrntAreaW, &sp.userPrntAreaH);
        }
    }
    if (qv && IsCustomRotate90) SwapUSHORT(&sp.userPrntAreaW, &sp.userPrntAreaH);
}

// Rows of a grey band when the page is dithered while it is read.
constexpr unsigned kBandRows = 128;

// Takes the `rows` rows of a full band, which are rows first.. of the page.
using BandSink = std::function<void(unsigned first, unsigned rows)>;

// Reads the page's raster lines into `grey`, which holds `windowRows` rows of the page at a time
// (the whole page, or a band that `band` takes whenever it is full and once the page is
// complete): centred when a line is wider than the page, cut below the page; lines never read
// and the part of the page right of shorter lines are made white here (the buffer is not
// whitened beforehand, so each byte is written once). False when cancelled on platform M.
bool ReadRasterLines(JOB_STATE &job, const PageGeometry &geo, PageBuffer &line, PageBuffer &grey,
                     unsigned windowRows, const BandSink &band) {
    const cups_page_header2_t &h = job.header;
    const unsigned bpl = h.cupsBytesPerLine, W = geo.fwImgWPixel, H = geo.fwImgHPixel;
    unsigned rows = 0;  // rows of the page written so far, from the top
    unsigned first = 0; // page row held in the first row of the window
    for (unsigned y = 0; y < h.cupsHeight && !Canceled; ++y) {
        if (y % 128 == 0)
            std::fprintf(stderr, "INFO: Printing page %d, %d%% complete...\n", g_page,
                         static_cast<int>(static_cast<uint64_t>(y) * 100 / h.cupsHeight));
        std::memset(line.get(), 0, line.size);
        if (pfcupsRasterReadPixels(job.ras, line.get(), bpl) == 0) {
            if (!Canceled) break;
            std::memset(line.get(), 0xFF, W);
        }
        if (y >= H) continue;
        uint8_t *row = grey.get() + static_cast<size_t>(y - first) * W;
        if (bpl > W) {
            std::memcpy(row, line.get() + (bpl - W) / 2, W);
        } else {
            std::memcpy(row, line.get(), bpl);
            std::memset(row + bpl, 0xFF, W - bpl);
        }
        rows = y + 1;
        if (rows - first == windowRows) {
            if (band) band(first, windowRows);
            first = rows;
        }
    }
    if (Canceled && job.platform == PLATFORM_M) return false;
    for (; first < H; first += std::min(windowRows, H - first)) {
        const unsigned n = std::min(windowRows, H - first), kept = rows > first ? rows - first : 0;
        std::memset(grey.get() + static_cast<size_t>(kept) * W, 0xFF,
                    static_cast<size_t>(n - kept) * W);
        if (band) band(first, n);
    }
    return true;
}

// Whether the page is turned by 180 degrees for the back side (before ImageRotation).
int NeedsRotate180(const JOB_STATE &job) {
    const PRINT_FUNC_INFO *opt = job.prntFuncInfo;
    const bool even = g_page % 2 == 0, longFeed = job.startPageParam.feedEdge == 0x40;
    const bool manual = opt[MANUALDUPLEX].value == 1, qv = IsQVModel(gPPDFile);
    switch (opt[AUTODUPLEX].value) {
    case 1: return !longFeed && even;
    case 2: return longFeed && even;
    case 0:
        if (job.platform != PLATFORM_Z) return 0;
        if (job.mDuplexType == 0) return !qv && manual && !longFeed && even;
        if (job.mDuplexType == 1) return manual && even && (qv || longFeed);
        return 0;
    default: return 0;
    }
}

// Whether the grey page is turned by 180 degrees (duplex back side or the ImageRotation option).
bool TurnsBy180(const JOB_STATE &job) {
    return (NeedsRotate180(job) == 1) != (job.prntFuncInfo[IMAGEROTATION].value == 1);
}

// Whether the grey page is turned by 90 degrees (long-edge feed, QV custom size).
bool TurnsBy90(const JOB_STATE &job) {
    return job.startPageParam.feedEdge == 0x40 || (IsQVModel(gPPDFile) && IsCustomRotate90);
}

// Whether the colour library reduces the page.
bool LibraryReduces() {
    return (IsQVModel(gPPDFile) || IsMirodelModel(gPPDFile)) && m_hCMS && pGDIPrintCMSmain &&
           pGetCMSDllVersion;
}

// Bits per pixel of the filter's own screens: 2 on platform M with the 1200-dpi option.
unsigned ScreenBits(const JOB_STATE &job) {
    return job.platform == PLATFORM_M && job.prntFuncInfo[DPI1200].value == 1 ? 2 : 1;
}

// Whether the page can be dithered band by band while it is read: it is not turned, the
// filter's own screens reduce it and its rows start on whole bytes of the bitmap. The grey page
// is then never held whole.
bool DithersInBands(const JOB_STATE &job, const PageGeometry &geo) {
    return !TurnsBy180(job) && !TurnsBy90(job) && !LibraryReduces() &&
           static_cast<uint64_t>(geo.fwImgWPixel) * ScreenBits(job) % 8 == 0;
}

// Turns the grey page for duplex back sides, the ImageRotation option and long-edge feed.
unsigned OrientPage(JOB_STATE &job, PageGeometry &geo, PageBuffer &grey) {
    const int bRotate180 = NeedsRotate180(job);
    std::fprintf(stderr, "DEBUG: ##page is %d, rotate180 is %d\n", g_page, bRotate180);
    if ((bRotate180 == 1) != (job.prntFuncInfo[IMAGEROTATION].value == 1)) {
        if (!Rotate180(grey.get(), geo.fwImgWPixel, geo.fwImgHPixel))
            ReportFailure("main() :: Rotate 180 Fail. \n");
    }
    unsigned iRealImgWByte = job.header.cupsBytesPerLine;
    if (job.startPageParam.feedEdge == 0x40) {
        if (Rotate90(grey.get(), geo.fwImgWPixel, geo.fwImgHPixel))
            SwapUINT(&geo.fwImgWPixel, &geo.fwImgHPixel);
        iRealImgWByte = job.header.cupsHeight;
    }
    if (IsQVModel(gPPDFile) && IsCustomRotate90) {
        if (Rotate90(grey.get(), geo.fwImgWPixel, geo.fwImgHPixel))
            SwapUINT(&geo.fwImgWPixel, &geo.fwImgHPixel);
        IsCustomRotate90 = false;
        iRealImgWByte = job.header.cupsHeight;
    }
    return iRealImgWByte;
}

// Whether the page-data frame will announce two bits per pixel.
bool AnnouncesTwoBits(const JOB_STATE &job) {
    if (IsQVModel(gPPDFile)) return !is1200dpi;
    if (IsMirodelModel(gPPDFile)) return Color_bit == 2;
    return job.b2Bit == 1;
}

void WidenToAnnouncedDepth(const JOB_STATE &job, const PageGeometry &geo, PageBuffer &mono);

// Reduces the grey page to the printer's bitmap, by the colour library for the QV and
// Mirodel models when it is loaded, else by the filter's own screens.
void ReducePage(JOB_STATE &job, const PageGeometry &geo, PageBuffer &grey, PageBuffer &mono,
                unsigned iRealImgWByte) {
    const bool libraryModel = IsQVModel(gPPDFile) || IsMirodelModel(gPPDFile);
    const PRINT_FUNC_INFO *opt = job.prntFuncInfo;
    if (libraryModel && m_hCMS && pGDIPrintCMSmain && pGetCMSDllVersion) {
        CMS_TRANSFER_SRC src{};
        CMS_SETTINGS settings{};
        CMS_TRANSFER_DST dst{};
        GetCMSinput(&src, &job.header, grey.get(), job.startPageParam);
        GetCMSSettings(&settings, opt, job.header, job.startPageParam);
        GetCMSoutput(&dst, mono.get(), &src, static_cast<int>(mono.size));
        pGetCMSDllVersion();
        pGDIPrintCMSmain(&src, &settings, &dst);
        if (opt[NEGATIVEPRINT].value != 0)
            for (size_t i = 0; i < mono.size; ++i)
                mono.get()[i] = static_cast<uint8_t>(~mono.get()[i]);
        return;
    }
    HalftoneDither(grey.get(), geo.fwImgWPixel, geo.fwImgHPixel, mono.get(), iRealImgWByte,
                   opt[NEGATIVEPRINT].value, opt[DPI1200].value, job.platform);
    WidenToAnnouncedDepth(job, geo, mono);
}

// Widens a page dithered at 1 bit whose page-data frame announces 2 bits.
void WidenToAnnouncedDepth(const JOB_STATE &job, const PageGeometry &geo, PageBuffer &mono) {
    const PRINT_FUNC_INFO *opt = job.prntFuncInfo;
    // The screens give 2 bits per pixel only on platform M with the 1200-dpi option; a page
    // announced as 2-bit must carry 2-bit data, so widen the 1-bit result at full strength.
    const bool twoBitScreen = job.platform == PLATFORM_M && opt[DPI1200].value == 1;
    if (AnnouncesTwoBits(job) && !twoBitScreen)
        Expand1BitTo2Bit(mono.get(), static_cast<size_t>(geo.fwImgWPixel) * geo.fwImgHPixel);
}

// Fills the page-data record and sends the bitmap.
void SendPage(JOB_STATE &job, const PageGeometry &geo, PageBuffer &mono) {
    GDI_SEND_PAGE_PARAM &p = job.sendPageParam;
    p = GDI_SEND_PAGE_PARAM{};
    p.colorPlane = 0;
    p.compression = 0x20;
    const bool qv = IsQVModel(gPPDFile), mirodel = IsMirodelModel(gPPDFile);
    if (qv) {
        p.colorDepth = is1200dpi ? 0 : 1;
        p.dataPacking = 4;
    } else if (mirodel && Color_bit == 2) {
        p.colorDepth = 1;
        p.dataPacking = 4;
    }
    if (qv || mirodel)
        p.whlImgW = static_cast<uint16_t>(geo.fwImgWPixel);
    else
        p.whlImgW = static_cast<uint16_t>(job.b2Bit == 1 ? 2 * geo.fwImgWPixel : geo.fwImgWPixel);
    p.whlImgH = static_cast<uint16_t>(geo.fwImgHPixel);
    if (job.platform == PLATFORM_C) {
        p.rasImgW = static_cast<uint16_t>(geo.fwImgWPixel);
        p.rasImgH = job.header.HWResolution[0] == 600 ? 768 : 384;
        p.cmpImgBytes = 853;
    }
    p.sendImgBuf = mono.get();
    g_ismiddlepage = 1;
    if (!Prnt_SendPage(&p, job.platform, 0)) ReportFailure("main() :: Send page Fail!\n");
    std::fflush(stdout);
}

// Fills the page-end record and closes the page.
void EndPage(JOB_STATE &job) {
    GDI_END_PAGE_PARAM &e = job.endPageParam;
    e = GDI_END_PAGE_PARAM{};
    e.page = g_page;
    e.bMachDup = job.prntFuncInfo[AUTODUPLEX].value != 0 ? 1 : 0;
    e.resolutionE = static_cast<int>(job.header.HWResolution[0]);
    const float widthPt = (IsQVModel(gPPDFile) && job.customflag)
                              ? job.customwidth
                              : static_cast<float>(job.header.PageSize[0]);
    e.paperWidthE = static_cast<int>((widthPt / 72.0f) * 25.4);
    e.densityE = job.prntFuncInfo[DENSITY].value;
    if (!Prnt_EndPage(&e, job.platform)) ReportFailure("main() :: End page Fail ! \n");
    std::fflush(stdout);
    g_ismiddlepage = 0;
}

} // namespace

bool IsPrintableRasterHeader(const cups_page_header2_t &h) {
    const char *problem = nullptr;
    const int space = RawHeaderField(h.cupsColorSpace); // any 32 bits from the stream
    if (h.cupsBitsPerPixel != 8 || h.cupsBitsPerColor != 8)
        problem = "only 8-bit grey raster can be printed";
    else if (space != CUPS_CSPACE_W && space != CUPS_CSPACE_SW && space != CUPS_CSPACE_K &&
             space != CUPS_CSPACE_SRGB && space != CUPS_CSPACE_RGB)
        problem = "the colour space is not grey";
    else if (space == CUPS_CSPACE_SRGB || space == CUPS_CSPACE_RGB)
        problem = "colour raster is not supported, only grey";
    else if (h.HWResolution[0] == 0 || h.HWResolution[1] == 0 ||
             h.HWResolution[0] > kMaxResolution || h.HWResolution[1] > kMaxResolution)
        problem = "the resolution is outside 1-1200 dpi";
    else if (h.PageSize[0] == 0 || h.PageSize[1] == 0 || h.PageSize[0] > kMaxPagePoints ||
             h.PageSize[1] > kMaxPagePoints)
        problem = "the page size is outside what the printers take";
    else if (h.cupsWidth == 0 || h.cupsHeight == 0 || h.cupsBytesPerLine != h.cupsWidth ||
             static_cast<uint64_t>(h.cupsWidth) * 72 > uint64_t{kMaxPagePoints} * kMaxResolution ||
             static_cast<uint64_t>(h.cupsHeight) * 72 > uint64_t{kMaxPagePoints} * kMaxResolution)
        problem = "the raster dimensions are inconsistent or too large";
    if (problem == nullptr) return true;
    std::fprintf(stderr,
                 "ERROR: Unsupported raster page (%s): %ux%u pixels, %u bytes per line, "
                 "%u bits per pixel, colour space %u, %ux%u dpi, %ux%u points\n",
                 problem, h.cupsWidth, h.cupsHeight, h.cupsBytesPerLine, h.cupsBitsPerPixel,
                 static_cast<unsigned>(space), h.HWResolution[0], h.HWResolution[1],
                 h.PageSize[0], h.PageSize[1]);
    return false;
}

void Expand1BitTo2Bit(uint8_t *buf, size_t pixels) {
    // Each source byte becomes two: bit b of the source gives bits 2b+1 and 2b. Walk from
    // the end so the widened data never overwrites source bytes not yet read.
    static const auto kSpread = [] {
        std::array<uint16_t, 256> t{};
        for (unsigned v = 0; v < 256; ++v) {
            uint16_t w = 0;
            for (unsigned b = 0; b < 8; ++b)
                if (v & (1u << b)) w = static_cast<uint16_t>(w | (3u << (2 * b)));
            t[v] = w;
        }
        return t;
    }();
    const size_t srcBytes = (pixels + 7) / 8;
    for (size_t i = srcBytes; i-- > 0;) {
        const uint16_t w = kSpread[buf[i]];
        const size_t hi = 2 * i, lo = 2 * i + 1;
        const uint8_t hiByte = static_cast<uint8_t>(w >> 8), loByte = static_cast<uint8_t>(w);
        buf[hi] = hiByte;
        if (lo < (pixels + 3) / 4) buf[lo] = loByte;
    }
}

PageResult ProcessPage(JOB_STATE &job) {
    PageGeometry geo;
    FindPaperRow(job, geo);
    if (geo.paperArrayIndex < 0) ComputePageSize(job, geo);
    FillStartPage(job, geo);

    g_ismiddlepage = 1;
    if (!Prnt_StartPage(&job.startPageParam, job.platform))
        ReportFailure("main() :: Start page Fail ! \n");
    std::fflush(stdout);
    g_ismiddlepage = 0;

    const size_t pixels = static_cast<size_t>(geo.fwImgWPixel) * geo.fwImgHPixel;
    const bool banded = DithersInBands(job, geo);
    const unsigned windowRows = banded ? std::min(kBandRows, geo.fwImgHPixel) : geo.fwImgHPixel;
    PageBuffer line, grey, mono;
    if (!line.Allocate(std::max<size_t>(job.header.cupsBytesPerLine, geo.fwImgWPixel), 0) ||
        !grey.Allocate(static_cast<size_t>(geo.fwImgWPixel) * windowRows, 0) ||
        !mono.Allocate((pixels * (job.b2Bit == 1 ? 2 : 1) + 7) / 8, 0)) {
        SetLastError(
            "main() :: Malloc pGrayImgLineBuf or pMonoImgLineBuf or pMonoImgBuf Fail ! \n");
        std::fputs(prntLastError, stderr);
        return PAGE_JOB_END;
    }
    if (banded) {
        // The same bitmap as dithering the whole page after reading it, without holding it.
        const PRINT_FUNC_INFO *opt = job.prntFuncInfo;
        const size_t bandBytes = static_cast<size_t>(geo.fwImgWPixel) * ScreenBits(job) / 8;
        const BandSink dither = [&](unsigned first, unsigned rows) {
            HalftoneDitherRows(grey.get(), geo.fwImgWPixel, rows, first,
                               mono.get() + bandBytes * first, job.header.cupsBytesPerLine,
                               opt[NEGATIVEPRINT].value, opt[DPI1200].value, job.platform);
        };
        if (!ReadRasterLines(job, geo, line, grey, windowRows, dither)) return PAGE_CLEANUP;
        std::fprintf(stderr, "DEBUG: ##page is %d, rotate180 is %d\n", g_page, NeedsRotate180(job));
        HalftoneAnnounce(job.platform);
        WidenToAnnouncedDepth(job, geo, mono);
    } else {
        if (!ReadRasterLines(job, geo, line, grey, windowRows, nullptr)) return PAGE_CLEANUP;
        const unsigned iRealImgWByte = OrientPage(job, geo, grey);
        ReducePage(job, geo, grey, mono, iRealImgWByte);
    }
    SendPage(job, geo, mono);
    EndPage(job);
    return PAGE_DONE;
}
