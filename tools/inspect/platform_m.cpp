// Parser of the platform M job stream: the universal exit and "JZJZ", then command blocks of a
// 16-byte big-endian header with parameter records or a payload, the page's JBIG image in data
// packages of at most 65536 bytes, and the closing universal exit.
#include "tools/inspect/inspect.h"

#include <cstring>
#include <optional>

namespace {

constexpr uint8_t kUel[] = {0x1B, '%', '-', '1', '2', '3', '4', '5', 'X'};
constexpr uint32_t kPackageMax = 65536;
constexpr uint32_t kSignature = 0x5A5A;

enum BlockType : uint32_t {
    START_DOC_CMD = 0,
    END_DOC_CMD = 1,
    START_PAGE_CMD = 2,
    END_PAGE_CMD = 3,
    JBIG_PARAM_CMD = 4,
    JBIG_DATA_CMD = 5,
    JBIG_END_CMD = 6,
    MANUAL_DUPLEX_CMD = 11,
    TONER_PARAM = 17,
};

const char *BlockName(uint32_t type) {
    switch (type) {
    case START_DOC_CMD:
        return "START_DOC_CMD";
    case END_DOC_CMD:
        return "END_DOC_CMD";
    case START_PAGE_CMD:
        return "START_PAGE_CMD";
    case END_PAGE_CMD:
        return "END_PAGE_CMD";
    case JBIG_PARAM_CMD:
        return "JBIG_PARAM_CMD";
    case JBIG_DATA_CMD:
        return "JBIG_DATA_CMD";
    case JBIG_END_CMD:
        return "JBIG_END_CMD";
    case MANUAL_DUPLEX_CMD:
        return "MANUAL_DUPLEX_CMD";
    case TONER_PARAM:
        return "TONER_PARAM";
    default:
        return nullptr;
    }
}

const char *ParamName(uint32_t id) {
    switch (id) {
    case 0:
    case 1:
    case 2:
        return "TOTAL_PAGE_PARAM";
    case 3:
        return "PAPER_SIZE_PARAM";
    case 4:
        return "COPIES_PARAM";
    case 5:
        return "INPUT_TRAY_PARAM";
    case 6:
        return "MEDIA_TYPE_PARAM";
    case 7:
        return "CHANNEL_NUM_PARAM";
    case 8:
        return "H_RESOLUTION_PARAM";
    case 9:
        return "V_RESOLUTION_PARAM";
    case 12:
        return "IMG_WIDTH_PARAM";
    case 13:
        return "IMG_HEIGHT_PARAM";
    case 16:
        return "VIDEO_DEPTH_PARAM";
    case 17:
        return "VIDEO_WIDTH_PARAM";
    case 18:
        return "VIDEO_HEIGHT_PARAM";
    case 22:
        return "RET_PARAM";
    case 24:
        return "CUSTOM_WIDTH_PARAM";
    case 25:
        return "CUSTOM_HEIGHT_PARAM";
    case 26:
        return "CUSTOM_PAPER_UNIT_PARAM";
    case 0xFF00:
        return "DENSITY_PARAM";
    default:
        return nullptr;
    }
}

// The 36 two-byte fields of the engine parameter block, in wire order.
constexpr const char *kTonerFields[36] = {
    "paramVer",
    "densityLow",
    "densityHigh",
    "highSpeedPageSize1",
    "highSpeedPageSize2",
    "lowSpeedBase",
    "lowSpeedPageSzie1",
    "lowSpeedPageSzie2",
    "lowSpeedPageSzie3",
    "warmUp",
    "tonerSave",
    "temperaLow",
    "temperaHigh",
    "duplex",
    "cartridgeCnt_1",
    "cartridgeCnt_2",
    "cartridgeCnt_3",
    "cartridgeCnt_4",
    "cartridgeCnt_5",
    "cartridgeCnt_6",
    "cartridgeCnt_7",
    "printSpeed_1",
    "printSpeed_2",
    "printSpeed_3",
    "highSpeedCoverRate_1",
    "highSpeedCoverRate_2",
    "highSpeedCoverRate_3",
    "highSpeedCoverRate_4",
    "highSpeedCoverRate_5",
    "lowSpeedCoverRate_1",
    "lowSpeedCoverRate_2",
    "lowSpeedCoverRate_3",
    "lowSpeedCoverRate_4",
    "lowSpeedCoverRate_5",
    "idle",
    "dpi1200",
};

// Parsing state of one stream.
struct MParser {
    Bytes in;
    Report &r;
    size_t pos = 0;
    bool stop = false;
    bool sawMarker = false;
    bool sawEndDoc = false;
    bool jobEnded = false;
    int openPage = -1;
    // JBIG image of the open page
    bool haveParam = false;
    bool imageEnded = false;
    bool shortPackageSeen = false;
    int packages = 0;
    JbigImage image;
};

Item &Push(MParser &s, size_t offset, size_t length, const char *kind, std::string name) {
    return PushItem(s, offset, length, kind, std::move(name));
}

std::optional<uint32_t> FindParam(const Item &it, uint32_t id) {
    for (const Param &p : it.params)
        if (p.id == id) return p.value;
    return std::nullopt;
}

// Expected header values of the fixed-size blocks: length, record count.
bool CheckFixedHeader(MParser &s, size_t at, const char *name, uint32_t len, uint32_t count,
                      uint32_t wantLen, uint32_t wantCount) {
    if (len == wantLen && count == wantCount) return true;
    AddError(s.r, at,
             std::string(name) + " block with length " + std::to_string(len) + " and " +
                 std::to_string(count) + " records, expected " + std::to_string(wantLen) + " and " +
                 std::to_string(wantCount));
    return false;
}

// START_PAGE_CMD: opens a page whose image size comes from its parameter records.
void OnStartPage(MParser &s, Item &it, size_t at) {
    const auto paper = FindParam(it, 3);
    const auto imgW = FindParam(it, 12), imgH = FindParam(it, 13), depth = FindParam(it, 16);
    const auto vidW = FindParam(it, 17);
    const size_t custom = (paper && *paper == 0) ? 17 : 14;
    if (it.params.size() != custom)
        AddError(s.r, at,
                 "START_PAGE_CMD with " + std::to_string(it.params.size()) +
                     " records for paper size " +
                     (paper ? std::to_string(*paper) : std::string("(none)")) + ", expected " +
                     std::to_string(custom));
    Page &p = s.r.pages.back();
    if (!imgW || !imgH || !depth) {
        AddError(s.r, at,
                 "START_PAGE_CMD lacks IMG_WIDTH_PARAM, IMG_HEIGHT_PARAM or "
                 "VIDEO_DEPTH_PARAM: the page size is unknown");
        return;
    }
    if (*depth != 1 && *depth != 2) {
        AddError(s.r, at, "VIDEO_DEPTH_PARAM " + std::to_string(*depth) + ", expected 1 or 2");
        return;
    }
    if (*imgW == 0 || *imgH == 0 || *imgW % *depth != 0) {
        AddError(s.r, at,
                 "START_PAGE_CMD announces an image of " + std::to_string(*imgW) + " x " +
                     std::to_string(*imgH) + " at depth " + std::to_string(*depth));
        return;
    }
    if (vidW && *vidW * *depth != *imgW)
        AddError(s.r, at,
                 "IMG_WIDTH_PARAM " + std::to_string(*imgW) + " is not VIDEO_WIDTH_PARAM " +
                     std::to_string(*vidW) + " times VIDEO_DEPTH_PARAM " + std::to_string(*depth));
    p.hasImage = true;
    p.bpp = static_cast<int>(*depth);
    p.codedWidth = *imgW;
    p.width = *imgW / *depth;
    p.height = *imgH;
}

// JBIG_PARAM_CMD: the header values of the page's JBIG image.
void OnJbigParam(MParser &s, Item &it, Bytes b, size_t at) {
    const uint32_t xd = Be32(b, 20), yd = Be32(b, 24), l0 = Be32(b, 28);
    AddNum(it, "dl", b[16]);
    AddNum(it, "d", b[17]);
    AddNum(it, "p", b[18]);
    AddNum(it, "xd", xd);
    AddNum(it, "yd", yd);
    AddNum(it, "l0", l0);
    AddNum(it, "mx", b[32]);
    AddNum(it, "my", b[33]);
    AddNum(it, "order", b[34]);
    AddNum(it, "options", b[35]);
    if (s.openPage < 0) {
        AddError(s.r, at, "JBIG_PARAM_CMD outside a page (expected START_PAGE_CMD first)");
        return;
    }
    Page &p = s.r.pages[s.openPage];
    if (s.haveParam) {
        AddError(s.r, at, "second JBIG_PARAM_CMD in page " + std::to_string(p.index));
        return;
    }
    if (!p.hasImage) return; // the page start already reported why
    // The QV models report the pixel width, the others the coded width.
    if (xd != p.codedWidth && xd != p.width)
        AddError(s.r, at + 20,
                 "JBIG XD " + std::to_string(xd) + " matches neither the coded width " +
                     std::to_string(p.codedWidth) + " nor the pixel width " +
                     std::to_string(p.width));
    if (yd != p.height)
        AddError(s.r, at + 24,
                 "JBIG YD " + std::to_string(yd) + " differs from IMG_HEIGHT_PARAM " +
                     std::to_string(p.height));
    s.haveParam = true;
    s.image = JbigImage{};
    s.image.dl = b[16];
    s.image.d = b[17];
    s.image.p = b[18];
    s.image.mx = b[32];
    s.image.my = b[33];
    s.image.order = b[34];
    s.image.options = b[35];
    s.image.width = p.codedWidth;
    s.image.height = yd;
    s.image.l0 = l0;
    p.stripeHeight = l0;
}

// JBIG_DATA_CMD: one package of the page's JBIG data.
void OnJbigData(MParser &s, Item &it, Bytes b, size_t at) {
    const uint32_t n = static_cast<uint32_t>(b.size() - 16);
    AddNum(it, "data_bytes", n);
    if (s.openPage < 0 || !s.haveParam || s.imageEnded) {
        AddError(s.r, at, "JBIG_DATA_CMD without a JBIG_PARAM_CMD of an open page before it");
        return;
    }
    ++s.packages;
    AddNum(it, "package", s.packages);
    if (n == 0) AddError(s.r, at, "JBIG_DATA_CMD package without data");
    if (n > kPackageMax)
        AddError(s.r, at,
                 "JBIG_DATA_CMD package of " + std::to_string(n) + " bytes, more than 65536");
    if (s.shortPackageSeen)
        AddError(s.r, at,
                 "JBIG_DATA_CMD package after a short one (only the last package may "
                 "carry fewer than 65536 bytes)");
    if (n < kPackageMax) s.shortPackageSeen = true;
    if (s.image.data.empty()) s.image.offset = at + 16;
    s.image.data.insert(s.image.data.end(), b.begin() + 16, b.end());
}

// Reads one block at s.pos and applies it.
void ReadBlock(MParser &s) {
    const size_t at = s.pos, left = s.in.size() - at;
    if (left < 16) {
        AddError(s.r, at,
                 "truncated block header (" + std::to_string(left) + " bytes left, expected 16)");
        s.stop = true;
        return;
    }
    const uint32_t len = Be32(s.in, at), type = Be32(s.in, at + 4);
    const uint32_t count = Be32(s.in, at + 8), plen = Be16(s.in, at + 12);
    const uint32_t sig = Be16(s.in, at + 14);
    if (sig != kSignature) {
        AddError(s.r, at + 14,
                 "block signature 0x" + Hex(sig, 4) +
                     ", expected 0x5A5A (\"ZZ\"): no block header at offset " + std::to_string(at));
        s.stop = true;
        return;
    }
    if (len < 16) {
        AddError(s.r, at, "block length " + std::to_string(len) + " is shorter than its header");
        s.stop = true;
        return;
    }
    if (len > left) {
        AddError(s.r, at,
                 "block of " + std::to_string(len) + " bytes (type " + std::to_string(type) +
                     ") runs past the end of the stream (" + std::to_string(left) + " bytes left)");
        s.stop = true;
        return;
    }
    Bytes b = s.in.subspan(at, len);
    s.pos = at + len;
    const char *name = BlockName(type);

    if (type == START_PAGE_CMD) {
        if (s.openPage >= 0)
            AddError(s.r, at,
                     "page " + std::to_string(s.r.pages[s.openPage].index) +
                         " is not closed (expected END_PAGE_CMD before the next "
                         "START_PAGE_CMD)");
        Page p;
        p.index = static_cast<int>(s.r.pages.size()) + 1;
        p.pageNum = p.index;
        p.offset = at;
        s.r.pages.push_back(std::move(p));
        s.openPage = static_cast<int>(s.r.pages.size()) - 1;
        s.haveParam = s.imageEnded = s.shortPackageSeen = false;
        s.packages = 0;
        Push(s, at, 0, "page-begin", "page-begin");
    }

    Item &it = Push(s, at, len, "block", name ? name : "unknown");
    AddNum(it, "cmd_len", len);
    AddNum(it, "type", type);
    AddNum(it, "param_count", count);
    AddNum(it, "params_len", plen);
    if (!name) {
        AddError(s.r, at + 4, "unknown block type " + std::to_string(type));
        return;
    }
    // In 64 bits: a count near 2^32 / 12 would wrap to a small product and pass the check.
    if (plen != uint64_t{count} * 12 || (count > 0 && len != 16 + plen)) {
        AddError(s.r, at + 8,
                 std::string(name) + " announces " + std::to_string(count) + " records in " +
                     std::to_string(plen) + " bytes within a block of " + std::to_string(len) +
                     " bytes (expected 12 bytes per record)");
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const size_t ro = 16 + 12 * i;
        Param pr;
        pr.offset = at + ro;
        pr.id = Be16(b, ro + 4);
        pr.type = b[ro + 6];
        pr.value = Be32(b, ro + 8);
        const char *pn = ParamName(pr.id);
        pr.name = pn ? pn : "unknown";
        if (Be32(b, ro) != 12)
            AddError(s.r, pr.offset,
                     "parameter record length " + std::to_string(Be32(b, ro)) + ", expected 12");
        if (!pn) AddError(s.r, pr.offset + 4, "unknown parameter id 0x" + Hex(pr.id, 4));
        if (pr.type != 1 || b[ro + 7] != 0)
            AddError(s.r, pr.offset + 6,
                     "parameter record type " + std::to_string(pr.type) + " reserve " +
                         std::to_string(b[ro + 7]) + ", expected 1 and 0");
        it.params.push_back(std::move(pr));
    }

    switch (type) {
    case START_DOC_CMD:
        CheckFixedHeader(s, at, name, len, count, 52, 3);
        break;
    case START_PAGE_CMD:
        OnStartPage(s, it, at);
        break;
    case TONER_PARAM:
        if (CheckFixedHeader(s, at, name, len, count, 88, 0))
            for (int i = 0; i < 36; ++i)
                AddNum(it, kTonerFields[i], Be16(b, 16 + 2 * i));
        break;
    case JBIG_PARAM_CMD:
        if (CheckFixedHeader(s, at, name, len, count, 36, 0)) OnJbigParam(s, it, b, at);
        break;
    case JBIG_DATA_CMD:
        if (count != 0)
            AddError(s.r, at + 8, "JBIG_DATA_CMD with parameter records");
        else
            OnJbigData(s, it, b, at);
        break;
    case JBIG_END_CMD:
        CheckFixedHeader(s, at, name, len, count, 16, 0);
        if (s.openPage < 0 || !s.haveParam || s.imageEnded) {
            AddError(s.r, at, "JBIG_END_CMD without a JBIG_PARAM_CMD of an open page before it");
        } else {
            s.imageEnded = true;
            Page &p = s.r.pages[s.openPage];
            if (s.image.data.empty()) {
                AddError(s.r, at, "page " + std::to_string(p.index) + " has no JBIG data");
            } else if (p.hasImage) {
                p.jbigBytes = s.image.data.size();
                p.images.push_back(std::move(s.image));
            }
        }
        break;
    case END_PAGE_CMD:
        CheckFixedHeader(s, at, name, len, count, 16, 0);
        if (s.openPage < 0) {
            AddError(s.r, at, "END_PAGE_CMD outside a page (expected START_PAGE_CMD first)");
        } else {
            Page &p = s.r.pages[s.openPage];
            p.complete = s.imageEnded && !p.images.empty();
            if (!s.imageEnded)
                AddError(s.r, at,
                         "page " + std::to_string(p.index) +
                             " ends without complete image data (expected "
                             "JBIG_PARAM_CMD, JBIG_DATA_CMD and JBIG_END_CMD)");
            Push(s, at + len, 0, "page-end", "page-end");
            s.openPage = -1;
        }
        break;
    case END_DOC_CMD:
        CheckFixedHeader(s, at, name, len, count, 16, 0);
        if (s.openPage >= 0)
            AddError(s.r, at,
                     "END_DOC_CMD inside page " + std::to_string(s.r.pages[s.openPage].index));
        s.sawEndDoc = true;
        break;
    case MANUAL_DUPLEX_CMD:
        CheckFixedHeader(s, at, name, len, count, 16, 0);
        break;
    default:
        break;
    }
}

} // namespace

// Walks the blocks until the closing universal exit or an error that leaves no block boundary.
void ParsePlatformMStream(Bytes in, Report &r) {
    MParser s{in, r, 0, false, false, false, false, -1, false, false, false, 0, JbigImage{}};
    while (s.pos < in.size() && !s.stop) {
        const size_t at = s.pos;
        if (s.jobEnded) {
            AddError(r, at,
                     "data past the end of the job (" + std::to_string(in.size() - at) +
                         " bytes after the closing universal exit)");
            return;
        }
        if (in[at] == 0x1B) {
            if (in.size() - at < sizeof kUel || std::memcmp(in.data() + at, kUel, sizeof kUel)) {
                AddError(r, at,
                         "escape byte that does not start a universal exit (expected 1B "
                         "25 2D 31 32 33 34 35 58)");
                return;
            }
            Push(s, at, sizeof kUel, "uel", "UEL");
            s.pos += sizeof kUel;
            if (s.sawEndDoc) s.jobEnded = true;
            continue;
        }
        if (!s.sawMarker && in.size() - at >= 4 && std::memcmp(in.data() + at, "JZJZ", 4) == 0) {
            Push(s, at, 4, "marker", "JZJZ");
            s.sawMarker = true;
            s.pos += 4;
            continue;
        }
        if (!s.sawMarker) {
            AddError(r, at, "expected \"JZJZ\" after the universal exit");
            return;
        }
        ReadBlock(s);
    }
    if (s.stop) return;
    if (s.openPage >= 0)
        AddError(r, in.size(),
                 "stream ends inside page " + std::to_string(r.pages[s.openPage].index) +
                     " (expected END_PAGE_CMD)");
    if (!s.jobEnded)
        AddError(r, in.size(),
                 "stream ends before the end of the job (expected END_DOC_CMD and "
                 "a universal exit)");
}
