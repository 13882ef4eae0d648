// Records shared by the parts of kelvra-inspect: the items found in a job stream, the pages
// with their JBIG images, and the structural errors. The inspector reads the stream from its
// byte layout alone; it shares no code with the driver that writes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <utility>
#include <vector>

using Bytes = std::span<const uint8_t>;

// One decoded field of an item: a number or a text.
struct Field {
    std::string name;
    bool isText = false;
    int64_t num = 0;
    std::string text;
};

// One platform M parameter record.
struct Param {
    size_t offset = 0;
    uint32_t id = 0;
    std::string name;
    uint32_t type = 0;
    uint32_t value = 0;
};

// One item of the stream, as listed: a PJL line, a frame, a block, a run of JBIG data, a zero
// pair, or a page boundary (length 0).
struct Item {
    size_t offset = 0;
    size_t length = 0;
    std::string
        kind; // pjl, text, uel, marker, zero, frame, block, jbig, page-begin, page-end
    std::string name;
    int page = 0; // 1-based index of the page the item belongs to, 0 outside pages
    std::vector<Field> fields;
    std::vector<Param> params;
    std::string text; // the line of a pjl or text item, without its line end
};

// A structural error, located by the byte offset of the item that holds it.
struct StreamError {
    size_t offset = 0;
    std::string message;
};

// The header values of one JBIG image (a page, or one band of a platform Z page) and its
// coded data; `width` is the coded line width in bits.
struct JbigImage {
    size_t offset = 0; // offset of the first data byte in the stream
    std::vector<uint8_t> data;
    uint8_t dl = 0, d = 0, p = 1, mx = 0, my = 0, order = 0, options = 0x48;
    uint32_t width = 0, height = 0, l0 = 0;
    uint32_t firstLine = 0; // line of the page where the image starts
};

// One page: what the stream announces about it, its JBIG images and, after decoding, its
// summary.
struct Page {
    int index = 0;   // 1-based position in the stream
    int pageNum = 0; // page number that the page start carries (platform M: the index)
    size_t offset = 0;
    uint32_t width = 0;      // pixels per line
    uint32_t codedWidth = 0; // bits per coded line (width x bpp)
    uint32_t height = 0;
    int bpp = 1;
    bool hasImage = false; // image size announced (raster image frame or parameter block)
    uint32_t stripeHeight = 0;
    std::vector<JbigImage> images;
    size_t jbigBytes = 0;
    bool complete = false; // closed with all its data; only complete pages are decoded
    // filled by decoding
    bool decoded = false;
    uint64_t tonerPixels = 0;
    uint64_t hash = 0;
};

struct Report {
    char dialect = '?';
    size_t size = 0;
    std::vector<Item> items;
    std::vector<Page> pages;
    std::vector<StreamError> errors;
};

// Dialect detection from the first bytes: 'C', 'Z', 'M', or 0 when none matches.
char DetectDialect(Bytes in);

// Parsers of the two stream families; they append items, pages and errors to the report.
void ParseShortFrameStream(Bytes in, char dialect, Report &r);
void ParsePlatformMStream(Bytes in, Report &r);

// Adds an item to the listing, tagged with the page the parser has open (0 outside pages).
template <typename Parser>
Item &PushItem(Parser &s, size_t offset, size_t length, const char *kind, std::string name) {
    Item it;
    it.offset = offset;
    it.length = length;
    it.kind = kind;
    it.name = std::move(name);
    it.page = s.openPage >= 0 ? s.r.pages[s.openPage].index : 0;
    s.r.items.push_back(std::move(it));
    return s.r.items.back();
}

// Field helpers used by the parsers.
void AddNum(Item &it, const char *name, int64_t v);
void AddText(Item &it, const char *name, std::string v);
void AddError(Report &r, size_t offset, std::string message);
std::string Hex(uint64_t v, int digits);

// Little- and big-endian readers over the stream.
inline uint32_t Le16(Bytes b, size_t at) {
    return b[at] | (uint32_t(b[at + 1]) << 8);
}
inline uint32_t Le32(Bytes b, size_t at) {
    return Le16(b, at) | (Le16(b, at + 2) << 16);
}
inline uint32_t Be16(Bytes b, size_t at) {
    return (uint32_t(b[at]) << 8) | b[at + 1];
}
inline uint32_t Be32(Bytes b, size_t at) {
    return (Be16(b, at) << 16) | Be16(b, at + 2);
}

// Page decoding: stacks the page's JBIG images into one bitmap of packed rows (MSB first,
// ceil(codedWidth / 8) bytes per row). Returns false and records an error when an image does
// not decode or does not fill the announced size.
bool DecodePage(Page &page, std::vector<uint8_t> &bitmap, Report &r);
uint64_t CountTonerPixels(const std::vector<uint8_t> &bitmap, uint32_t codedWidth, uint32_t height,
                          int bpp);
uint64_t BitmapHash(const std::vector<uint8_t> &bitmap);

// Page images on disk.
bool WritePng(const std::string &path, const std::vector<uint8_t> &bitmap, const Page &page);
bool WritePnm(const std::string &path, const std::vector<uint8_t> &bitmap, const Page &page);
bool WriteRaw(const std::string &path, const std::vector<uint8_t> &bitmap);

// Output of the report.
void PrintListing(FILE *out, const Report &r);
void PrintJson(FILE *out, const Report &r, const std::string &source);
