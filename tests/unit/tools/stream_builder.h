// Hand-assembled job streams of the three dialects for the inspector's tests, built from the
// frame description of tests/support/wire_frames.h, with page data coded by libjbig's own
// encoder. Every builder records the offsets of the items the tests corrupt.
#pragma once

#include "tests/support/wire_frames.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

extern "C" {
#include <jbig.h>
}

namespace sb {

using Buf = std::vector<uint8_t>;

// A test page: `width` pixels per line of `bpp` bits; `bits` holds packed rows of
// width * bpp / 8 bytes, most significant bit first.
struct TestPage {
    uint32_t width = 0;
    uint32_t height = 0;
    int bpp = 1;
    Buf bits;
    uint32_t codedWidth() const { return width * bpp; }
    size_t rowBytes() const { return codedWidth() / 8; }
};

// A page with a frame, a diagonal, a filled block and some noise, all from a fixed seed.
inline TestPage PatternPage(uint32_t width, uint32_t height, int bpp, unsigned seed) {
    TestPage p;
    p.width = width;
    p.height = height;
    p.bpp = bpp;
    p.bits.assign(p.rowBytes() * height, 0);
    std::mt19937 rng(seed);
    const uint32_t cw = p.codedWidth();
    auto set = [&](uint32_t x, uint32_t y) { p.bits[y * p.rowBytes() + x / 8] |= 0x80 >> (x % 8); };
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < cw; ++x) {
            const bool border = y < 4 || y + 4 >= height || x < 8 || x + 8 >= cw;
            const bool diagonal = (x / (cw / width)) % width == (y * width / height) % width;
            const bool block = y > height / 3 && y < height / 2 && x > cw / 4 && x < cw / 2;
            const bool noise = y > height * 2 / 3 && (rng() % 7) == 0;
            if (border || diagonal || block || noise) set(x, y);
        }
    }
    return p;
}

// A page of random bits: compresses badly, so its JBIG data is large.
inline TestPage NoisePage(uint32_t width, uint32_t height, unsigned seed) {
    TestPage p;
    p.width = width;
    p.height = height;
    p.bits.resize(p.rowBytes() * height);
    std::mt19937 rng(seed);
    for (uint8_t &b : p.bits)
        b = static_cast<uint8_t>(rng());
    return p;
}

// Stripe data of a bitmap coded by libjbig with the two-line template and typical prediction,
// one layer, stripes of l0 lines; the 20-byte header that libjbig writes first is dropped,
// because the streams carry its values in their own frames.
inline Buf EncodeJbig(const Buf &bits, uint32_t codedWidth, uint32_t height, uint32_t l0) {
    Buf out;
    Buf copy = bits;
    unsigned char *planes[1] = {copy.data()};
    jbg_enc_state s;
    jbg_enc_init(
        &s, codedWidth, height, 1, planes,
        [](unsigned char *data, size_t len, void *ctx) {
            auto *o = static_cast<Buf *>(ctx);
            o->insert(o->end(), data, data + len);
        },
        &out);
    jbg_enc_layers(&s, 0);
    jbg_enc_options(&s, JBG_ILEAVE | JBG_SMID, JBG_LRLTWO | JBG_TPBON, l0, 0, 0);
    jbg_enc_out(&s);
    jbg_enc_free(&s);
    return Buf(out.begin() + 20, out.end());
}

inline void Put(Buf &b, std::initializer_list<uint8_t> bytes) {
    b.insert(b.end(), bytes);
}
inline void PutText(Buf &b, const std::string &s) {
    b.insert(b.end(), s.begin(), s.end());
}
using wire::kUelC;

// A stream with the offsets of its items: key "<name>.<page>" (page 0 for job-level items).
struct Stream {
    Buf bytes;
    std::map<std::string, size_t> at;
    void Mark(const std::string &key) { at[key] = bytes.size(); }
    void Put(const wire::Bytes &b) { PutText(bytes, b); }
    void Put(const Buf &b) { bytes.insert(bytes.end(), b.begin(), b.end()); }
};

// The raster format of the frames of platforms C and Z: 1 or 2 bits per pixel.
inline uint8_t RasterFormat(const TestPage &pg) {
    return pg.bpp == 2 ? 0x25 : 0x20;
}

// Platform C: clean-up preamble, PJL, job frames, then per page the page specification,
// custom paper, host use, raster image with one JBIG image in stripes of `l0` lines, and the
// page end with image checksum, coverage and form feed; then the job end.
inline Stream BuildStreamC(const std::vector<TestPage> &pages, uint32_t l0 = 768) {
    using namespace wire;
    Stream s;
    s.Put(kUelC + kAbort + kEndOfJob + "versions=3.1.2.1" + kZeroPair + kPjlHeader +
          kEnterLanguage + kZeroPair);
    s.Mark("job-spec.0");
    s.Put(ShortFrame(0x11, Hex("2C 30")) + kZeroPair + ShortFrame(0x19, Hex("00")) + kZeroPair +
          ShortFrame(0x15, Hex("03")) + ShortFrame(0x1F, Hex("EA 07 03 07")));
    for (size_t i = 0; i < pages.size(); ++i) {
        const TestPage &pg = pages[i];
        const std::string n = std::to_string(i + 1);
        const Buf data = EncodeJbig(pg.bits, pg.codedWidth(), pg.height, l0);
        s.Put(kZeroPair);
        s.Mark("page-spec." + n);
        s.Put(PageSpec{9, 1, 60, 60, 4, 0x40, 1, 100, 120, uint16_t(i + 1)}.Frame() + kZeroPair +
              CustomPaper(0, 0, 0, 0) + kZeroPair + kHostUse + kZeroPair);
        s.Mark("raster-image." + n);
        s.Put(RasterImage{RasterFormat(pg), uint16_t(pg.width), uint16_t(pg.height),
                          uint16_t(pg.width), uint16_t(l0), uint32_t(data.size())}
                  .Frame());
        s.Mark("jbig-data." + n);
        s.Put(data);
        s.Put(kUelC + kZeroPair);
        unsigned sum = 0x9E;
        for (uint8_t b : data)
            sum += b;
        s.Mark("image-checksum." + n);
        s.Put(ImageChecksum::Frame(uint8_t(sum)) + kZeroPair + ShortFrame(0x1E, Hex("34 12")) +
              kZeroPair);
        s.Mark("form-feed." + n);
        s.Put(kFormFeed);
    }
    s.Put(kZeroPair + kQueryStatus + kZeroPair + kReset);
    s.Mark("end-of-job.0");
    s.Put(kEndOfJob);
    return s;
}

// Platform Z: PJL job ticket, job frames and the R18 engine frame, then per page the page
// specification, custom paper, coverage, raster image and one band frame with its own JBIG
// image per 256 lines; then the job end.
inline Stream BuildStreamZ(const std::vector<TestPage> &pages) {
    using namespace wire;
    Stream s;
    s.Put(kPjlHeader + "@PJL JOBTIME=05:09:07:03:2026\r\n" + "@PJL JOBOWNER=testhost\r\n" +
          kEnterLanguage + kZeroPair + ShortFrame(0x1F, Hex("01")) + kZeroPair);
    s.Mark("job-spec.0");
    s.Put(ShortFrame(0x11, Hex("30 04 03 02 01")) + kZeroPair + ShortFrame(0x15, Hex("03")) +
          kZeroPair);
    Bytes engine = Hex("00 1E 24 26 2F 50 06 20 20 20 28 2C") + Bytes(18, 0x20) + Hex("0A 00");
    s.Put(ShortFrame(0x1E, engine));
    for (size_t i = 0; i < pages.size(); ++i) {
        const TestPage &pg = pages[i];
        const std::string n = std::to_string(i + 1);
        s.Put(kZeroPair);
        s.Mark("page-spec." + n);
        s.Put(PageSpec{0, 1, 60, 60, 2, 0, 3, 100, 120, uint16_t(i + 1)}.Frame() + kZeroPair +
              CustomPaper(4960, 7016, 4800, 6800) + kZeroPair + ShortFrame(0x19, Hex("05 02 01")) +
              kZeroPair);
        s.Mark("raster-image." + n);
        s.Put(RasterImage{RasterFormat(pg), uint16_t(pg.width), uint16_t(pg.height)}.Frame());
        const uint32_t bands = (pg.height + 255) / 256;
        for (uint32_t b = 0; b < bands; ++b) {
            const uint32_t lines = std::min<uint32_t>(256, pg.height - 256 * b);
            const Buf band(pg.bits.begin() + pg.rowBytes() * 256 * b,
                           pg.bits.begin() + pg.rowBytes() * (256 * b + lines));
            const Buf data = EncodeJbig(band, pg.codedWidth(), lines, lines);
            s.Mark("band." + n + "." + std::to_string(b + 1));
            s.Put(Band{pg.width, lines, lines, uint32_t(data.size()), 256 * b, ""}.Frame());
            s.Put(data);
        }
        s.Put(kZeroPair);
        s.Mark("form-feed." + n);
        s.Put(kFormFeed);
    }
    s.Put(kReset);
    s.Mark("end-of-job.0");
    s.Put(kEndOfJob);
    return s;
}

// Platform M: universal exit, "JZJZ", engine block, job start; per page a START_PAGE_CMD with
// 14 records, the JBIG parameter block, data packages of at most 65536 bytes and the JBIG end
// block, then END_PAGE_CMD; then END_DOC_CMD and the universal exit. `qvWidth` makes the JBIG
// parameter block report the pixel width instead of the coded width, as the QV models do.
inline Stream BuildStreamM(const std::vector<TestPage> &pages, bool qvWidth = false) {
    using namespace wire;
    Stream s;
    s.Put(kUel + kJZJZ + BlockHeader(88, block::kTonerParam, 0));
    const uint16_t toner[36] = {0,   81,  115, 110, 150, 122, 100, 150, 200, 100, 81,  100,
                                100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100,
                                120, 135, 150, 180, 200, 120, 150, 190, 350, 400, 100, 100};
    Bytes engine;
    for (uint16_t v : toner)
        PutBe16(engine, v);
    const std::pair<uint16_t, uint32_t> docRecords[] = {{0, 0}, {1, 0}, {2, 1}};
    s.Put(engine + RecordBlock(block::kStartDoc, docRecords));
    for (size_t i = 0; i < pages.size(); ++i) {
        const TestPage &pg = pages[i];
        const std::string n = std::to_string(i + 1);
        const std::pair<uint16_t, uint32_t> recs[14] = {{3, 9},
                                                        {4, 1},
                                                        {5, 2},
                                                        {6, 1},
                                                        {7, 1},
                                                        {8, 600},
                                                        {9, 600},
                                                        {22, 0},
                                                        {12, pg.codedWidth()},
                                                        {13, pg.height},
                                                        {16, uint32_t(pg.bpp)},
                                                        {17, pg.width},
                                                        {18, pg.height},
                                                        {0xFF00, 3}};
        s.Mark("start-page." + n);
        s.Put(RecordBlock(block::kStartPage, recs));
        const Buf data = EncodeJbig(pg.bits, pg.codedWidth(), pg.height, 256);
        s.Mark("jbig-param." + n);
        s.Put(JbigParam{qvWidth ? pg.width : pg.codedWidth(), pg.height, 256}.Block());
        for (size_t off = 0, k = 1; off < data.size(); off += block::kMaxPackage, ++k)
            s.at["package." + n + "." + std::to_string(k)] =
                s.bytes.size() + (k - 1) * block::kHeaderSize + off;
        s.Put(JbigPackages(Bytes(data.begin(), data.end())) + EmptyBlock(block::kJbigEnd));
        s.Mark("end-page." + n);
        s.Put(EmptyBlock(block::kEndPage));
    }
    s.Put(EmptyBlock(block::kEndDoc));
    s.Mark("end-uel.0");
    s.Put(kUel);
    return s;
}

inline bool WriteFile(const std::string &path, const Buf &bytes) {
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

inline Buf ReadFile(const std::string &path) {
    Buf out;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return out;
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out.insert(out.end(), buf, buf + n);
    fclose(f);
    return out;
}

// Toner pixels of a test page: set bits, or non-zero 2-bit values.
inline uint64_t TonerPixels(const TestPage &p) {
    uint64_t n = 0;
    for (uint8_t b : p.bits) {
        if (p.bpp == 2) b = (b | (b >> 1)) & 0x55;
        n += __builtin_popcount(b);
    }
    return n;
}

} // namespace sb
