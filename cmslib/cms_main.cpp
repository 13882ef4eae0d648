// Library entry: validates the three records, sizes the output, runs the tone stage into a work
// buffer and the halftone stage from it into the caller's bitmap.
#include "cmslib/cms_internal.h"

#include <cstdarg>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// Largest page position the screen phase accepts.
constexpr uint16_t kMaxPosition = 40819;

// Bits per output pixel for a depth code: the low byte of 2^BitMode (0 from BitMode 8 on).
unsigned BitsForMode(uint8_t bitMode) {
    return bitMode < 8 ? (1u << bitMode) & 0xFFu : 0u;
}

// The plain entry point's messages: standard error, as the filter's job log expects them.
void ToStandardError(void *, const char *text) {
    std::fputs(text, stderr);
}

} // namespace

void CmsMessages::Put(const char *text) const {
    if (fn != nullptr) fn(context, text);
}

// Formats into a line-sized buffer; the library's messages are short.
void CmsMessages::Printf(const char *format, ...) const {
    if (fn == nullptr) return;
    char text[256];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    fn(context, text);
}

// The library's own version number.
int32_t GetCMSDllVersion(void) {
    return CMS_DLL_VERSION;
}

// Turns one page of grey samples into the 1- or 2-bit bitmap; see cms_records.h for the results.
// Its messages go to standard error.
int GDIPrintCMSmain(CMS_TRANSFER_SRC *pSrc, CMS_SETTINGS *pSettings, CMS_TRANSFER_DST *pDst) {
    return GDIPrintCMSmainWithMessages(pSrc, pSettings, pDst, ToStandardError, nullptr);
}

// The same page conversion with its messages handed to the caller's function.
int GDIPrintCMSmainWithMessages(CMS_TRANSFER_SRC *pSrc, CMS_SETTINGS *pSettings,
                                CMS_TRANSFER_DST *pDst, CMS_MESSAGE_FN messages, void *context) {
    const CmsMessages log{messages, context};
    log.Put("cms: Welcome to CMS!\n");

    if (pSrc == nullptr) {
        log.Put("cms: A NULL pSrc for CMS!\n");
        return CMS_ERR_NULL;
    }
    if (pSrc->ColorSrcData == nullptr) {
        log.Put("cms: A NULL ColorSrcData for CMS!\n");
        return CMS_ERR_NULL;
    }
    if (pSettings == nullptr) {
        log.Put("cms: A NULL pSettings for CMS!\n");
        return CMS_ERR_NULL;
    }
    if (pDst == nullptr) {
        log.Put("cms: A NULL pDst for CMS!\n");
        return CMS_ERR_NULL;
    }

    pSrc->iStructVersion = CMS_STRUCT_VERSION;
    log.Printf("cms: version:%ld\n", static_cast<long>(CMS_STRUCT_VERSION));

    const uint16_t width = pSrc->InputDataWidth;
    const uint16_t height = pSrc->InputDataHeight;
    const uint32_t lineByte = pSrc->InputDataLineByte;
    if (pSrc->InputDataX > kMaxPosition || pSrc->InputDataY > kMaxPosition) {
        log.Put("invalid InputDataX or Y!\n");
        return CMS_ERR_POSITION;
    }
    if (width == 0 || (width & 7) != 0) {
        log.Put("cms: Illegal input inWidth!\n");
        return CMS_ERR_WIDTH;
    }
    log.Put("cms: Okay inWidth can divided by 8!\n");
    if (height == 0) {
        log.Put("cms: Illegal input inHeight!\n");
        return CMS_ERR_HEIGHT;
    }
    log.Put("cms: Okay inHeight more than 0!\n");
    if (lineByte == 0) {
        log.Put("cms: Illegal input InputDataLineByte is 0!\n");
        return CMS_ERR_LINEBYTE;
    }
    // A line shorter than the width would make every line read into the next one and the last
    // line read past the page.
    if (lineByte < width) {
        log.Put("cms: Illegal input InputDataLineByte less than inWidth!\n");
        return CMS_ERR_LINEBYTE;
    }

    const uint32_t stride = (static_cast<uint32_t>(width) + 7u) & ~7u;
    const unsigned bits = BitsForMode(pSettings->BitMode);
    pDst->cbStructSize = static_cast<int32_t>(sizeof(CMS_TRANSFER_DST));
    pDst->OutputDataLineByte = static_cast<uint16_t>(stride * bits / 8u);

    // Computed in 64 bits: 65535 lines of 65535 bytes do not fit the 32-bit size field.
    const int64_t needed = int64_t{height} * pDst->OutputDataLineByte;
    const int32_t neededField = needed > INT32_MAX ? INT32_MAX : static_cast<int32_t>(needed);
    if (needed > pDst->cbSize) {
        pDst->cbSize = neededField;
        return CMS_ERR_SIZE;
    }
    if (pDst->ColorDstData == nullptr) {
        log.Put("cms: A NULL ColorDstData for CMS!\n");
        pDst->cbSize = neededField;
        return CMS_ERR_NULL;
    }

    std::memset(pDst->ColorDstData, 0, static_cast<size_t>(pDst->cbSize));
    pDst->OutputDataX = pSrc->InputDataX;
    pDst->OutputDataY = pSrc->InputDataY;
    pDst->OutputDataWidth = width;
    pDst->OutputDataHeight = height;
    pDst->OutputBitMode = pSettings->BitMode;

    // The work buffer holds one band of ink values at a time: toned, then screened.
    const size_t bandLines = height < kWorkBandLines ? height : kWorkBandLines;
    const std::unique_ptr<uint8_t, decltype(&std::free)> work(
        static_cast<uint8_t *>(std::malloc(size_t{stride} * bandLines)), &std::free);
    if (work == nullptr) {
        log.Put("cms: failed to malloc memory1!\n");
        return CMS_ERR_SIZE;
    }
    uint8_t ink[256];
    GDI_toneTable(pSrc, pSettings, ink, log);
    CMS_SCREEN screen;
    const bool screened = GDI_htPrepare(pSettings, pDst, &screen);
    for (size_t first = 0; screened && first < height; first += bandLines) {
        const size_t count = height - first < bandLines ? height - first : bandLines;
        GDI_sRGB2CMYK(pSrc, ink, first, count, work.get(), stride);
        GDI_ht(screen, pSrc, pDst, work.get(), stride, first, count);
    }
    log.Put("GDI_sRGB2CMYK complete!\n");
    if (!screened) log.Put(screen.refusal);
    log.Put("cms: GDI_ht complete!\n");
    return CMS_OK;
}
