// Hand-assembled job streams of the three dialects for the inspector's tests, built from the
// byte layout of the frames and blocks, with page data coded by libjbig's own encoder. Every
// builder records the offsets of the items the tests corrupt.
#pragma once

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
inline void Put(Buf &b, const Buf &bytes) {
    b.insert(b.end(), bytes.begin(), bytes.end());
}
inline void PutText(Buf &b, const std::string &s) {
    b.insert(b.end(), s.begin(), s.end());
}
inline void Le16(Buf &b, uint32_t v) {
    Put(b, {uint8_t(v), uint8_t(v >> 8)});
}
inline void Le32(Buf &b, uint32_t v) {
    Le16(b, v & 0xFFFF);
    Le16(b, v >> 16);
}
inline void Be16(Buf &b, uint32_t v) {
    Put(b, {uint8_t(v >> 8), uint8_t(v)});
}
inline void Be32(Buf &b, uint32_t v) {
    Be16(b, v >> 16);
    Be16(b, v & 0xFFFF);
}

// A short frame: 0x0B, length, command, payload, checksum making the byte sum 0.
inline Buf Frame(uint8_t cmd, const Buf &payload) {
    Buf f = {0x0B, uint8_t(payload.size() + 4), cmd};
    Put(f, payload);
    unsigned sum = 0;
    for (uint8_t c : f)
        sum += c;
    f.push_back(uint8_t(-sum));
    return f;
}

inline const Buf kUelC = {0x1B, 0xFF, '-', '1', '2', '3', '4', '5', 'X'};
inline const Buf kUel = {0x1B, '%', '-', '1', '2', '3', '4', '5', 'X'};
inline std::string Esc(const std::string &s) {
    return "\x1B" + s;
}
inline const std::string kEndOfJob =
    Esc("%-12345X@PJL\r\n@PJL EOJ\r\n") + Esc("%-12345X\r\n"); // 36 bytes

// A stream with the offsets of its items: key "<name>.<page>" (page 0 for job-level items).
struct Stream {
    Buf bytes;
    std::map<std::string, size_t> at;
    void Mark(const std::string &key) { at[key] = bytes.size(); }
    void Zero() { Put(bytes, {0, 0}); }
};

inline Buf PageSpec(uint8_t paper, uint8_t tray, uint16_t copies, uint16_t pageNum, uint8_t flags) {
    Buf p = {paper, 1, 60, 60, tray, flags};
    Le16(p, copies);
    Le16(p, 100); // margin x
    Le16(p, 120); // margin y
    Le16(p, pageNum);
    return p;
}

inline Buf RasterImage(uint8_t format, uint32_t w, uint32_t h, uint32_t rasW, uint32_t rasH,
                       uint32_t bytes) {
    Buf p = {0, format};
    Le16(p, w);
    Le16(p, h);
    Le16(p, rasW);
    Le16(p, rasH);
    Le32(p, bytes);
    return Frame(0x0C, p);
}

// Platform C: clean-up preamble, PJL, job frames, then per page the page specification,
// custom paper, host use, raster image with one JBIG image in stripes of `l0` lines, and the
// page end with image checksum, coverage and form feed; then the job end.
inline Stream BuildStreamC(const std::vector<TestPage> &pages, uint32_t l0 = 768) {
    Stream s;
    Put(s.bytes, kUelC);
    Put(s.bytes, {0x0B, 0x04, 0x16, 0xDB});
    PutText(s.bytes, kEndOfJob);
    PutText(s.bytes, "versions=3.1.2.1");
    s.Zero();
    PutText(s.bytes, Esc("%-12345X@PJL\r\n"));
    PutText(s.bytes, "@PJL ENTER LANGUAGE=PL\r\n");
    s.Zero();
    s.Mark("job-spec.0");
    Put(s.bytes, Frame(0x11, {0x2C, 0x30}));
    s.Zero();
    Put(s.bytes, Frame(0x19, {0}));
    s.Zero();
    Put(s.bytes, Frame(0x15, {3}));
    Put(s.bytes, Frame(0x1F, {0xEA, 0x07, 3, 7}));
    for (size_t i = 0; i < pages.size(); ++i) {
        const TestPage &pg = pages[i];
        const std::string n = std::to_string(i + 1);
        const Buf data = EncodeJbig(pg.bits, pg.codedWidth(), pg.height, l0);
        s.Zero();
        s.Mark("page-spec." + n);
        Put(s.bytes, Frame(0x12, PageSpec(9, 4, 1, uint16_t(i + 1), 0x40)));
        s.Zero();
        Put(s.bytes, Frame(0x13, Buf(8, 0)));
        s.Zero();
        Put(s.bytes, Frame(0x32, {}));
        s.Zero();
        s.Mark("raster-image." + n);
        const uint8_t format = pg.bpp == 2 ? 0x25 : 0x20;
        Put(s.bytes, RasterImage(format, pg.width, pg.height, pg.width, l0, uint32_t(data.size())));
        s.Mark("jbig-data." + n);
        Put(s.bytes, data);
        Put(s.bytes, kUelC);
        s.Zero();
        unsigned sum = 0x9E;
        for (uint8_t b : data)
            sum += b;
        s.Mark("image-checksum." + n);
        Put(s.bytes, Frame(0x1A, {uint8_t(sum), 0}));
        s.Zero();
        Put(s.bytes, Frame(0x1E, {0x34, 0x12}));
        s.Zero();
        s.Mark("form-feed." + n);
        Put(s.bytes, {0x0B, 0x04, 0x18, 0xD9});
    }
    s.Zero();
    Put(s.bytes, {0x0B, 0x05, 0x31, 0x80, 0x3F});
    s.Zero();
    Put(s.bytes, {0x0B, 0x04, 0x17, 0xDA});
    s.Mark("end-of-job.0");
    PutText(s.bytes, kEndOfJob);
    return s;
}

// Platform Z: PJL job ticket, job frames and the R18 engine frame, then per page the page
// specification, custom paper, coverage, raster image and one band frame with its own JBIG
// image per 256 lines; then the job end.
inline Stream BuildStreamZ(const std::vector<TestPage> &pages) {
    Stream s;
    PutText(s.bytes, Esc("%-12345X@PJL\r\n"));
    PutText(s.bytes, "@PJL JOBTIME=05:09:07:03:2026\r\n");
    PutText(s.bytes, "@PJL JOBOWNER=testhost\r\n");
    PutText(s.bytes, "@PJL ENTER LANGUAGE=PL\r\n");
    s.Zero();
    Put(s.bytes, Frame(0x1F, {1}));
    s.Zero();
    s.Mark("job-spec.0");
    Put(s.bytes, Frame(0x11, {0x30, 4, 3, 2, 1}));
    s.Zero();
    Put(s.bytes, Frame(0x15, {3}));
    s.Zero();
    Buf engine = {0x00, 0x1E, 0x24, 0x26, 0x2F, 0x50, 0x06, 0x20, 0x20, 0x20, 0x28, 0x2C};
    engine.insert(engine.end(), 18, 0x20);
    Put(engine, {0x0A, 0x00});
    Put(s.bytes, Frame(0x1E, engine));
    for (size_t i = 0; i < pages.size(); ++i) {
        const TestPage &pg = pages[i];
        const std::string n = std::to_string(i + 1);
        s.Zero();
        s.Mark("page-spec." + n);
        Put(s.bytes, Frame(0x12, PageSpec(0, 2, 3, uint16_t(i + 1), 0)));
        s.Zero();
        Buf custom;
        for (uint32_t v : {4960u, 7016u, 4800u, 6800u})
            Le16(custom, v);
        Put(s.bytes, Frame(0x13, custom));
        s.Zero();
        Put(s.bytes, Frame(0x19, {5, 2, 1}));
        s.Zero();
        s.Mark("raster-image." + n);
        const uint8_t format = pg.bpp == 2 ? 0x25 : 0x20;
        Put(s.bytes, RasterImage(format, pg.width, pg.height, 0, 0, 0));
        const uint32_t bands = (pg.height + 255) / 256;
        for (uint32_t b = 0; b < bands; ++b) {
            const uint32_t lines = std::min<uint32_t>(256, pg.height - 256 * b);
            const Buf band(pg.bits.begin() + pg.rowBytes() * 256 * b,
                           pg.bits.begin() + pg.rowBytes() * (256 * b + lines));
            const Buf data = EncodeJbig(band, pg.codedWidth(), lines, lines);
            Buf f = {0, 0, 1, 0};
            Le32(f, pg.width);
            Le32(f, lines);
            Le32(f, lines);
            Put(f, {0, 0, 3, 0x58});
            Le32(f, uint32_t(data.size()));
            Le32(f, uint32_t(data.size()));
            Le32(f, 0);
            Le32(f, 256 * b);
            Le32(f, 3);
            Le32(f, 0);
            s.Mark("band." + n + "." + std::to_string(b + 1));
            Put(s.bytes, Frame(0x1A, f));
            Put(s.bytes, data);
        }
        s.Zero();
        s.Mark("form-feed." + n);
        Put(s.bytes, {0x0B, 0x04, 0x18, 0xD9});
    }
    Put(s.bytes, {0x0B, 0x04, 0x17, 0xDA});
    s.Mark("end-of-job.0");
    PutText(s.bytes, kEndOfJob);
    return s;
}

inline Buf BlockHeader(uint32_t len, uint32_t type, uint32_t count) {
    Buf h;
    Be32(h, len);
    Be32(h, type);
    Be32(h, count);
    Be16(h, count * 12);
    Be16(h, 0x5A5A);
    return h;
}

inline Buf ParamRecord(uint16_t id, uint32_t value) {
    Buf r;
    Be32(r, 12);
    Be16(r, id);
    Put(r, {1, 0});
    Be32(r, value);
    return r;
}

// Platform M: universal exit, "JZJZ", engine block, job start; per page a START_PAGE_CMD with
// 14 records, the JBIG parameter block, data packages of at most 65536 bytes and the JBIG end
// block, then END_PAGE_CMD; then END_DOC_CMD and the universal exit. `qvWidth` makes the JBIG
// parameter block report the pixel width instead of the coded width, as the QV models do.
inline Stream BuildStreamM(const std::vector<TestPage> &pages, bool qvWidth = false) {
    Stream s;
    Put(s.bytes, kUel);
    PutText(s.bytes, "JZJZ");
    Put(s.bytes, BlockHeader(88, 17, 0));
    const uint16_t toner[36] = {0,   81,  115, 110, 150, 122, 100, 150, 200, 100, 81,  100,
                                100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100,
                                120, 135, 150, 180, 200, 120, 150, 190, 350, 400, 100, 100};
    for (uint16_t v : toner)
        Be16(s.bytes, v);
    Put(s.bytes, BlockHeader(52, 0, 3));
    Put(s.bytes, ParamRecord(0, 0));
    Put(s.bytes, ParamRecord(1, 0));
    Put(s.bytes, ParamRecord(2, 1));
    for (size_t i = 0; i < pages.size(); ++i) {
        const TestPage &pg = pages[i];
        const std::string n = std::to_string(i + 1);
        s.Mark("start-page." + n);
        Put(s.bytes, BlockHeader(184, 2, 14));
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
        for (const auto &[id, v] : recs)
            Put(s.bytes, ParamRecord(id, v));
        const Buf data = EncodeJbig(pg.bits, pg.codedWidth(), pg.height, 256);
        s.Mark("jbig-param." + n);
        Put(s.bytes, BlockHeader(36, 4, 0));
        Put(s.bytes, {0, 0, 1, 0});
        Be32(s.bytes, qvWidth ? pg.width : pg.codedWidth());
        Be32(s.bytes, pg.height);
        Be32(s.bytes, 256);
        Put(s.bytes, {0, 0, 3, 0x5C});
        for (size_t off = 0, k = 1; off < data.size(); off += 65536, ++k) {
            const size_t len = std::min<size_t>(65536, data.size() - off);
            s.Mark("package." + n + "." + std::to_string(k));
            Put(s.bytes, BlockHeader(uint32_t(16 + len), 5, 0));
            s.bytes.insert(s.bytes.end(), data.begin() + off, data.begin() + off + len);
        }
        Put(s.bytes, BlockHeader(16, 6, 0));
        s.Mark("end-page." + n);
        Put(s.bytes, BlockHeader(16, 3, 0));
    }
    Put(s.bytes, BlockHeader(16, 1, 0));
    s.Mark("end-uel.0");
    Put(s.bytes, kUel);
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
