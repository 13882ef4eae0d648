// fuzz-make-seeds DIR: writes the seed corpora of the fuzz targets into DIR/<target>/ (the
// committed corpus/ was made with it; the inspector's seeds are job streams that
// scripts/ci-extra.sh does not need to remake). Each seed is small and valid, so that the
// fuzzers start from inputs that reach deep into the code.
#include <cups/raster.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
std::string gDir;

void Put(const std::string &target, const std::string &name, const Bytes &data) {
    const std::string dir = gDir + "/" + target;
    mkdir(dir.c_str(), 0755);
    FILE *f = std::fopen((dir + "/" + name).c_str(), "wb");
    if (!f) return;
    std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
}

Bytes Text(const std::string &s) {
    return Bytes(s.begin(), s.end());
}

cups_page_header2_t Header(unsigned wPt, unsigned hPt, unsigned dpi, const char *name) {
    cups_page_header2_t h;
    std::memset(&h, 0, sizeof h);
    h.HWResolution[0] = h.HWResolution[1] = dpi;
    h.PageSize[0] = wPt;
    h.PageSize[1] = hPt;
    h.NumCopies = 1;
    h.cupsWidth = wPt * dpi / 72;
    h.cupsHeight = hPt * dpi / 72;
    h.cupsBitsPerColor = h.cupsBitsPerPixel = 8;
    h.cupsBytesPerLine = h.cupsWidth;
    h.cupsColorSpace = CUPS_CSPACE_W;
    h.cupsNumColors = 1;
    std::snprintf(h.cupsPageSizeName, sizeof h.cupsPageSizeName, "%s", name);
    return h;
}

// A compressed raster stream of the given pages (each a diagonal stripe pattern), with the
// selector byte of the raster target in front; `cut` drops that many bytes from the end.
Bytes RasterSeed(uint8_t selector, const std::vector<cups_page_header2_t> &pages, size_t cut = 0) {
    char path[] = "/tmp/kelvra-seed-XXXXXX";
    const int fd = mkstemp(path);
    cups_raster_t *ras = cupsRasterOpen(fd, CUPS_RASTER_WRITE_COMPRESSED);
    for (cups_page_header2_t h : pages) {
        cupsRasterWriteHeader2(ras, &h);
        std::vector<uint8_t> line(h.cupsBytesPerLine);
        for (unsigned y = 0; y < h.cupsHeight; ++y) {
            for (unsigned x = 0; x < line.size(); ++x)
                line[x] = ((x + y) / 16) % 4 ? 0xFF : 0x20;
            cupsRasterWritePixels(ras, line.data(), static_cast<unsigned>(line.size()));
        }
    }
    cupsRasterClose(ras);
    Bytes out{selector};
    lseek(fd, 0, SEEK_SET);
    uint8_t buf[65536];
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
        out.insert(out.end(), buf, buf + n);
    close(fd);
    unlink(path);
    out.resize(out.size() > cut ? out.size() - cut : 1);
    return out;
}

void RasterSeeds() {
    const cups_page_header2_t small = Header(36, 48, 600, "Custom");
    cups_page_header2_t duplex = small, copies = small, hi = Header(24, 24, 1200, "Custom");
    duplex.Duplex = CUPS_TRUE;
    copies.NumCopies = 2;
    // selector: bits 0-2 PPD (C, Z, M, QV, Mirodel, unlisted Z, Z plus, unlisted none),
    // bits 3-5 option preset, bit 6 colour library, bit 7 file argument.
    Put("raster", "platform_c", RasterSeed(0x00, {small}));
    Put("raster", "platform_z_duplex", RasterSeed(0x01, {duplex, duplex, duplex}));
    Put("raster", "platform_m_1200", RasterSeed(0x02 | (2 << 3), {hi}));
    Put("raster", "qv_cms", RasterSeed(0x03 | 0x40, {small, small}));
    Put("raster", "mirodel_cms_2bit", RasterSeed(0x04 | 0x40 | (2 << 3), {small}));
    Put("raster", "unlisted_z_collate", RasterSeed(0x05 | (1 << 3) | 0x80, {copies, copies}));
    Put("raster", "qv_custom_rotate", RasterSeed(0x03 | (5 << 3), {small}));
    Put("raster", "platform_z_long_edge", RasterSeed(0x06 | (3 << 3), {small}));
    Put("raster", "truncated", RasterSeed(0x00, {small, small}, 200));
}

void OptionSeeds() {
    // Duplex, Tumble, PageSize w/h (u16 le), media buffer size, word, NUL, delimiter, options.
    auto seed = [](uint8_t duplex, uint8_t tumble, uint16_t w, uint16_t h, const char *word,
                   const char *options) {
        Bytes b{duplex, tumble, uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8), 99};
        b.insert(b.end(), word, word + std::strlen(word) + 1);
        b.push_back(' ');
        const Bytes o = Text(options);
        b.insert(b.end(), o.begin(), o.end());
        return b;
    };
    Put("options", "all_switches",
        seed(1, 1, 595, 842, "PageSize=",
             "Sides=two-sided-short-edge Density=3 TonerMode=true FeedLongEdge DPI1200=maybe "
             "NegativePrint=true InputSlot=tray2 ImageRotation=true Collate=true FineMode=true "
             "Booklet=true BlankSuppress=False LockedPinPrint=true"));
    Put("options", "custom_size",
        seed(0, 0, 900, 1300, "PageRegion=",
             "PageSize=Custom.300x400 PageRegion=Custom.300x400 page-left=10 page-right=20 "
             "page-top=5 page-bottom=5 "));
    Put("options", "media", seed(1, 0, 612, 792, "b=", "Media=Letter(8.5x11in) noBlankSuppress"));
    Put("options", "page_size_a3", seed(0, 0, 900, 1300, "x", "PageSize=A3 noDPI1200 page-top=20"));
}

void PinPrintSeeds() {
    auto seed = [](uint8_t flags, std::vector<std::string> fields) {
        Bytes b{flags};
        for (const std::string &f : fields) {
            b.insert(b.end(), f.begin(), f.end());
            b.push_back(0);
        }
        return b;
    };
    Put("pin_print", "locked",
        seed(3, {"42", "alice", "/home/alice/report.pdf",
                 "LockedPinPrint PinNum1=1 PinNum2=2 PinNum3=3 PinNum4=45"}));
    Put("pin_print", "plain", seed(1, {"7", "a-user-name-of-25-chars", "", "noLockedPinPrint"}));
    Put("pin_print", "utf8_title",
        seed(2, {"9", "j\xc3\xbcrgen",
                 "Pr\xc3\xbc"
                 "fung \"Q\"",
                 ""}));
    Put("pin_print", "ppd_default_pin", seed(0, {"1", "bob", "x/", "LockedPinPrint"}));
}

void JbigSeeds() {
    Bytes stripes{7, 64, 0, 16, 0}; // 64 pixels, 65 lines, stripes of 17
    for (int i = 0; i < 64; ++i)
        stripes.push_back(static_cast<uint8_t>(i * 37));
    Put("jbig", "stripes", stripes);
    Put("jbig", "white", Bytes{31, 200, 0, 0, 1});
    Bytes black{0, 10, 0, 2, 0, 0xFF};
    Put("jbig", "black_narrow", black);
    Bytes tp{15, 0, 1, 127, 0, 0, 0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    Put("jbig", "typical_prediction", tp);
}

void CmsSeeds() {
    // flags, X, Y, width, height (u16 le), stride extra, DpiMode, BitMode, TonerSave, Density,
    // slack, samples.
    auto seed = [](uint8_t flags, uint16_t x, uint16_t w, uint16_t h, uint8_t extra, uint8_t dpi,
                   uint8_t bits, uint8_t save, uint8_t density) {
        Bytes b{
            flags,      uint8_t(x),      uint8_t(x >> 8), 0,   0,    uint8_t(w), uint8_t(w >> 8),
            uint8_t(h), uint8_t(h >> 8), extra,           dpi, bits, save,       density,
            3};
        for (int i = 0; i < 256; ++i)
            b.push_back(static_cast<uint8_t>(i));
        return b;
    };
    Put("cms", "one_bit", seed(0, 0, 256, 64, 0, 0, 0, 0, 3));
    Put("cms", "two_bit_1200", seed(0, 40819, 512, 32, 8, 1, 1, 0, 5));
    Put("cms", "eight_bit_refused", seed(0, 5, 64, 8, 0, 0, 3, 1, 1));
    Put("cms", "short_capacity", seed(4, 0, 64, 16, 0, 0, 1, 0, 0));
    Put("cms", "null_destination", seed(2, 0, 64, 16, 0, 0, 0, 0, 2));
    Put("cms", "bad_width", seed(0, 0, 60, 16, 0, 0, 0, 0, 2));
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz-make-seeds DIR\n");
        return 2;
    }
    gDir = argv[1];
    mkdir(gDir.c_str(), 0755);
    RasterSeeds();
    OptionSeeds();
    PinPrintSeeds();
    JbigSeeds();
    CmsSeeds();
    return 0;
}
