// Tone stage: grey samples to ink values through a density curve and a linearisation curve.
#include "cmslib/cms_internal.h"
#include "cmslib/tone_curves.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The density curve for the page: toner save forces the lightest, otherwise the density level
// 1, 2, 4 or 5, and the identity (level 3) for every other value.
const uint64_t *DensityCurve(const CMS_SETTINGS &settings) {
    if (settings.TonerSaveMode == 1) return densitylut_level1;
    switch (settings.TonerDensityLevel) {
    case 1:
        return densitylut_level1;
    case 2:
        return densitylut_level2;
    case 4:
        return densitylut_level4.data();
    case 5:
        return densitylut_level5.data();
    default:
        return densitylut_level3.data();
    }
}

// Applies a 256-entry byte table to one line; unrolled so the loads overlap.
void MapLine(const uint8_t *src, uint8_t *dst, size_t count, const uint8_t *lut) {
    size_t j = 0;
    for (; j + 8 <= count; j += 8) {
        dst[j + 0] = lut[src[j + 0]];
        dst[j + 1] = lut[src[j + 1]];
        dst[j + 2] = lut[src[j + 2]];
        dst[j + 3] = lut[src[j + 3]];
        dst[j + 4] = lut[src[j + 4]];
        dst[j + 5] = lut[src[j + 5]];
        dst[j + 6] = lut[src[j + 6]];
        dst[j + 7] = lut[src[j + 7]];
    }
    for (; j < count; ++j)
        dst[j] = lut[src[j]];
}

} // namespace

// Fills the work buffer with ink values, one 256-entry table (grey -> ink -> density ->
// linearisation) per call. Without its pixel record the page gets no toner rather than
// undefined bytes.
void GDI_sRGB2CMYK(const CMS_TRANSFER_SRC *pSrc, const CMS_SETTINGS *pSettings, uint8_t *work,
                   const CMS_TRANSFER_DST * /*pDst*/) {
    const size_t width = pSrc->InputDataWidth;
    const size_t height = pSrc->InputDataHeight;
    const size_t lineByte = pSrc->InputDataLineByte;
    const size_t stride = (width + 7) & ~size_t{7};
    std::fprintf(stderr, "inLineByte, inWidth is %d, %d !\n", static_cast<int>(lineByte),
                 static_cast<int>(width));

    const uint64_t *density = DensityCurve(*pSettings);
    const uint8_t *linear = pSettings->DpiMode == 1 ? linearcurveMono_1200dpi : linearcurveMono;

    auto *pixel = static_cast<CurrS32 *>(std::malloc(sizeof(CurrS32)));
    if (pixel == nullptr) {
        std::fputs("cms: malloc CurrS32 failed !\n", stderr);
        std::fputs("cms: page left without toner!\n", stderr);
        std::memset(work, 0, stride * height);
        return;
    }
    *pixel = CurrS32{};

    // Every grey value passes once through the pixel record; the page then uses the table.
    uint8_t lut[256];
    for (unsigned s = 0; s < 256; ++s) {
        pixel->ch[0] = s;
        const uint64_t ink = MONOtoMONO(pixel, nullptr);
        lut[s] = linear[density[ink]];
    }
    std::free(pixel);

    for (size_t i = 0; i < height; ++i)
        MapLine(pSrc->ColorSrcData + i * lineByte, work + i * stride, width, lut);
}
