// Parser of the platform C and platform Z job streams: PJL text, universal exits, zero pairs
// (separators and keep-alive), short command frames, and the page data behind the raster image
// frame (platform C) or behind each band frame (platform Z).
#include "tools/inspect/inspect.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace {

// One short command of a dialect: its code, listing name and frame length (two lengths for
// the engine parameter frame, which comes in a 36- and a 40-byte form).
struct FrameSpec {
    uint8_t cmd;
    const char *name;
    uint8_t len;
    uint8_t altLen;
};

constexpr FrameSpec kFramesC[] = {
    {0x0C, "raster-image", 18, 0},  {0x11, "job-spec", 6, 0},     {0x12, "page-spec", 18, 0},
    {0x13, "custom-paper", 12, 0},  {0x15, "density", 5, 0},      {0x16, "abort", 4, 0},
    {0x17, "reset", 4, 0},          {0x18, "form-feed", 4, 0},    {0x19, "toner-save", 5, 0},
    {0x1A, "image-checksum", 6, 0}, {0x1E, "coverage", 6, 0},     {0x1F, "system-date", 8, 0},
    {0x30, "manual-duplex", 4, 0},  {0x31, "query-status", 5, 0}, {0x32, "host-use", 4, 0},
    {0x40, "machine-duplex", 4, 0},
};

constexpr FrameSpec kFramesZ[] = {
    {0x0C, "raster-image", 18, 0}, {0x11, "job-spec", 9, 0},        {0x12, "page-spec", 18, 0},
    {0x13, "custom-paper", 12, 0}, {0x15, "density", 5, 0},         {0x17, "reset", 4, 0},
    {0x18, "form-feed", 4, 0},     {0x19, "coverage", 7, 0},        {0x1A, "band", 48, 0},
    {0x1B, "manual-duplex", 4, 0}, {0x1E, "engine-params", 36, 40}, {0x1F, "fine-mode", 5, 0},
};

constexpr uint8_t kUelC[] = {0x1B, 0xFF, '-', '1', '2', '3', '4', '5', 'X'};
constexpr uint8_t kUel[] = {0x1B, '%', '-', '1', '2', '3', '4', '5', 'X'};
constexpr size_t kMaxPjlLine = 4096;
constexpr uint32_t kBandLines = 256;

// Parsing state of one stream.
struct ShortParser {
    Bytes in;
    char dialect;
    Report &r;
    size_t pos = 0;
    bool stop = false;
    int openPage = -1; // index in r.pages of the page being read
    bool enteredLanguage = false;
    bool sawEoj = false;
    bool jobEnded = false;
    uint32_t bandsExpected = 0;
    uint32_t bandsSeen = 0;
    bool pageBroken = false; // a band of the open page was rejected
};

const FrameSpec *FindSpec(char dialect, uint8_t cmd) {
    std::span<const FrameSpec> table = dialect == 'C' ? std::span<const FrameSpec>(kFramesC)
                                                      : std::span<const FrameSpec>(kFramesZ);
    for (const FrameSpec &s : table)
        if (s.cmd == cmd) return &s;
    return nullptr;
}

Item &Push(ShortParser &s, size_t offset, size_t length, const char *kind, std::string name) {
    return PushItem(s, offset, length, kind, std::move(name));
}

// Opens a new page at a page specification (or implicitly, after an error).
void OpenPage(ShortParser &s, size_t offset, int pageNum) {
    Page p;
    p.index = static_cast<int>(s.r.pages.size()) + 1;
    p.pageNum = pageNum;
    p.offset = offset;
    s.r.pages.push_back(std::move(p));
    s.openPage = static_cast<int>(s.r.pages.size()) - 1;
    s.bandsExpected = s.bandsSeen = 0;
    s.pageBroken = false;
    Push(s, offset, 0, "page-begin", "page-begin");
}

// Closes the open page at its form feed (which ends at `end`), checking that all its data
// arrived.
void ClosePage(ShortParser &s, size_t offset, size_t end) {
    Page &p = s.r.pages[s.openPage];
    p.complete = p.hasImage && !p.images.empty() &&
                 (s.dialect != 'Z' || s.bandsSeen == s.bandsExpected) && !s.pageBroken;
    if (!p.hasImage || p.images.empty())
        AddError(s.r, offset,
                 "page " + std::to_string(p.index) +
                     " ends without image data (expected a raster image frame and its data)");
    else if (s.dialect == 'Z' && s.bandsSeen != s.bandsExpected)
        AddError(s.r, offset,
                 "page " + std::to_string(p.index) + " ends after " + std::to_string(s.bandsSeen) +
                     " of its " + std::to_string(s.bandsExpected) + " bands");
    Push(s, end, 0, "page-end", "page-end");
    s.openPage = -1;
}

// Decodes the bits of the job flags byte.
void AddJobFlags(Item &it, uint8_t flags) {
    AddNum(it, "flags", flags);
    AddNum(it, "watermark", (flags & 0x80) ? 1 : 0);
    AddNum(it, "duplex", (flags & 0x20) ? 1 : 0);
    AddNum(it, "save_mode", (flags & 0x10) ? 1 : 0);
    AddNum(it, "booklet", (flags & 0x08) ? 1 : 0);
    AddNum(it, "poster", (flags & 0x04) ? 1 : 0);
    AddNum(it, "nup", (flags & 0x02) ? 1 : 0);
    AddNum(it, "overlap", (flags & 0x01) ? 1 : 0);
}

// The raster image frame: the page's size and format; on platform C the JBIG data follows it.
void OnRasterImage(ShortParser &s, Item &it, Bytes f, size_t at) {
    const uint8_t format = f[4];
    const uint32_t w = Le16(f, 5), h = Le16(f, 7);
    const uint32_t rasW = Le16(f, 9), rasH = Le16(f, 11), bytes = Le32(f, 13);
    const int bpp = (format & 0x01) ? 2 : 1;
    AddNum(it, "color_plane", f[3]);
    AddNum(it, "format", format);
    AddNum(it, "bpp", bpp);
    AddNum(it, "packing", (format & 0x04) ? 1 : 0);
    AddNum(it, "jbig", (format & 0x20) ? 1 : 0);
    AddNum(it, "whole_width", w);
    AddNum(it, "whole_height", h);
    AddNum(it, "raster_width", rasW);
    AddNum(it, "raster_height", rasH);
    AddNum(it, "compressed_bytes", bytes);

    Page &p = s.r.pages[s.openPage];
    if (p.hasImage) {
        AddError(s.r, at, "second raster image frame in page " + std::to_string(p.index));
        return;
    }
    if (!(format & 0x20))
        AddError(s.r, at,
                 "raster image format byte 0x" + Hex(format, 2) +
                     " lacks the JBIG compression flag 0x20");
    if (w == 0 || h == 0) {
        AddError(s.r, at,
                 "raster image frame announces an empty image (" + std::to_string(w) + " x " +
                     std::to_string(h) + ")");
        return;
    }
    p.hasImage = true;
    p.width = w;
    p.bpp = bpp;
    p.codedWidth = w * bpp;
    p.height = h;

    if (s.dialect == 'Z') {
        if (bytes != 0)
            AddError(s.r, at + 13,
                     "platform Z raster image frame carries " + std::to_string(bytes) +
                         " as compressed size (expected 0: the bands carry sizes)");
        p.stripeHeight = kBandLines;
        s.bandsExpected = (h + kBandLines - 1) / kBandLines;
        s.bandsSeen = 0;
        return;
    }
    // Platform C: one JBIG image of `bytes` bytes right behind the frame.
    p.stripeHeight = rasH;
    if (rasH == 0) AddError(s.r, at + 11, "raster image frame announces stripe height 0");
    const size_t dataAt = at + f.size();
    if (bytes > s.in.size() - dataAt) {
        AddError(s.r, at,
                 "JBIG data of " + std::to_string(bytes) + " bytes announced at offset " +
                     std::to_string(dataAt) + " runs past the end of the stream (" +
                     std::to_string(s.in.size() - dataAt) + " bytes left)");
        s.stop = true;
        return;
    }
    if (bytes == 0) AddError(s.r, at + 13, "raster image frame announces no compressed data");
    Item &data = Push(s, dataAt, bytes, "jbig", "jbig-data");
    AddNum(data, "bytes", bytes);
    JbigImage img;
    img.offset = dataAt;
    img.data.assign(s.in.begin() + dataAt, s.in.begin() + dataAt + bytes);
    img.width = p.codedWidth;
    img.height = h;
    img.l0 = rasH;
    img.options = 0x48; // the two-line template with typical prediction, as the encoder codes
    p.images.push_back(std::move(img));
    p.jbigBytes += bytes;
    s.pos = dataAt + bytes;
}

// A platform Z band frame: one band of 256 lines (fewer in the last) and its JBIG data.
void OnBand(ShortParser &s, Item &it, Bytes f, size_t at) {
    const uint32_t xd = Le32(f, 7), l0 = Le32(f, 11), yd = Le32(f, 15);
    const uint32_t size = Le32(f, 23), padded = Le32(f, 27);
    const uint32_t posH = Le32(f, 31), posV = Le32(f, 35);
    AddNum(it, "dl", f[3]);
    AddNum(it, "d", f[4]);
    AddNum(it, "p", f[5]);
    AddNum(it, "xd", xd);
    AddNum(it, "l0", l0);
    AddNum(it, "yd", yd);
    AddNum(it, "mx", f[19]);
    AddNum(it, "my", f[20]);
    AddNum(it, "order", f[21]);
    AddNum(it, "options", f[22]);
    AddNum(it, "comp_size", size);
    AddNum(it, "comp_size_padded", padded);
    AddNum(it, "pos_horz", posH);
    AddNum(it, "pos_vert", posV);
    AddNum(it, "plane", Le32(f, 39));
    AddNum(it, "bit_slice_plane", Le32(f, 43));

    const size_t dataAt = at + f.size();
    if (size > s.in.size() - dataAt) {
        AddError(s.r, at,
                 "band data of " + std::to_string(size) + " bytes announced at offset " +
                     std::to_string(dataAt) + " runs past the end of the stream (" +
                     std::to_string(s.in.size() - dataAt) + " bytes left)");
        s.stop = true;
        return;
    }
    Item &data = Push(s, dataAt, size, "jbig", "jbig-data");
    AddNum(data, "bytes", size);
    s.pos = dataAt + size;

    if (s.openPage < 0 || !s.r.pages[s.openPage].hasImage) {
        AddError(s.r, at, "band frame without a raster image frame before it in the page");
        return;
    }
    Page &p = s.r.pages[s.openPage];
    if (s.bandsSeen >= s.bandsExpected) {
        AddError(s.r, at,
                 "band " + std::to_string(s.bandsSeen + 1) + " is more than the " +
                     std::to_string(s.bandsExpected) + " bands of page " + std::to_string(p.index));
        return;
    }
    const uint32_t first = s.bandsSeen * kBandLines;
    const uint32_t lines = std::min(kBandLines, p.height - first);
    bool ok = true;
    if (yd != lines) {
        AddError(s.r, at + 15,
                 "band YD " + std::to_string(yd) + ", expected " + std::to_string(lines) +
                     " lines");
        ok = false;
    }
    if (l0 != yd) {
        AddError(s.r, at + 11,
                 "band L0 " + std::to_string(l0) + " differs from its YD " + std::to_string(yd));
        ok = false;
    }
    if (xd != p.width) {
        AddError(s.r, at + 7,
                 "band XD " + std::to_string(xd) + " differs from the raster image width " +
                     std::to_string(p.width));
        ok = false;
    }
    if (posV != first)
        AddError(s.r, at + 35,
                 "band position " + std::to_string(posV) + ", expected line " +
                     std::to_string(first));
    if (padded != size)
        AddError(s.r, at + 27,
                 "padded band size " + std::to_string(padded) + " differs from the band size " +
                     std::to_string(size));
    ++s.bandsSeen;
    if (!ok) {
        s.pageBroken = true;
        return;
    }
    JbigImage img;
    img.offset = dataAt;
    img.data.assign(s.in.begin() + dataAt, s.in.begin() + dataAt + size);
    img.dl = f[3];
    img.d = f[4];
    img.p = f[5];
    img.mx = f[19];
    img.my = f[20];
    img.order = f[21];
    img.options = f[22];
    img.width = p.codedWidth;
    img.height = yd;
    img.l0 = l0;
    img.firstLine = first;
    p.images.push_back(std::move(img));
    p.jbigBytes += size;
}

// The platform C image checksum: sum of the page's JBIG bytes plus the bytes of the platform C
// universal exit, modulo 256.
void OnImageChecksum(ShortParser &s, Item &it, Bytes f, size_t at) {
    const uint32_t value = Le16(f, 3);
    AddNum(it, "checksum", value);
    if (s.openPage < 0 || s.r.pages[s.openPage].images.empty()) {
        AddError(s.r, at, "image checksum frame without page data before it");
        return;
    }
    const JbigImage &img = s.r.pages[s.openPage].images.back();
    uint32_t sum = std::accumulate(img.data.begin(), img.data.end(), 0u);
    for (uint8_t b : kUelC)
        sum += b;
    const uint32_t expected = sum & 0xFF;
    AddNum(it, "expected", expected);
    if (value != expected)
        AddError(s.r, at + 3,
                 "image checksum 0x" + Hex(value, 4) +
                     " does not match the page data (expected 0x" + Hex(expected, 4) + ")");
}

// Decodes the payload of a short frame and applies its effect on the page state.
void OnFrame(ShortParser &s, const FrameSpec &spec, Bytes f, size_t at) {
    // Frames that open a page do so before they are listed, so that the page-begin item
    // stands in front of them.
    if (spec.cmd == 0x12) {
        if (s.openPage >= 0)
            AddError(s.r, at,
                     "page " + std::to_string(s.r.pages[s.openPage].index) +
                         " is not closed (expected a form feed before the next page "
                         "specification)");
        OpenPage(s, at, static_cast<int>(Le16(f, 15)));
    } else if (spec.cmd == 0x0C && s.openPage < 0) {
        AddError(s.r, at,
                 "raster image frame outside a page (expected a page specification first)");
        OpenPage(s, at, 0);
    }
    // Pushing more items invalidates this reference: every case adds its fields first.
    Item &it = Push(s, at, f.size(), "frame", spec.name);
    AddNum(it, "cmd", spec.cmd);
    switch (spec.cmd) {
    case 0x11:
        if (s.dialect == 'C') {
            AddNum(it, "job_id", f[3]);
            AddJobFlags(it, f[4]);
        } else {
            AddJobFlags(it, f[3]);
            AddNum(it, "job_id", Le32(f, 4));
        }
        break;
    case 0x12:
        AddNum(it, "paper_size", f[3]);
        AddNum(it, "media_type", f[4]);
        AddNum(it, "resolution_x", f[5]);
        AddNum(it, "resolution_y", f[6]);
        AddNum(it, "dpi_x", f[5] * 10);
        AddNum(it, "dpi_y", f[6] * 10);
        AddNum(it, "tray", f[7]);
        AddNum(it, "mode_flags", f[8]);
        AddNum(it, "long_edge_feed", (f[8] & 0x40) ? 1 : 0);
        AddNum(it, "copies", Le16(f, 9));
        AddNum(it, "margin_x", Le16(f, 11));
        AddNum(it, "margin_y", Le16(f, 13));
        AddNum(it, "page_num", Le16(f, 15));
        break;
    case 0x13:
        AddNum(it, "physical_width", Le16(f, 3));
        AddNum(it, "physical_height", Le16(f, 5));
        AddNum(it, "printable_width", Le16(f, 7));
        AddNum(it, "printable_height", Le16(f, 9));
        break;
    case 0x0C:
        OnRasterImage(s, it, f, at);
        break;
    case 0x15:
        AddNum(it, "level", f[3]);
        break;
    case 0x18:
        if (s.openPage < 0)
            AddError(s.r, at, "form feed outside a page (expected a page specification first)");
        else
            ClosePage(s, at, at + f.size());
        break;
    case 0x19:
        if (s.dialect == 'C') {
            AddNum(it, "enable", f[3]);
        } else {
            AddNum(it, "byte0", f[3]);
            AddNum(it, "byte1", f[4]);
            AddNum(it, "byte2", f[5]);
            AddNum(it, "thousands", f[3] + 64 * f[4] + 4096 * f[5]);
            if (f[3] > 63 || f[4] > 63 || f[5] > 15)
                AddError(s.r, at + 3,
                         "coverage bytes " + Hex(f[3], 2) + " " + Hex(f[4], 2) + " " +
                             Hex(f[5], 2) + " exceed 6, 6 and 4 bits");
        }
        break;
    case 0x1A:
        if (s.dialect == 'C')
            OnImageChecksum(s, it, f, at);
        else
            OnBand(s, it, f, at);
        break;
    case 0x1E:
        if (s.dialect == 'C') {
            AddNum(it, "printed_points", Le16(f, 3));
        } else {
            AddText(it, "variant", f.size() == 36 ? "R18" : "V20-V22");
            std::string hex;
            for (size_t i = 3; i + 1 < f.size(); ++i)
                hex += Hex(f[i], 2);
            AddNum(it, "param_version", f[3]);
            AddNum(it, "density_low", f[4]);
            AddNum(it, "density_high", f[5]);
            AddText(it, "payload", hex);
        }
        break;
    case 0x1F:
        if (s.dialect == 'C') {
            AddNum(it, "year", Le16(f, 3));
            AddNum(it, "month", f[5]);
            AddNum(it, "day", f[6]);
        } else {
            AddNum(it, "enable", f[3]);
        }
        break;
    case 0x31:
        AddNum(it, "value", f[3]);
        break;
    default:
        break;
    }
}

// A short frame at s.pos: length, checksum and command are checked before it is decoded.
void ReadFrame(ShortParser &s) {
    const size_t at = s.pos, left = s.in.size() - at;
    if (left < 3) {
        AddError(s.r, at,
                 "truncated frame header (" + std::to_string(left) +
                     " bytes left, expected at least 3)");
        s.stop = true;
        return;
    }
    const uint8_t len = s.in[at + 1], cmd = s.in[at + 2];
    if (len < 4) {
        AddError(s.r, at + 1, "frame length " + std::to_string(len) + " is shorter than 4");
        s.stop = true;
        return;
    }
    if (len > left) {
        AddError(s.r, at,
                 "frame of " + std::to_string(len) + " bytes (command 0x" + Hex(cmd, 2) +
                     ") runs past the end of the stream (" + std::to_string(left) + " bytes left)");
        s.stop = true;
        return;
    }
    Bytes f = s.in.subspan(at, len);
    s.pos = at + len;
    unsigned sum = 0;
    for (size_t i = 0; i + 1 < len; ++i)
        sum += f[i];
    const uint8_t expected = static_cast<uint8_t>(-sum);
    const bool sumOk = expected == f[len - 1];
    if (!sumOk)
        AddError(s.r, at,
                 "bad checksum of frame 0x" + Hex(cmd, 2) + ": checksum byte at offset " +
                     std::to_string(at + len - 1) + " is 0x" + Hex(f[len - 1], 2) +
                     ", expected 0x" + Hex(expected, 2));
    const FrameSpec *spec = FindSpec(s.dialect, cmd);
    if (!spec) {
        AddError(s.r, at + 2,
                 std::string("unknown command 0x") + Hex(cmd, 2) + " on platform " + s.dialect);
        Item &it = Push(s, at, len, "frame", "unknown");
        AddNum(it, "cmd", cmd);
        return;
    }
    if (len != spec->len && len != spec->altLen) {
        AddError(s.r, at + 1,
                 std::string("frame ") + spec->name + " has length " + std::to_string(len) +
                     ", expected " + std::to_string(spec->len) +
                     (spec->altLen ? " or " + std::to_string(spec->altLen) : ""));
        Item &it = Push(s, at, len, "frame", spec->name);
        AddNum(it, "cmd", cmd);
        return;
    }
    OnFrame(s, *spec, f, at);
}

// A universal exit; the one that follows "@PJL EOJ" after the job entered its language ends
// the job.
void ReadUel(ShortParser &s) {
    const size_t at = s.pos;
    const bool isC =
        s.in.size() - at >= sizeof kUelC && std::memcmp(s.in.data() + at, kUelC, sizeof kUelC) == 0;
    const bool isStd =
        s.in.size() - at >= sizeof kUel && std::memcmp(s.in.data() + at, kUel, sizeof kUel) == 0;
    if (!isC && !isStd) {
        AddError(s.r, at,
                 "escape byte that does not start a universal exit (expected 1B 25 or "
                 "1B FF followed by -12345X)");
        s.stop = true;
        return;
    }
    size_t len = sizeof kUel;
    if (s.in.size() - at >= len + 2 && s.in[at + len] == '\r' && s.in[at + len + 1] == '\n')
        len += 2;
    Push(s, at, len, "uel", isC ? "UEL-C" : "UEL");
    s.pos = at + len;
    if (isStd && s.sawEoj) s.jobEnded = true;
}

// A PJL line up to its line feed.
void ReadPjl(ShortParser &s) {
    const size_t at = s.pos;
    const size_t limit = std::min(s.in.size(), at + kMaxPjlLine);
    size_t end = at;
    while (end < limit && s.in[end] != '\n')
        ++end;
    if (end == limit) {
        AddError(s.r, at,
                 "PJL line without a line feed within " + std::to_string(limit - at) + " bytes");
        s.stop = true;
        return;
    }
    std::string line(s.in.begin() + at, s.in.begin() + end);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("@PJL", 0) != 0) {
        AddError(s.r, at, "text line that is not PJL (expected @PJL)");
        s.stop = true;
        return;
    }
    Item &it = Push(s, at, end + 1 - at, "pjl", "pjl");
    it.text = line;
    s.pos = end + 1;
    if (line == "@PJL ENTER LANGUAGE=PL") s.enteredLanguage = true;
    if (line == "@PJL EOJ" && s.enteredLanguage) s.sawEoj = true;
}

// The firmware version text, which has no line end.
void ReadVersionText(ShortParser &s) {
    const size_t at = s.pos;
    size_t end = at;
    while (end < s.in.size() && s.in[end] >= 0x20 && s.in[end] < 0x7F)
        ++end;
    Item &it = Push(s, at, end - at, "text", "firmware-version");
    it.text.assign(s.in.begin() + at, s.in.begin() + end);
    s.pos = end;
}

} // namespace

// Walks the stream item by item until its end or an error after which no item boundary can be
// found any more.
void ParseShortFrameStream(Bytes in, char dialect, Report &r) {
    ShortParser s{in, dialect, r, 0, false, -1, false, false, false, 0, 0, false};
    static const char kVersion[] = "versions=";
    while (s.pos < in.size() && !s.stop) {
        const uint8_t b = in[s.pos];
        if (b == 0x00) {
            if (s.pos + 1 < in.size() && in[s.pos + 1] == 0x00) {
                Push(s, s.pos, 2, "zero", "zero-pair");
                s.pos += 2;
            } else {
                AddError(r, s.pos, "single zero byte (expected the pair 00 00)");
                s.stop = true;
            }
            continue;
        }
        if (s.jobEnded) {
            AddError(r, s.pos,
                     "data past the end of the job (byte 0x" + Hex(b, 2) +
                         " after the closing universal exit)");
            break;
        }
        if (b == 0x0B) {
            ReadFrame(s);
        } else if (b == 0x1B) {
            ReadUel(s);
        } else if (b == '@') {
            ReadPjl(s);
        } else if (in.size() - s.pos >= sizeof kVersion - 1 &&
                   std::memcmp(in.data() + s.pos, kVersion, sizeof kVersion - 1) == 0) {
            ReadVersionText(s);
        } else {
            AddError(r, s.pos,
                     "unexpected byte 0x" + Hex(b, 2) +
                         " (expected a frame 0x0B, 00 00, a PJL line or a universal "
                         "exit)");
            s.stop = true;
        }
    }
    if (s.stop) return;
    if (s.openPage >= 0)
        AddError(r, in.size(),
                 "stream ends inside page " + std::to_string(r.pages[s.openPage].index) +
                     " (expected a form feed)");
    if (!s.jobEnded)
        AddError(r, in.size(),
                 "stream ends before the end of the job (expected @PJL EOJ and a universal exit)");
}
