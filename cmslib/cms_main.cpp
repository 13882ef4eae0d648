// Library entry: validates the three records, sizes the output, runs the tone stage into a work
// buffer and the halftone stage from it into the caller's bitmap.
#include "cmslib/cms_internal.h"

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

} // namespace

// The library's own version number.
int32_t GetCMSDllVersion(void) {
    return CMS_DLL_VERSION;
}

// Turns one page of grey samples into the 1- or 2-bit bitmap; see cms_records.h for the results.
int GDIPrintCMSmain(CMS_TRANSFER_SRC *pSrc, CMS_SETTINGS *pSettings, CMS_TRANSFER_DST *pDst) {
    std::fputs("cms: Welcome to CMS!\n", stderr);

    if (pSrc == nullptr) {
        std::fputs("cms: A NULL pSrc for CMS!\n", stderr);
        return CMS_ERR_NULL;
    }
    if (pSrc->ColorSrcData == nullptr) {
        std::fputs("cms: A NULL ColorSrcData for CMS!\n", stderr);
        return CMS_ERR_NULL;
    }
    if (pSettings == nullptr) {
        std::fputs("cms: A NULL pSettings for CMS!\n", stderr);
        return CMS_ERR_NULL;
    }
    if (pDst == nullptr) {
        std::fputs("cms: A NULL pDst for CMS!\n", stderr);
        return CMS_ERR_NULL;
    }

    pSrc->iStructVersion = CMS_STRUCT_VERSION;
    std::fprintf(stderr, "cms: version:%ld\n", static_cast<long>(CMS_STRUCT_VERSION));

    const uint16_t width = pSrc->InputDataWidth;
    const uint16_t height = pSrc->InputDataHeight;
    const uint32_t lineByte = pSrc->InputDataLineByte;
    if (pSrc->InputDataX > kMaxPosition || pSrc->InputDataY > kMaxPosition) {
        std::fputs("invalid InputDataX or Y!\n", stderr);
        return CMS_ERR_POSITION;
    }
    if (width == 0 || (width & 7) != 0) {
        std::fputs("cms: Illegal input inWidth!\n", stderr);
        return CMS_ERR_WIDTH;
    }
    std::fputs("cms: Okay inWidth can divided by 8!\n", stderr);
    if (height == 0) {
        std::fputs("cms: Illegal input inHeight!\n", stderr);
        return CMS_ERR_HEIGHT;
    }
    std::fputs("cms: Okay inHeight more than 0!\n", stderr);
    if (lineByte == 0) {
        std::fputs("cms: Illegal input InputDataLineByte is 0!\n", stderr);
        return CMS_ERR_LINEBYTE;
    }
    // A line shorter than the width would make every line read into the next one and the last
    // line read past the page.
    if (lineByte < width) {
        std::fputs("cms: Illegal input InputDataLineByte less than inWidth!\n", stderr);
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
        std::fputs("cms: A NULL ColorDstData for CMS!\n", stderr);
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
        std::fputs("cms: failed to malloc memory1!\n", stderr);
        return CMS_ERR_SIZE;
    }
    uint8_t ink[256];
    GDI_toneTable(pSrc, pSettings, ink);
    CMS_SCREEN screen;
    const bool screened = GDI_htPrepare(pSettings, pDst, &screen);
    for (size_t first = 0; screened && first < height; first += bandLines) {
        const size_t count = height - first < bandLines ? height - first : bandLines;
        GDI_sRGB2CMYK(pSrc, ink, first, count, work.get(), stride);
        GDI_ht(screen, pSrc, pDst, work.get(), stride, first, count);
    }
    std::fputs("GDI_sRGB2CMYK complete!\n", stderr);
    if (!screened) std::fputs(screen.refusal, stderr);
    std::fputs("cms: GDI_ht complete!\n", stderr);
    return CMS_OK;
}
