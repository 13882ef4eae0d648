#include "tests/support/job_e2e.h"

#include <algorithm>
#include <cstring>

RasterPage BlockPage(const cups_page_header2_t &header, const std::vector<Block> &blocks,
                     unsigned lines) {
    RasterPage page = MakeGreyPage(header);
    const unsigned bpl = header.cupsBytesPerLine;
    for (const Block &b : blocks)
        for (unsigned y = b.y0; y < std::min(b.y1, header.cupsHeight); ++y)
            if (b.x0 < std::min(b.x1, bpl))
                std::memset(&page.pixels[static_cast<size_t>(y) * bpl + b.x0], 0,
                            std::min(b.x1, bpl) - b.x0);
    if (lines < header.cupsHeight) page.pixels.resize(static_cast<size_t>(lines) * bpl);
    return page;
}

Bitmap ExpectedBitmap(const RasterPage &page, const std::vector<Block> &blocks,
                      const PageModel &m) {
    const cups_page_header2_t &h = page.header;
    const unsigned bpl = h.cupsBytesPerLine;
    const unsigned linesRead = static_cast<unsigned>(page.pixels.size() / bpl);
    unsigned W = m.width, H = m.height;
    // The page as ink (1) and paper (0), before any turn.
    std::vector<uint8_t> ink(static_cast<size_t>(W) * H, 0);
    const unsigned offset = bpl > W ? (bpl - W) / 2 : 0;
    for (const Block &b : blocks)
        for (unsigned y = b.y0; y < std::min({b.y1, H, linesRead}); ++y)
            for (unsigned x = b.x0; x < std::min(b.x1, bpl); ++x)
                if (x >= offset && x - offset < W) ink[static_cast<size_t>(y) * W + x - offset] = 1;
    if (m.rotate180) std::reverse(ink.begin(), ink.end());
    if (m.rotate90) { // clockwise: turned (r, c) = source (H - 1 - c, r)
        std::vector<uint8_t> turned(ink.size());
        for (unsigned r = 0; r < W; ++r)
            for (unsigned c = 0; c < H; ++c)
                turned[static_cast<size_t>(r) * H + c] =
                    ink[static_cast<size_t>(H - 1 - c) * W + r];
        ink.swap(turned);
        std::swap(W, H);
    }
    const size_t rowBytes = (static_cast<size_t>(W) * m.bpp + 7) / 8;
    Bitmap out(rowBytes * H, 0);
    const unsigned full = m.bpp == 2 ? 3 : 1;
    for (unsigned y = 0; y < H; ++y)
        for (unsigned x = 0; x < W; ++x) {
            const unsigned level =
                (ink[static_cast<size_t>(y) * W + x] != 0) != m.negative ? full : 0;
            const size_t bit = static_cast<size_t>(x) * m.bpp;
            out[y * rowBytes + bit / 8] |= static_cast<uint8_t>(level << (8 - m.bpp - bit % 8));
        }
    return out;
}

std::string DescribeDifference(const Bitmap &got, const Bitmap &want, size_t rowBytes) {
    if (got.size() != want.size())
        return "bitmap sizes differ: got " + std::to_string(got.size()) + " bytes, want " +
               std::to_string(want.size());
    size_t differing = 0, first = 0;
    for (size_t i = 0; i < got.size(); ++i)
        if (got[i] != want[i] && differing++ == 0) first = i;
    if (differing == 0) return "";
    char text[200];
    std::snprintf(text, sizeof text,
                  "%zu bytes differ; first at row %zu byte %zu: got %02X want %02X", differing,
                  first / rowBytes, first % rowBytes, got[first], want[first]);
    return text;
}

unsigned PixelAt(const Bitmap &bitmap, size_t rowBytes, unsigned bpp, unsigned x, unsigned y) {
    const size_t bit = static_cast<size_t>(x) * bpp;
    const uint8_t byte = bitmap.at(y * rowBytes + bit / 8);
    return (byte >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
}

JobRun RunJob(const TempDir &dir, const std::string &ppdFixture, const std::string &options,
              const std::vector<RasterPage> &pages, const std::string &tag,
              const std::map<std::string, std::string> &env) {
    const std::string raster = dir.file(tag + ".ras");
    WriteRasterFile(raster, pages);
    FilterCall call;
    call.args = FilterArgs(options, raster);
    call.env = env;
    call.env["PPD"] = FixturePPD(ppdFixture);
    JobRun job;
    job.run = RunFilterProcess(call);
    job.stream = dir.file(tag + ".bin");
    WriteWholeFile(job.stream, job.run.out);
    job.report = InspectJson(job.stream);
    return job;
}

Bitmap DumpPage(const TempDir &dir, const std::string &stream, int index) {
    const std::string path = dir.file("page-" + std::to_string(index) + ".raw");
    InspectRun r = RunInspector({"--dump-page", std::to_string(index), path, stream});
    if (r.exitCode != 0) return {};
    const std::string bytes = ReadWholeFile(path);
    return Bitmap(bytes.begin(), bytes.end());
}

int64_t Field(const Json *item, const char *name) {
    return item ? (*item)["fields"][name].asInt() : -1;
}

int64_t BlockParam(const Json *block, const char *name) {
    if (!block) return -1;
    for (const Json &p : (*block)["params"].arr)
        if (p["name"].str == name) return p["value"].asInt();
    return -1;
}

std::vector<const Json *> PageItems(const Json &report, const std::string &name, int64_t page) {
    std::vector<const Json *> found;
    for (const Json *it : ItemsNamed(report, name))
        if ((*it)["page"].asInt() == page) found.push_back(it);
    return found;
}
