// Ordered dithering of the grey page into the printer's bitmap. The matrix repeats every 16, 28 or
// 96 pixels, so each line is dithered 16 pixels at a time against a threshold row expanded to a
// whole number of 16-pixel groups; the line's bits are then spliced into the output stream, which
// does not restart at line ends.
#include "imaging/halftone.h"

#include "common/dialect.h"
#include "imaging/ht_tables.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr int kGroup = 16;              // pixels dithered at once
constexpr int kMaxExpanded = 256;       // lcm(period, 16) for every matrix fits here
constexpr uint32_t kChunkPixels = 8192; // pixels per pass over the line-bits buffer

// Bit order of a byte reversed: the comparison masks come out first pixel lowest, the stream
// wants it highest.
constexpr std::array<unsigned char, 256> kReverse = [] {
    std::array<unsigned char, 256> r{};
    for (int i = 0; i < 256; ++i) {
        int v = 0;
        for (int b = 0; b < 8; ++b)
            if (i & (1 << b)) v |= 0x80 >> b;
        r[i] = static_cast<unsigned char>(v);
    }
    return r;
}();

// Writer of the continuous output stream: completed bytes go out, the bits of an incomplete byte
// wait (MSB-aligned) for the next line. The first `invertLeft` bytes completed are inverted.
struct BitStream {
    unsigned char *out;
    unsigned pend = 0; // waiting bits, in the top `npend` bits of a byte
    int npend = 0;
    uint64_t invertLeft = 0;

    void EmitByte(unsigned v) {
        if (invertLeft) {
            v = ~v;
            --invertLeft;
        }
        *out++ = static_cast<unsigned char>(v);
    }

    // Appends `nbits` bits held MSB-first in `bits`.
    void Put(const unsigned char *bits, uint32_t nbits) {
        uint32_t whole = nbits / 8;
        if (npend == 0) {
            uint32_t inv = static_cast<uint32_t>(std::min<uint64_t>(invertLeft, whole));
            for (uint32_t k = 0; k < inv; ++k)
                out[k] = static_cast<unsigned char>(~bits[k]);
            std::memcpy(out + inv, bits + inv, whole - inv);
            out += whole;
            invertLeft -= inv;
        } else {
            const int sh = npend;
            for (uint32_t k = 0; k < whole; ++k) {
                EmitByte((pend | (bits[k] >> sh)) & 0xFF);
                pend = (bits[k] << (8 - sh)) & 0xFF;
            }
        }
        uint32_t rest = nbits % 8;
        if (rest) {
            unsigned tail = bits[whole] & (0xFF00u >> rest) & 0xFF;
            pend |= tail >> npend;
            npend += rest;
            if (npend >= 8) {
                EmitByte(pend & 0xFF);
                npend -= 8;
                pend = (tail << (rest - npend)) & 0xFF;
            }
        }
    }
};

// 1-bit dithering of n pixels: bit = (s < t), or (s >= t) when `reversed`; MSB-first into bits.
// `trow` holds `len` thresholds (a multiple of 16) starting at the phase of src[0].
void DitherBits(const unsigned char *src, uint32_t n, const unsigned char *trow, int len, int phase,
                bool reversed, unsigned char *bits) {
    uint32_t x = 0;
#if defined(__SSE2__)
    const __m128i bias = _mm_set1_epi8(static_cast<char>(0x80));
    const int flip = reversed ? 0xFFFF : 0;
    for (; x + kGroup <= n; x += kGroup) {
        __m128i s =
            _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(src + x)), bias);
        __m128i t =
            _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(trow + phase)), bias);
        int m = _mm_movemask_epi8(_mm_cmplt_epi8(s, t)) ^ flip;
        bits[x / 8] = kReverse[m & 0xFF];
        bits[x / 8 + 1] = kReverse[m >> 8];
        phase += kGroup;
        if (phase == len) phase = 0;
    }
#endif
    for (; x < n; ++x) {
        if (x % 8 == 0) bits[x / 8] = 0;
        bool bit = (src[x] < trow[phase]) != reversed;
        bits[x / 8] |= static_cast<unsigned char>(bit << (7 - x % 8));
        if (++phase == len) phase = 0;
    }
}

// Level boundaries of HT_TABLE_2BIG: level = number of boundaries the code reaches.
struct Levels {
    bool stepwise; // the table rises from 0 to 3 in steps of 1
    unsigned char bound[3];
};

Levels LevelBounds() {
    Levels lv{true, {0, 0, 0}};
    if (HT_TABLE_2BIG[0] != 0 || HT_TABLE_2BIG[255] != 3) lv.stepwise = false;
    for (int c = 1; c < 256 && lv.stepwise; ++c) {
        int d = HT_TABLE_2BIG[c] - HT_TABLE_2BIG[c - 1];
        if (d < 0 || d > 1)
            lv.stepwise = false;
        else if (d == 1)
            lv.bound[HT_TABLE_2BIG[c] - 1] = static_cast<unsigned char>(c);
    }
    return lv;
}

// The 2-bit level of one sample: darkness code from sample and threshold, through HT_TABLE_2BIG.
inline unsigned Level2(unsigned s, unsigned t, bool negative) {
    unsigned code = s == 0 ? 255 : (s + t >= 255 ? 0 : 255 - s - t);
    unsigned level = HT_TABLE_2BIG[code] & 3;
    return negative ? 3 - level : level;
}

// 2-bit dithering of n pixels (4 per byte, first pixel in the top bits) into bits.
void DitherLevels(const unsigned char *src, uint32_t n, const unsigned char *trow, int len,
                  int phase, bool negative, const Levels &lv, unsigned char *bits) {
    uint32_t x = 0;
#if defined(__SSE2__)
    if (lv.stepwise) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i three = _mm_set1_epi8(3);
        const __m128i b1 = _mm_set1_epi8(static_cast<char>(lv.bound[0]));
        const __m128i b2 = _mm_set1_epi8(static_cast<char>(lv.bound[1]));
        const __m128i b3 = _mm_set1_epi8(static_cast<char>(lv.bound[2]));
        const __m128i nibbles = _mm_set1_epi64x(0x000F000F000F000FLL);
        const __m128i lowByte = _mm_set1_epi32(0xFF);
        for (; x + kGroup <= n; x += kGroup) {
            __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + x));
            __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i *>(trow + phase));
            // code = 255 - s - t, at least 0; 255 for a black sample
            __m128i code = _mm_subs_epu8(_mm_xor_si128(s, _mm_set1_epi8(-1)), t);
            code = _mm_or_si128(code, _mm_cmpeq_epi8(s, zero));
            __m128i ge1 = _mm_cmpeq_epi8(_mm_max_epu8(code, b1), code);
            __m128i ge2 = _mm_cmpeq_epi8(_mm_max_epu8(code, b2), code);
            __m128i ge3 = _mm_cmpeq_epi8(_mm_max_epu8(code, b3), code);
            __m128i level = _mm_sub_epi8(zero, _mm_add_epi8(_mm_add_epi8(ge1, ge2), ge3));
            if (negative) level = _mm_sub_epi8(three, level);
            // pack: in each 64-bit lane, byte i holds level i; make (l0<<6|l1<<4|l2<<2|l3) at
            // bytes 0 and 4
            __m128i pairs = _mm_and_si128(
                _mm_or_si128(_mm_slli_epi64(level, 2), _mm_srli_epi64(level, 8)), nibbles);
            __m128i quads = _mm_or_si128(_mm_slli_epi64(pairs, 4), _mm_srli_epi64(pairs, 16));
            quads = _mm_and_si128(quads, lowByte);
            __m128i packed = _mm_packus_epi16(_mm_packs_epi32(quads, zero), zero);
            uint32_t four = static_cast<uint32_t>(_mm_cvtsi128_si32(packed));
            std::memcpy(bits + x / 4, &four, 4);
            phase += kGroup;
            if (phase == len) phase = 0;
        }
    }
#endif
    for (; x < n; ++x) {
        if (x % 4 == 0) bits[x / 4] = 0;
        bits[x / 4] |=
            static_cast<unsigned char>(Level2(src[x], trow[phase], negative) << (6 - 2 * (x % 4)));
        if (++phase == len) phase = 0;
    }
}

// Ones in a 64-bit word, by adding bit fields: the baseline x86-64 build has no popcount
// instruction, and std::popcount would call a library routine for every word.
inline uint64_t Ones64(uint64_t w) {
    w -= (w >> 1) & 0x5555555555555555ULL;
    w = (w & 0x3333333333333333ULL) + ((w >> 2) & 0x3333333333333333ULL);
    w = (w + (w >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
    return (w * 0x0101010101010101ULL) >> 56;
}

// Number of 1 bits among the first n bits (MSB-first) of bits.
uint64_t CountOnes(const unsigned char *bits, uint32_t n) {
    uint64_t ones = 0;
    uint32_t k = 0;
    for (; k + 64 <= n; k += 64) {
        uint64_t w;
        std::memcpy(&w, bits + k / 8, 8);
        ones += Ones64(w);
    }
    for (; k + 8 <= n; k += 8)
        ones += Ones64(bits[k / 8]);
    if (k < n) ones += Ones64(bits[k / 8] & (0xFF00u >> (n - k)) & 0xFF);
    return ones;
}

// Ones among bits [from, to) of the line bits.
uint64_t CountOnesRange(const unsigned char *bits, uint32_t from, uint32_t to) {
    if (to <= from) return 0;
    return CountOnes(bits, to) - CountOnes(bits, from);
}

} // namespace

// HT_TABLE_1200_C is tiled with its full period of 28, so its 14 x 14 cells are never cut.
HT_SCREEN SelectHalftoneScreen(ScreenMatrix matrix) {
    switch (matrix) {
    case ScreenMatrix::Supercell1200:
        return {NEW_HT_HALFTONE_1200_Z, 96, 96};
    case ScreenMatrix::Supercell600:
        return {NEW_HT_TABLE_600_Z_M, 96, 96};
    case ScreenMatrix::Classic1200C:
        return {HT_TABLE_1200_C, 28, 28};
    case ScreenMatrix::Classic1200Z:
        return {HT_TABLE_1200_Z, 16, 16};
    default:
        return {HT_TABLE_600, 16, 16};
    }
}

namespace {

// Dithers srcImgHpixels lines whose first line uses row `tileRowStart` of the matrix (the body of
// HalftoneDither, which starts at row 0). Lines are handled in chunks of kChunkPixels through a
// small stack buffer; the dot count is taken from the line bits (inverted columns count their
// zeros).
int64_t DitherLines(const unsigned char *pSrcImgData, uint32_t srcImgWbytes, uint32_t srcImgHpixels,
                    unsigned char *pTarImgData, uint32_t realImgWByte, const ScreenSpec &spec,
                    uint32_t tileRowStart) {
    const HT_SCREEN screen = SelectHalftoneScreen(spec.matrix);
    const bool twoBit = spec.bits == 2;
    const bool negative = spec.reversed;
    const bool countDots = spec.countsDots;
    const bool invertBytes = countDots && negative; // whole completed bytes
    const bool reversedCompare = !countDots && negative;
    const int bpp = twoBit ? 2 : 1;
    const Levels levels = LevelBounds();

    // Only pixels that complete an output byte are written: the buffer holds W*H*bpp/8 bytes.
    const uint64_t width = srcImgWbytes;
    const uint64_t total = width * srcImgHpixels;
    const uint64_t written = total - total % static_cast<uint64_t>(8 / bpp);

    // Threshold row expanded to a whole number of 16-pixel groups.
    int len = screen.period;
    while (len % kGroup)
        len += screen.period;
    static_assert(kMaxExpanded >= 112, "expanded rows of the 28-pixel matrix must fit");
    alignas(16) unsigned char trow[kMaxExpanded + kGroup];
    alignas(16) unsigned char bits[kChunkPixels / 4 + 8];

    BitStream stream{pTarImgData};
    uint64_t coverage = 0;
    int tileRow = static_cast<int>(tileRowStart % static_cast<uint32_t>(screen.period));
    for (uint64_t y = 0; y < srcImgHpixels; ++y) {
        const uint64_t lineStart = y * width;
        if (lineStart >= written) break;
        const uint32_t limit =
            static_cast<uint32_t>(std::min<uint64_t>(width, written - lineStart));
        const unsigned char *row = screen.table + tileRow * screen.stride;
        for (int i = 0, c = 0; i < len; ++i) {
            trow[i] = row[c];
            if (++c == screen.period) c = 0;
        }
        if (invertBytes) {
            // completed bytes whose last pixel lies left of realImgWByte are inverted
            const uint64_t reach = static_cast<uint64_t>(realImgWByte) + stream.npend;
            stream.invertLeft = reach / 8;
        }
        const uint32_t inImage = std::min<uint32_t>(limit, realImgWByte);
        const unsigned char *src = pSrcImgData + lineStart;
        int phase = 0;
        for (uint32_t x0 = 0; x0 < limit; x0 += kChunkPixels) {
            const uint32_t n = std::min<uint32_t>(kChunkPixels, limit - x0);
            if (twoBit) {
                DitherLevels(src + x0, n, trow, len, phase, negative, levels, bits);
            } else {
                DitherBits(src + x0, n, trow, len, phase, reversedCompare, bits);
                if (countDots) {
                    // negative: pixels inside the image count when their bit is 0
                    const uint32_t cut = std::clamp<uint32_t>(inImage, x0, x0 + n) - x0;
                    const uint64_t onesIn = CountOnesRange(bits, 0, cut);
                    const uint64_t onesOut = CountOnesRange(bits, cut, n);
                    coverage += negative ? (cut - onesIn) + onesOut : onesIn + onesOut;
                }
            }
            stream.Put(bits, n * bpp);
            phase = static_cast<int>((phase + n) % static_cast<uint32_t>(len));
        }
        if (++tileRow == screen.period) tileRow = 0;
    }
    return static_cast<int64_t>(coverage);
}

bool HasMatrix(const ScreenSpec &screen) {
    return screen.matrix != ScreenMatrix::None;
}

} // namespace

// Dithers a page; see halftone.h.
int64_t HalftoneDither(const unsigned char *pSrcImgData, uint32_t srcImgWbytes,
                       uint32_t srcImgHpixels, unsigned char *pTarImgData, uint32_t realImgWByte,
                       const ScreenSpec &screen) {
    if (!pSrcImgData || !pTarImgData || !HasMatrix(screen)) return -1;
    return DitherLines(pSrcImgData, srcImgWbytes, srcImgHpixels, pTarImgData, realImgWByte, screen,
                       0);
}

// Dithers some rows of a page; see halftone.h. With rows starting on whole bytes the bit stream
// carries nothing from one line to the next but the matrix row, so a band dithered on its own
// with the matrix row of its first line gives the bytes the whole page would.
int64_t HalftoneDitherRows(const unsigned char *pSrcRows, uint32_t srcImgWbytes, uint32_t rows,
                           uint32_t firstRow, unsigned char *pTarRows, uint32_t realImgWByte,
                           const ScreenSpec &screen) {
    if (!pSrcRows || !pTarRows || !HasMatrix(screen)) return -1;
    const uint64_t bpp = screen.bits == 2 ? 2 : 1;
    if (uint64_t{srcImgWbytes} * bpp % 8 != 0) return -1;
    return DitherLines(pSrcRows, srcImgWbytes, rows, pTarRows, realImgWByte, screen, firstRow);
}

// Toner bits are the white bits inverted; the padding right of `pixels` is white, as the grey
// route's white padding dithers. A negative print then follows DitherLines: with a dot count the
// bytes wholly left of realImgWByte are inverted and the count takes the columns inside the image
// as inverted; without one every bit is inverted.
int64_t PlaceScreenedRow(const unsigned char *pWhiteBits, uint32_t firstPixel, uint32_t pixels,
                         uint32_t width, unsigned char *pTarRow, uint32_t realImgWByte,
                         const ScreenSpec &screen) {
    if (!pWhiteBits || !pTarRow || !HasMatrix(screen) || screen.bits != 1 || width % 8 != 0 ||
        pixels > width)
        return -1;
    const uint32_t bytes = width / 8, used = (pixels + 7) / 8, sh = firstPixel % 8;
    const unsigned char *src = pWhiteBits + firstPixel / 8;
    for (uint32_t k = 0; k < used; ++k) {
        // the byte's bits from the source; the next source byte only where it holds row pixels
        unsigned v = static_cast<unsigned>(src[k]) << sh;
        if (sh && (k + 1) * 8 < pixels + sh) v |= src[k + 1] >> (8 - sh);
        pTarRow[k] = static_cast<unsigned char>(~v);
    }
    if (pixels % 8) pTarRow[used - 1] &= static_cast<unsigned char>(0xFF00u >> (pixels % 8));
    std::memset(pTarRow + used, 0, bytes - used);
    const bool negative = screen.reversed;
    if (!screen.countsDots) {
        if (negative)
            for (uint32_t k = 0; k < bytes; ++k)
                pTarRow[k] = static_cast<unsigned char>(~pTarRow[k]);
        return 0;
    }
    const uint32_t cut = std::min(width, realImgWByte);
    const uint64_t onesIn = CountOnes(pTarRow, cut), onesOut = CountOnesRange(pTarRow, cut, width);
    if (!negative) return static_cast<int64_t>(onesIn + onesOut);
    const uint32_t inverted = std::min(bytes, realImgWByte / 8);
    for (uint32_t k = 0; k < inverted; ++k)
        pTarRow[k] = static_cast<unsigned char>(~pTarRow[k]);
    return static_cast<int64_t>((cut - onesIn) + onesOut);
}
