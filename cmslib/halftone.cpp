// Halftone stage: multi-level clustered-dot screening of the work buffer into the caller's bitmap.
#include "cmslib/cms_internal.h"
#include "cmslib/ht_thresholds.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
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

// Geometry of one screening pass.
struct Screen {
    const uint8_t *thresh; // matrix, rows of width cells of levels thresholds
    size_t width;          // matrix width W
    size_t height;         // matrix height H
    unsigned bits;         // bits per output pixel b
    unsigned levels;       // thresholds per cell, 2^b - 1
    size_t phaseX;         // page position of the area, horizontally
    size_t phaseY;         // and vertically
};

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
void ScreenLineScalar(const Screen &s, size_t i, const uint8_t *v, uint8_t *out, size_t from,
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

// Thresholds of one matrix row, turned to the area's phase and raised to at least 1, one vector
// per threshold index: lane c holds the threshold for columns j with j mod 16 = c.
struct RowVectors {
    __m128i t[3];
};

// Prepares the phased threshold vectors of every matrix row.
void BuildRowVectors(const Screen &s, RowVectors *rows) {
    for (size_t r = 0; r < kTile; ++r) {
        alignas(16) uint8_t lanes[3][kTile] = {};
        for (size_t c = 0; c < kTile; ++c) {
            const uint8_t *cell = s.thresh + (r * kTile + (c + s.phaseX) % kTile) * s.levels;
            for (unsigned k = 0; k < s.levels; ++k)
                lanes[k][c] = cell[k] == 0 ? 1 : cell[k];
        }
        for (unsigned k = 0; k < 3; ++k)
            rows[r].t[k] = _mm_load_si128(reinterpret_cast<const __m128i *>(lanes[k]));
    }
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
inline __m128i Levels2(const uint8_t *v, const RowVectors &row) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(v));
    __m128i level = _mm_sub_epi8(_mm_setzero_si128(), Reaches(x, row.t[0]));
    level = _mm_sub_epi8(level, Reaches(x, row.t[1]));
    return _mm_sub_epi8(level, Reaches(x, row.t[2]));
}

// Screens one line at 1 bit per pixel, sixteen pixels per step.
void ScreenLine1(const Screen &s, size_t i, const RowVectors &row, const uint8_t *v, uint8_t *out,
                 size_t width) {
    size_t j = 0;
    for (; j + kTile <= width; j += kTile) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(v + j));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(Reaches(x, row.t[0])));
        out[j / 8] = kBitReverse[mask & 0xFFu];
        out[j / 8 + 1] = kBitReverse[mask >> 8];
    }
    ScreenLineScalar(s, i, v, out, j, width);
}

// Screens one line at 2 bits per pixel, sixty-four pixels per step.
void ScreenLine2(const Screen &s, size_t i, const RowVectors &row, const uint8_t *v, uint8_t *out,
                 size_t width) {
    size_t j = 0;
    for (; j + 4 * kTile <= width; j += 4 * kTile) {
        const __m128i y0 = PackLevels(Levels2(v + j, row));
        const __m128i y1 = PackLevels(Levels2(v + j + 16, row));
        const __m128i y2 = PackLevels(Levels2(v + j + 32, row));
        const __m128i y3 = PackLevels(Levels2(v + j + 48, row));
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(y0, y1), _mm_packs_epi32(y2, y3));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + j / 4), bytes);
    }
    for (; j + kTile <= width; j += kTile) {
        const __m128i y = PackLevels(Levels2(v + j, row));
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(y, y), _mm_setzero_si128());
        const uint32_t four = static_cast<uint32_t>(_mm_cvtsi128_si32(bytes));
        std::memcpy(out + j / 4, &four, sizeof four);
    }
    ScreenLineScalar(s, i, v, out, j, width);
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

// Screens the work buffer into ColorDstData (already zero-filled) and releases the work buffer.
// Only 1- and 2-bit output have matrices; other depths leave the bitmap all zeros.
int GDI_ht(const CMS_TRANSFER_SRC *pSrc, const CMS_SETTINGS *pSettings, uint8_t *work,
           const CMS_TRANSFER_DST *pDst) {
    const std::unique_ptr<uint8_t, decltype(&std::free)> owned(work, &std::free);
    if (pSettings->BitMode == 3) {
        std::fputs("cms: 8bit output!\n", stderr);
        return 0;
    }
    unsigned bits = 0;
    if (pDst->OutputBitMode == 0) {
        bits = 1;
    } else if (pDst->OutputBitMode == 1) {
        bits = 2;
    } else {
        std::fprintf(stderr, "cms: no halftone matrix for OutputBitMode %u, page left blank!\n",
                     static_cast<unsigned>(pDst->OutputBitMode));
        return 0;
    }

    CMS_DITHER_THRESH matrix;
    GDI1getditherthresh(&matrix, 600, 0, static_cast<int>(bits));
    if (matrix.pThresh == nullptr || matrix.width == 0 || matrix.height == 0 ||
        matrix.bitsPerPixel != bits)
        return 0;

    const Screen s{matrix.pThresh,    matrix.width,      matrix.height,    bits,
                   (1u << bits) - 1u, pDst->OutputDataX, pDst->OutputDataY};
    const size_t width = pSrc->InputDataWidth;
    const size_t height = pSrc->InputDataHeight;
    const size_t stride = (width + 7) & ~size_t{7};
    const size_t lineByte = pDst->OutputDataLineByte;
    uint8_t *dst = pDst->ColorDstData;

#if defined(__SSE2__)
    if (s.width == kTile && s.height == kTile) {
        RowVectors rows[kTile];
        BuildRowVectors(s, rows);
        for (size_t i = 0; i < height; ++i) {
            const RowVectors &row = rows[(i + s.phaseY) % kTile];
            if (bits == 1)
                ScreenLine1(s, i, row, work + i * stride, dst + i * lineByte, width);
            else
                ScreenLine2(s, i, row, work + i * stride, dst + i * lineByte, width);
        }
        return 0;
    }
#endif
    for (size_t i = 0; i < height; ++i)
        ScreenLineScalar(s, i, work + i * stride, dst + i * lineByte, 0, width);
    return 0;
}
