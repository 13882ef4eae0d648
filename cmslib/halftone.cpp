// Halftone stage: multi-level clustered-dot screening of the work buffer into the caller's bitmap.
#include "cmslib/cms_internal.h"
#include "cmslib/ht_thresholds.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

// The screen tile of the 600-dpi matrices; the vector path handles exactly this width.
constexpr size_t kTile = 16;

// Byte with its bit order reversed, for turning a little-endian lane mask into MSB-first pixels.
constexpr std::array<uint8_t, 256> BitReverseTable() {
    std::array<uint8_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned r = 0;
        for (unsigned bit = 0; bit < 8; ++bit)
            if (i & (1u << bit)) r |= 0x80u >> bit;
        t[i] = static_cast<uint8_t>(r);
    }
    return t;
}
constexpr std::array<uint8_t, 256> kBitReverse = BitReverseTable();

// Output level of ink v against one cell: the number of thresholds it reaches; a threshold of 0
// counts as 1 so that no ink never prints.
unsigned CellLevel(uint8_t v, const uint8_t *cell, unsigned levels) {
    unsigned level = 0;
    for (unsigned k = 0; k < levels; ++k) {
        const uint8_t t = cell[k] == 0 ? 1 : cell[k];
        level += v >= t ? 1u : 0u;
    }
    return level;
}

// Screens pixels [from, to) of line i one by one; from and to are whole output bytes.
void ScreenLineScalar(const CMS_SCREEN &s, size_t i, const uint8_t *v, uint8_t *out, size_t from,
                      size_t to) {
    const size_t perByte = 8 / s.bits;
    const uint8_t *row = s.thresh + ((i + s.phaseY) % s.height) * s.width * s.levels;
    unsigned acc = 0;
    for (size_t j = from; j < to; ++j) {
        const size_t col = (j + s.phaseX) % s.width;
        acc = (acc << s.bits) | CellLevel(v[j], row + col * s.levels, s.levels);
        if (j % perByte == perByte - 1) {
            out[j / perByte] = static_cast<uint8_t>(acc);
            acc = 0;
        }
    }
}

#if defined(__SSE2__)

// Phased threshold vector k of matrix row r.
inline __m128i RowThresholds(const CMS_SCREEN &s, size_t r, unsigned k) {
    return _mm_load_si128(reinterpret_cast<const __m128i *>(s.rows[r][k]));
}

// Lanes of v that reach threshold t (unsigned v >= t), as 0xFF.
inline __m128i Reaches(__m128i v, __m128i t) {
    return _mm_cmpeq_epi8(_mm_max_epu8(v, t), v);
}

// Sixteen 2-bit levels (one per byte lane) packed into four bytes, each in the low byte of a
// 32-bit lane, leftmost pixel in the most significant bits.
inline __m128i PackLevels(__m128i level) {
    const __m128i pairs = _mm_and_si128(
        _mm_or_si128(_mm_slli_epi16(level, 2), _mm_srli_epi16(level, 8)), _mm_set1_epi16(0x00FF));
    return _mm_and_si128(_mm_or_si128(_mm_slli_epi32(pairs, 4), _mm_srli_epi32(pairs, 16)),
                         _mm_set1_epi32(0xFF));
}

// 2-bit levels of sixteen ink values.
inline __m128i Levels2(const uint8_t *v, __m128i t0, __m128i t1, __m128i t2) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(v));
    __m128i level = _mm_sub_epi8(_mm_setzero_si128(), Reaches(x, t0));
    level = _mm_sub_epi8(level, Reaches(x, t1));
    return _mm_sub_epi8(level, Reaches(x, t2));
}

// Screens one line at 1 bit per pixel, sixteen pixels per step.
void ScreenLine1(const CMS_SCREEN &s, size_t i, const uint8_t *v, uint8_t *out, size_t width) {
    const __m128i t0 = RowThresholds(s, (i + s.phaseY) % kTile, 0);
    size_t j = 0;
    for (; j + kTile <= width; j += kTile) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(v + j));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(Reaches(x, t0)));
        out[j / 8] = kBitReverse[mask & 0xFFu];
        out[j / 8 + 1] = kBitReverse[mask >> 8];
    }
    ScreenLineScalar(s, i, v, out, j, width);
}

// Screens one line at 2 bits per pixel, sixty-four pixels per step.
void ScreenLine2(const CMS_SCREEN &s, size_t i, const uint8_t *v, uint8_t *out, size_t width) {
    const size_t r = (i + s.phaseY) % kTile;
    const __m128i t0 = RowThresholds(s, r, 0), t1 = RowThresholds(s, r, 1),
                  t2 = RowThresholds(s, r, 2);
    size_t j = 0;
    for (; j + 4 * kTile <= width; j += 4 * kTile) {
        const __m128i y0 = PackLevels(Levels2(v + j, t0, t1, t2));
        const __m128i y1 = PackLevels(Levels2(v + j + 16, t0, t1, t2));
        const __m128i y2 = PackLevels(Levels2(v + j + 32, t0, t1, t2));
        const __m128i y3 = PackLevels(Levels2(v + j + 48, t0, t1, t2));
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(y0, y1), _mm_packs_epi32(y2, y3));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + j / 4), bytes);
    }
    for (; j + kTile <= width; j += kTile) {
        const __m128i y = PackLevels(Levels2(v + j, t0, t1, t2));
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(y, y), _mm_setzero_si128());
        const uint32_t four = static_cast<uint32_t>(_mm_cvtsi128_si32(bytes));
        std::memcpy(out + j / 4, &four, sizeof four);
    }
    ScreenLineScalar(s, i, v, out, j, width);
}

#endif

#if defined(__x86_64__)
// Thirty-two 2-bit levels of one AVX2 step, packed four to a byte in each 32-bit lane: the byte
// multiply-adds weigh pixel pairs 4:1, then pairs of pairs 16:1.
__attribute__((target("avx2"))) inline __m256i PackedLevels2Avx2(const uint8_t *v, __m256i t0,
                                                                 __m256i t1, __m256i t2) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(v));
    __m256i level =
        _mm256_sub_epi8(_mm256_setzero_si256(), _mm256_cmpeq_epi8(_mm256_max_epu8(x, t0), x));
    level = _mm256_sub_epi8(level, _mm256_cmpeq_epi8(_mm256_max_epu8(x, t1), x));
    level = _mm256_sub_epi8(level, _mm256_cmpeq_epi8(_mm256_max_epu8(x, t2), x));
    const __m256i pairs = _mm256_maddubs_epi16(level, _mm256_set1_epi16(0x0104));
    return _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00010010));
}

// Screens one line at 2 bits per pixel with AVX2, 128 pixels per step.
__attribute__((target("avx2"))) void ScreenLine2Avx2(const CMS_SCREEN &s, size_t i,
                                                     const uint8_t *v, uint8_t *out, size_t width) {
    const size_t r = (i + s.phaseY) % kTile;
    const __m256i t0 = _mm256_broadcastsi128_si256(RowThresholds(s, r, 0));
    const __m256i t1 = _mm256_broadcastsi128_si256(RowThresholds(s, r, 1));
    const __m256i t2 = _mm256_broadcastsi128_si256(RowThresholds(s, r, 2));
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    size_t j = 0;
    for (; j + 128 <= width; j += 128) {
        const __m256i y0 = PackedLevels2Avx2(v + j, t0, t1, t2);
        const __m256i y1 = PackedLevels2Avx2(v + j + 32, t0, t1, t2);
        const __m256i y2 = PackedLevels2Avx2(v + j + 64, t0, t1, t2);
        const __m256i y3 = PackedLevels2Avx2(v + j + 96, t0, t1, t2);
        const __m256i bytes =
            _mm256_packus_epi16(_mm256_packs_epi32(y0, y1), _mm256_packs_epi32(y2, y3));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + j / 4),
                            _mm256_permutevar8x32_epi32(bytes, order));
    }
    // j is a whole number of screen tiles, so the rest of the line keeps its phase.
    ScreenLine2(s, i, v + j, out + j / 4, width - j);
}

// Whether this processor runs the AVX2 path.
bool HasAvx2() {
#if defined(KELVRA_CMS_BASELINE_ONLY)
    return false;
#endif
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
#endif

} // namespace

// Chooses the threshold matrix for a resolution and depth; no matrix (0 x 0) for any other pair.
CMS_DITHER_THRESH *GDI1getditherthresh(CMS_DITHER_THRESH *pThresh, int resolution, int /*unused*/,
                                       int bitsPerPixel) {
    const uint8_t *matrix = nullptr;
    const CMS_THRESH_DIMS *dims = nullptr;
    if (bitsPerPixel == 1 && resolution == 600) {
        matrix = bi_highLPI_K_cluster_thresh;
        dims = &bi_highLPI_K_cluster_thresh_dims;
    } else if (bitsPerPixel == 1 && resolution == 1200) {
        matrix = bi_1200dpi_K_cluster_thresh;
        dims = &bi_1200dpi_K_cluster_thresh_dims;
    } else if (bitsPerPixel == 2 && (resolution == 600 || resolution == 1200)) {
        matrix = con2_MedLPI_K_cluster_thresh;
        dims = &con2_MedLPI_K_cluster_thresh_dims;
    }
    *pThresh = CMS_DITHER_THRESH{};
    if (dims != nullptr) {
        pThresh->pThresh = matrix;
        pThresh->width = dims->width;
        pThresh->height = dims->height;
        pThresh->bitsPerPixel = static_cast<uint8_t>(dims->bitsPerPixel);
    }
    return pThresh;
}

// Selects the matrix for the page's depth and turns its rows to the area's phase. Only 1- and
// 2-bit output have matrices.
bool GDI_htPrepare(const CMS_SETTINGS *pSettings, const CMS_TRANSFER_DST *pDst,
                   CMS_SCREEN *screen) {
    *screen = CMS_SCREEN{};
    if (pSettings->BitMode == 3) {
        std::snprintf(screen->refusal, sizeof screen->refusal, "cms: 8bit output!\n");
        return false;
    }
    unsigned bits = 0;
    if (pDst->OutputBitMode == 0) {
        bits = 1;
    } else if (pDst->OutputBitMode == 1) {
        bits = 2;
    } else {
        std::snprintf(screen->refusal, sizeof screen->refusal,
                      "cms: no halftone matrix for OutputBitMode %u, page left blank!\n",
                      static_cast<unsigned>(pDst->OutputBitMode));
        return false;
    }
    CMS_DITHER_THRESH matrix;
    GDI1getditherthresh(&matrix, 600, 0, static_cast<int>(bits));
    if (matrix.pThresh == nullptr || matrix.width == 0 || matrix.height == 0 ||
        matrix.bitsPerPixel != bits) {
        std::snprintf(screen->refusal, sizeof screen->refusal,
                      "cms: no halftone matrix for %u bits, page left blank!\n", bits);
        return false;
    }
    screen->thresh = matrix.pThresh;
    screen->width = matrix.width;
    screen->height = matrix.height;
    screen->bits = bits;
    screen->levels = (1u << bits) - 1u;
    screen->phaseX = pDst->OutputDataX;
    screen->phaseY = pDst->OutputDataY;
    if (screen->width == kTile && screen->height == kTile) {
        for (size_t r = 0; r < kTile; ++r)
            for (size_t c = 0; c < kTile; ++c) {
                const uint8_t *cell =
                    screen->thresh + (r * kTile + (c + screen->phaseX) % kTile) * screen->levels;
                for (unsigned k = 0; k < screen->levels; ++k)
                    screen->rows[r][k][c] = cell[k] == 0 ? 1 : cell[k];
            }
    }
    return true;
}

// Screens a band of work rows into the bitmap (already zero-filled).
void GDI_ht(const CMS_SCREEN &screen, const CMS_TRANSFER_SRC *pSrc, const CMS_TRANSFER_DST *pDst,
            const uint8_t *work, size_t stride, size_t first, size_t count) {
    const size_t width = pSrc->InputDataWidth;
    const size_t lineByte = pDst->OutputDataLineByte;
#if defined(__x86_64__)
    static const bool avx2 = HasAvx2();
#endif
    for (size_t n = 0; n < count; ++n) {
        const size_t i = first + n;
        const uint8_t *v = work + n * stride;
        uint8_t *out = pDst->ColorDstData + i * lineByte;
#if defined(__SSE2__)
        if (screen.width == kTile && screen.height == kTile) {
            if (screen.bits == 1) ScreenLine1(screen, i, v, out, width);
#if defined(__x86_64__)
            else if (avx2)
                ScreenLine2Avx2(screen, i, v, out, width);
#endif
            else
                ScreenLine2(screen, i, v, out, width);
            continue;
        }
#endif
        ScreenLineScalar(screen, i, v, out, 0, width);
    }
}
