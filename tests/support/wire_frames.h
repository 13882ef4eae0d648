// The byte layout of every frame and block of the three dialects as the tests know it, written
// here once and independently of prnt/: the command-stream tests compare the driver's output
// with it, the inspector's tests assemble their streams from it. Fixed frames are spelt out
// byte by byte; frames with fields have a builder, the offsets of their fields and, where
// tests take the driver's output apart, a reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <type_traits>
#include <vector>

namespace wire {

using Bytes = std::string;

// Bytes from a hex text such as "0B 04 16 DB".
inline Bytes Hex(const char *text) {
    Bytes out;
    const char *p = text;
    while (*p != '\0') {
        if (*p == ' ') {
            ++p;
            continue;
        }
        char *end = nullptr;
        out.push_back(static_cast<char>(std::strtoul(p, &end, 16)));
        p = end;
    }
    return out;
}

// Renders bytes as hex for comparisons whose failure messages must be readable.
inline std::string ToHex(const Bytes &bytes) {
    std::string out;
    char b[4];
    for (unsigned char c : bytes) {
        std::snprintf(b, sizeof b, "%02X ", c);
        out += b;
    }
    return out;
}

// Sum of the bytes (a complete short frame adds up to 0 modulo 256).
inline unsigned ByteSum(const Bytes &s) {
    unsigned sum = 0;
    for (unsigned char c : s)
        sum += c;
    return sum;
}

// Little-endian fields (platforms C and Z) and big-endian fields (platform M).
inline void PutLe16(Bytes &b, uint32_t v) {
    b.push_back(static_cast<char>(v));
    b.push_back(static_cast<char>(v >> 8));
}
inline void PutLe32(Bytes &b, uint32_t v) {
    PutLe16(b, v & 0xFFFF);
    PutLe16(b, v >> 16);
}
inline void PutBe16(Bytes &b, uint32_t v) {
    b.push_back(static_cast<char>(v >> 8));
    b.push_back(static_cast<char>(v));
}
inline void PutBe32(Bytes &b, uint32_t v) {
    PutBe16(b, v >> 16);
    PutBe16(b, v & 0xFFFF);
}
template <typename B> uint32_t Le32At(const B &s, std::size_t at) {
    return static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8 |
           static_cast<uint8_t>(s[at + 2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24;
}
template <typename B> uint32_t Be32At(const B &s, std::size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(s[at])) << 24 |
           static_cast<uint8_t>(s[at + 1]) << 16 | static_cast<uint8_t>(s[at + 2]) << 8 |
           static_cast<uint8_t>(s[at + 3]);
}

// Texts: the universal exits, the PJL openings and job ends, the platform M signature and the
// keep-alive pair between the commands of platforms C and Z.
inline const Bytes kUel = "\x1B%-12345X";
inline const Bytes kUelC = Hex("1B FF 2D 31 32 33 34 35 58");
inline const Bytes kPjlHeader = "\x1B%-12345X@PJL\r\n";
inline const Bytes kEnterLanguage = "@PJL ENTER LANGUAGE=PL\r\n";
inline const Bytes kEndOfJob = "\x1B%-12345X@PJL\r\n@PJL EOJ\r\n\x1B%-12345X\r\n"; // 36 bytes
inline const Bytes kEndOfJobQV = "\x1B%-12345X@PJL\r\n@PJL EOJ\r\n\x1B%-12345X";   // 34 bytes
inline const Bytes kJZJZ = "JZJZ";
inline const Bytes kZeroPair = Bytes(2, '\0');

// Short frames of platforms C and Z: 0x0B, total length, command, little-endian payload and
// a checksum that makes all bytes add up to 0 modulo 256.
namespace frame {
constexpr uint8_t kStart = 0x0B;
constexpr std::size_t kLength = 1, kCommand = 2;
} // namespace frame

inline Bytes ShortFrame(uint8_t cmd, const Bytes &payload = {}) {
    Bytes f = {static_cast<char>(frame::kStart), static_cast<char>(payload.size() + 4),
               static_cast<char>(cmd)};
    f += payload;
    f.push_back(static_cast<char>(-ByteSum(f)));
    return f;
}

// Puts the checksum of the short frame at `at` of `bytes` right again after a field changed.
template <typename B> void Reseal(B &bytes, std::size_t at) {
    const std::size_t len = static_cast<uint8_t>(bytes[at + frame::kLength]);
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < len; ++i)
        sum += static_cast<uint8_t>(bytes[at + i]);
    bytes[at + len - 1] = static_cast<std::remove_reference_t<decltype(bytes[0])>>(-sum);
}

// The frames without fields, byte by byte.
inline const Bytes kAbort = Hex("0B 04 16 DB");
inline const Bytes kReset = Hex("0B 04 17 DA");
inline const Bytes kFormFeed = Hex("0B 04 18 D9");
inline const Bytes kQueryStatus = Hex("0B 05 31 80 3F");
inline const Bytes kHostUse = Hex("0B 04 32 BF");
inline const Bytes kMachineDuplex = Hex("0B 04 40 B1");
inline const Bytes kManualDuplexC = Hex("0B 04 30 C1");
inline const Bytes kManualDuplexZ = Hex("0B 04 1B D6");

// Page specification 0x12 (18 bytes): paper code, media, resolutions in units of 10 dpi,
// tray, feed-edge flags, then copies, margins and page number as 16-bit fields.
struct PageSpec {
    uint8_t paper = 0, media = 0, dpiX = 60, dpiY = 60, tray = 0, flags = 0;
    uint16_t copies = 1, marginX = 0, marginY = 0, pageNum = 1;
    static constexpr std::size_t kChecksum = 17;
    Bytes Frame() const {
        Bytes p = {static_cast<char>(paper), static_cast<char>(media), static_cast<char>(dpiX),
                   static_cast<char>(dpiY),  static_cast<char>(tray),  static_cast<char>(flags)};
        for (uint16_t v : {copies, marginX, marginY, pageNum})
            PutLe16(p, v);
        return ShortFrame(0x12, p);
    }
};

// Custom paper 0x13 (12 bytes): physical width and height, printable width and height.
inline Bytes CustomPaper(uint16_t w, uint16_t h, uint16_t printW, uint16_t printH) {
    Bytes p;
    for (uint16_t v : {w, h, printW, printH})
        PutLe16(p, v);
    return ShortFrame(0x13, p);
}

// Raster image 0x0C (18 bytes): format, whole image size, stripe size of platform C and the
// compressed size, which platform Z leaves 0.
struct RasterImage {
    uint8_t format = 0x20;
    uint16_t width = 0, height = 0, rasterWidth = 0, rasterHeight = 0;
    uint32_t bytes = 0;
    static constexpr std::size_t kSize = 18, kHeight = 7, kBytes = 13, kChecksum = 17;
    Bytes Frame() const {
        Bytes p = {0, static_cast<char>(format)};
        for (uint16_t v : {width, height, rasterWidth, rasterHeight})
            PutLe16(p, v);
        PutLe32(p, bytes);
        return ShortFrame(0x0C, p);
    }
};

// Image checksum 0x1A of platform C: the low byte of the checksum and 0.
struct ImageChecksum {
    static constexpr std::size_t kValue = 3, kChecksum = 5;
    static Bytes Frame(uint8_t sum) { return ShortFrame(0x1A, {static_cast<char>(sum), 0}); }
};

// Band 0x1A of platform Z (48 bytes) in front of the JBIG image of at most 256 lines: widths
// and heights, the coding options, the data size twice (without padding), the band's first
// line and two fixed fields.
struct Band {
    uint32_t xd = 0, l0 = 0, yd = 0, size = 0, posVert = 0;
    Bytes data; // the JBIG image behind the frame (reader only)
    static constexpr std::size_t kSize = 48, kXd = 7, kYd = 15, kChecksum = 47;
    Bytes Frame() const {
        Bytes p = {0, 0, 1, 0};
        PutLe32(p, xd);
        PutLe32(p, l0);
        PutLe32(p, yd);
        p += Hex("00 00 03 58");
        PutLe32(p, size);
        PutLe32(p, size);
        PutLe32(p, 0);
        PutLe32(p, posVert);
        PutLe32(p, 3);
        PutLe32(p, 0);
        return ShortFrame(0x1A, p);
    }
    // Takes apart the band frames and their data that make up `s`; `error` tells where a
    // frame is not the one Frame() writes for its fields, or where the bytes run out.
    static std::vector<Band> Split(const Bytes &s, std::string &error) {
        std::vector<Band> bands;
        std::size_t at = 0;
        while (at < s.size()) {
            if (s.size() - at < kSize) {
                error = "a short band frame at " + std::to_string(at);
                break;
            }
            Band b{Le32At(s, at + kXd), Le32At(s, at + 11), Le32At(s, at + kYd),
                   Le32At(s, at + 23),  Le32At(s, at + 35), ""};
            if (s.compare(at, kSize, b.Frame()) != 0 || s.size() - at - kSize < b.size) {
                error =
                    "not a whole band at " + std::to_string(at) + ": " + ToHex(s.substr(at, kSize));
                break;
            }
            b.data = s.substr(at + kSize, b.size);
            at += kSize + b.size;
            bands.push_back(b);
        }
        return bands;
    }
};

// Platform M blocks: a 16-byte big-endian header (length, type, record count, record bytes,
// signature "ZZ") followed by 12-byte parameter records or a payload.
namespace block {
enum Type : uint32_t {
    kStartDoc = 0,
    kEndDoc = 1,
    kStartPage = 2,
    kEndPage = 3,
    kJbigParam = 4,
    kJbigData = 5,
    kJbigEnd = 6,
    kManualDuplex = 11,
    kTonerParam = 17,
};
constexpr std::size_t kHeaderSize = 16, kRecordSize = 12, kMaxPackage = 65536;
} // namespace block

inline Bytes BlockHeader(uint32_t len, uint32_t type, uint32_t records) {
    Bytes h;
    PutBe32(h, len);
    PutBe32(h, type);
    PutBe32(h, records);
    PutBe16(h, records * block::kRecordSize);
    PutBe16(h, 0x5A5A);
    return h;
}
// A block of no payload (job end, page end, JBIG end, manual duplex).
inline Bytes EmptyBlock(uint32_t type) {
    return BlockHeader(block::kHeaderSize, type, 0);
}
inline Bytes ParamRecord(uint16_t id, uint32_t value) {
    Bytes r;
    PutBe32(r, block::kRecordSize);
    PutBe16(r, id);
    r += Hex("01 00");
    PutBe32(r, value);
    return r;
}
// A block of parameter records.
template <typename Records> Bytes RecordBlock(uint32_t type, const Records &records) {
    Bytes b;
    uint32_t n = 0;
    for (const auto &[id, value] : records) {
        b += ParamRecord(id, value);
        ++n;
    }
    return BlockHeader(uint32_t(block::kHeaderSize + b.size()), type, n) + b;
}

// JBIG parameter block (36 bytes): coded width, height and stripe height of the page.
struct JbigParam {
    uint32_t xd = 0, yd = 0, l0 = 256;
    static constexpr std::size_t kSize = 36, kXd = 20, kYd = 24;
    Bytes Block() const {
        Bytes b = BlockHeader(kSize, block::kJbigParam, 0) + Hex("00 00 01 00");
        PutBe32(b, xd);
        PutBe32(b, yd);
        PutBe32(b, l0);
        return b + Hex("00 00 03 5C");
    }
};

// The JBIG data of a page in packages of at most 65536 bytes, each behind its own header.
inline Bytes JbigPackages(const Bytes &data) {
    Bytes out;
    for (std::size_t off = 0; off < data.size(); off += block::kMaxPackage) {
        const Bytes part = data.substr(off, block::kMaxPackage);
        out += BlockHeader(uint32_t(block::kHeaderSize + part.size()), block::kJbigData, 0) + part;
    }
    return out;
}

// A package as the reader found it: its header's length and its data.
struct Package {
    uint32_t length;
    Bytes data;
};
// Takes apart JBIG data packages up to the JBIG end block, which must end `s`; `error` tells
// what did not have the expected layout.
inline std::vector<Package> SplitPackages(const Bytes &s, std::string &error) {
    std::vector<Package> packages;
    for (std::size_t at = 0; at + block::kHeaderSize <= s.size();) {
        const uint32_t len = Be32At(s, at), type = Be32At(s, at + 4);
        if (s.compare(at, block::kHeaderSize, BlockHeader(len, type, 0)) != 0) {
            error = "not a block header at " + std::to_string(at);
            return packages;
        }
        if (type == block::kJbigEnd) {
            if (len != block::kHeaderSize || at + len != s.size())
                error = "bytes after the JBIG end block";
            return packages;
        }
        if (type != block::kJbigData || len < block::kHeaderSize || at + len > s.size()) {
            error = "not a whole JBIG data package at " + std::to_string(at);
            return packages;
        }
        packages.push_back({len, s.substr(at + block::kHeaderSize, len - block::kHeaderSize)});
        at += len;
    }
    error = "no JBIG end block";
    return packages;
}

} // namespace wire
