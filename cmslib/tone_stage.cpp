// Tone stage: grey samples to ink values through a density curve and a linearisation curve.
#include "cmslib/cms_internal.h"
#include "cmslib/tone_curves.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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
void MapLineScalar(const uint8_t *src, uint8_t *dst, size_t count, const uint8_t *lut) {
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

#if defined(__x86_64__)
// The same with AVX-512 VBMI byte permutes: 64 lookups in the four 64-byte quarters of the table
// per step, the top index bit choosing between the two halves.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void
MapLineVbmi(const uint8_t *src, uint8_t *dst, size_t count, const uint8_t *lut) {
    const __m512i q0 = _mm512_loadu_si512(lut);
    const __m512i q1 = _mm512_loadu_si512(lut + 64);
    const __m512i q2 = _mm512_loadu_si512(lut + 128);
    const __m512i q3 = _mm512_loadu_si512(lut + 192);
    size_t j = 0;
    for (; j + 64 <= count; j += 64) {
        const __m512i index = _mm512_loadu_si512(src + j);
        const __m512i low = _mm512_permutex2var_epi8(q0, index, q1);
        const __m512i high = _mm512_permutex2var_epi8(q2, index, q3);
        const __m512i ink = _mm512_mask_blend_epi8(_mm512_movepi8_mask(index), low, high);
        _mm512_storeu_si512(dst + j, ink);
    }
    MapLineScalar(src + j, dst + j, count - j, lut);
}

// Whether this processor (and its operating system) runs the VBMI path.
bool HasVbmi() {
#if defined(KELVRA_CMS_BASELINE_ONLY)
    return false;
#endif
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
}
#endif

using MapLineFn = void (*)(const uint8_t *, uint8_t *, size_t, const uint8_t *);

// The fastest table-lookup routine this processor runs.
MapLineFn ChooseMapLine() {
#if defined(__x86_64__)
    static const bool vbmi = HasVbmi();
    if (vbmi) return MapLineVbmi;
#endif
    return MapLineScalar;
}

} // namespace

// Builds the grey -> ink table for the page: every grey value passes once through the pixel
// record (the grey-to-ink inversion), then the density and linearisation curves.
void GDI_toneTable(const CMS_TRANSFER_SRC *pSrc, const CMS_SETTINGS *pSettings, uint8_t ink[256],
                   const CmsMessages &messages) {
    messages.Printf("inLineByte, inWidth is %d, %d !\n", static_cast<int>(pSrc->InputDataLineByte),
                    static_cast<int>(pSrc->InputDataWidth));
    const uint64_t *density = DensityCurve(*pSettings);
    const uint8_t *linear = pSettings->DpiMode == 1 ? linearcurveMono_1200dpi : linearcurveMono;

    auto *pixel = static_cast<CurrS32 *>(std::malloc(sizeof(CurrS32)));
    if (pixel == nullptr) {
        messages.Put("cms: malloc CurrS32 failed !\n");
        messages.Put("cms: page left without toner!\n");
        std::memset(ink, 0, 256);
        return;
    }
    *pixel = CurrS32{};
    for (unsigned s = 0; s < 256; ++s) {
        pixel->ch[0] = s;
        ink[s] = linear[density[MONOtoMONO(pixel, nullptr)]];
    }
    std::free(pixel);
}

// Tones a band of source lines into the work buffer; line padding up to the stride is not written.
void GDI_sRGB2CMYK(const CMS_TRANSFER_SRC *pSrc, const uint8_t ink[256], size_t first, size_t count,
                   uint8_t *work, size_t stride) {
    const MapLineFn mapLine = ChooseMapLine();
    const size_t width = pSrc->InputDataWidth;
    const size_t lineByte = pSrc->InputDataLineByte;
    for (size_t i = 0; i < count; ++i)
        mapLine(pSrc->ColorSrcData + (first + i) * lineByte, work + i * stride, width, ink);
}
