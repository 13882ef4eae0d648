// Page decoding with libjbig's full T.82 decoder: each JBIG image of a page (the whole page,
// or one band) gets a 20-byte bi-level image header built from the values the stream
// announces, is decoded, checked against the announced size and stacked into the page bitmap.
#include "tools/inspect/inspect.h"

#include <bit>
#include <cstring>
#include <memory>

// libjbig's header declares C functions without C++ linkage guards.
extern "C" {
#include <jbig.h>
}

namespace {

// Largest image the inspector agrees to decode: 2^31 pixels (256 MiB of bitmap), far above an
// A3 page at 1200 dpi with two bits per pixel.
constexpr uint64_t kMaxPixels = uint64_t(1) << 31;

// Writes the bi-level image header of T.82: DL, D, P, fill, XD, YD, L0 (big-endian), MX, MY,
// order, options.
void BuildBih(const JbigImage &img, uint8_t bih[20]) {
    auto put32 = [&](int at, uint32_t v) {
        bih[at] = uint8_t(v >> 24);
        bih[at + 1] = uint8_t(v >> 16);
        bih[at + 2] = uint8_t(v >> 8);
        bih[at + 3] = uint8_t(v);
    };
    bih[0] = img.dl;
    bih[1] = img.d;
    bih[2] = img.p;
    bih[3] = 0;
    put32(4, img.width);
    put32(8, img.height);
    put32(12, img.l0);
    bih[16] = img.mx;
    bih[17] = img.my;
    bih[18] = img.order;
    bih[19] = img.options;
}

// Frees libjbig's decoder state on every path.
struct DecoderState {
    jbg_dec_state s;
    DecoderState() { jbg_dec_init(&s); }
    ~DecoderState() { jbg_dec_free(&s); }
    DecoderState(const DecoderState &) = delete;
    DecoderState &operator=(const DecoderState &) = delete;
};

// Decodes one image into `out` (packed rows); records an error and returns false on failure.
bool DecodeImage(const JbigImage &img, std::vector<uint8_t> &out, Report &r) {
    if (uint64_t(img.width) * img.height > kMaxPixels || img.width == 0 || img.height == 0) {
        AddError(r, img.offset,
                 "JBIG image of " + std::to_string(img.width) + " x " + std::to_string(img.height) +
                     " pixels is not decodable here");
        return false;
    }
    auto dec = std::make_unique<DecoderState>();
    jbg_dec_maxsize(&dec->s, img.width, img.height);
    uint8_t bih[20];
    BuildBih(img, bih);
    size_t used = 0;
    int rc = jbg_dec_in(&dec->s, bih, sizeof bih, &used);
    if (rc != JBG_EAGAIN) {
        AddError(r, img.offset,
                 std::string("JBIG header built from the announced values (") +
                     std::to_string(img.width) + " x " + std::to_string(img.height) + ", L0 " +
                     std::to_string(img.l0) + ", options 0x" + Hex(img.options, 2) +
                     ") is rejected: " + jbg_strerror(rc));
        return false;
    }
    used = 0;
    rc = jbg_dec_in(&dec->s, const_cast<uint8_t *>(img.data.data()), img.data.size(), &used);
    if (rc == JBG_EAGAIN) {
        AddError(r, img.offset,
                 "JBIG data of " + std::to_string(img.data.size()) +
                     " bytes ends before the image of " + std::to_string(img.height) +
                     " lines is complete");
        return false;
    }
    if (rc != JBG_EOK) {
        AddError(r, img.offset + used,
                 std::string("JBIG data does not decode: ") + jbg_strerror(rc) + " (at byte " +
                     std::to_string(used) + " of the image)");
        return false;
    }
    if (used < img.data.size()) {
        AddError(r, img.offset + used,
                 "JBIG data continues " + std::to_string(img.data.size() - used) +
                     " bytes past the end of the image");
        return false;
    }
    if (jbg_dec_getwidth(&dec->s) != img.width || jbg_dec_getheight(&dec->s) != img.height) {
        AddError(r, img.offset,
                 "JBIG image decodes to " + std::to_string(jbg_dec_getwidth(&dec->s)) + " x " +
                     std::to_string(jbg_dec_getheight(&dec->s)) + ", announced " +
                     std::to_string(img.width) + " x " + std::to_string(img.height));
        return false;
    }
    const uint8_t *plane = jbg_dec_getimage(&dec->s, 0);
    out.assign(plane, plane + jbg_dec_getsize(&dec->s));
    return true;
}

} // namespace

// Decodes every image of the page and stacks them at their first lines.
bool DecodePage(Page &page, std::vector<uint8_t> &bitmap, Report &r) {
    bitmap.clear();
    if (!page.hasImage || page.images.empty()) return false;
    const size_t rowBytes = (size_t(page.codedWidth) + 7) / 8;
    if (uint64_t(page.codedWidth) * page.height > kMaxPixels) {
        AddError(r, page.offset,
                 "page of " + std::to_string(page.codedWidth) + " x " +
                     std::to_string(page.height) + " pixels is too large to decode");
        return false;
    }
    bitmap.assign(rowBytes * page.height, 0);
    uint64_t lines = 0;
    std::vector<uint8_t> part;
    for (const JbigImage &img : page.images) {
        if (!DecodeImage(img, part, r)) return false;
        if (img.firstLine + uint64_t(img.height) > page.height ||
            part.size() != rowBytes * img.height) {
            AddError(r, img.offset,
                     "JBIG image of lines " + std::to_string(img.firstLine) + " to " +
                         std::to_string(img.firstLine + img.height) + " does not fit the page of " +
                         std::to_string(page.height) + " lines");
            return false;
        }
        std::memcpy(bitmap.data() + rowBytes * img.firstLine, part.data(), part.size());
        lines += img.height;
    }
    if (lines != page.height) {
        AddError(r, page.images.front().offset,
                 "page " + std::to_string(page.index) + " decodes to " + std::to_string(lines) +
                     " lines, announced " + std::to_string(page.height));
        return false;
    }
    return true;
}

// Counts the toner pixels: set bits of a 1-bit page, non-zero 2-bit values of a 2-bit page.
// Padding bits at the end of a row are not counted.
uint64_t CountTonerPixels(const std::vector<uint8_t> &bitmap, uint32_t codedWidth, uint32_t height,
                          int bpp) {
    const size_t rowBytes = (size_t(codedWidth) + 7) / 8;
    const unsigned tail = codedWidth % 8;
    const uint8_t lastMask = tail ? uint8_t(0xFF << (8 - tail)) : 0xFF;
    uint64_t n = 0;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t *row = bitmap.data() + rowBytes * y;
        for (size_t x = 0; x < rowBytes; ++x) {
            uint8_t b = row[x];
            if (x + 1 == rowBytes) b &= lastMask;
            if (bpp == 2) b = (b | (b >> 1)) & 0x55;
            n += std::popcount(b);
        }
    }
    return n;
}

// FNV-1a, 64 bits, over the bytes of the decoded bitmap.
uint64_t BitmapHash(const std::vector<uint8_t> &bitmap) {
    uint64_t h = 0xcbf29ce484222325ULL;
    for (uint8_t b : bitmap) {
        h ^= b;
        h *= 0x100000001b3ULL;
    }
    return h;
}
