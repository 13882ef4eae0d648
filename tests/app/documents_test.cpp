// Documents through the Printer Application, read back with the stream inspector: a document
// that cannot be printed ends its job aborted (with the reason where the app sees the document)
// and the server goes on; print-scaling and orientation-requested place an A5 page on A4 as
// asked in every format; each raster colour space prints as its grey twin; submit's copies and
// page ranges arrive; a custom size within the model's limits prints, one outside is refused.
#include <gtest/gtest.h>

#include <cups/raster.h>

#include <fcntl.h>
#include <filesystem>
#include <random>
#include <unistd.h>

#include "app/line_convert.h"
#include "common/model_catalogue.h"
#include "tests/app/app_server.h"
#include "tests/support/inspect_runner.h"

namespace {

constexpr const char *kA4 = "iso_a4_210x297mm";
constexpr const char *kDriver = "kelvra-r18"; // 600 dpi only: PAPPL's own raster header is 600 dpi

// An A5 page, black all over, and one white but for a square at its top left corner.
constexpr const char *kA5Black = "<</PageSize [420 595]>> setpagedevice 0 0 420 595 rectfill";
constexpr const char *kA5Corner = "<</PageSize [420 595]>> setpagedevice 0 495 100 100 rectfill";
constexpr const char *kA5Stripes = "<</PageSize [420 595]>> setpagedevice 0 1 99 { dup 100 div "
                                   "setgray 6 mul 0 exch 420 3 rectfill } for";

// The inked box of a decoded page, in dots: [x0, x1) x [y0, y1).
struct Box {
    long x0, y0, x1, y1;
    long W() const { return x1 - x0; }
    long H() const { return y1 - y0; }
};

Box InkBox(const std::string &stream, size_t page) {
    const InspectRun r = InspectJson(stream);
    const Json &p = r.json["pages"][page - 1];
    const std::string dump = stream + ".bits";
    RunInspector({"--dump-page", std::to_string(page), dump, stream});
    const std::string bits = ReadWholeFile(dump);
    const long w = p["coded_width"].asInt(), h = p["height"].asInt(), bpr = (w + 7) / 8;
    Box b{w, h, 0, 0};
    auto at = [&](long y, long x) { return static_cast<uint8_t>(bits[size_t(y * bpr + x / 8)]); };
    for (long y = 0; y < h && size_t((y + 1) * bpr) <= bits.size(); ++y) {
        long first = 0, last = w - 1; // the row's first and last toner dots
        while (first < w && !(at(y, first) & (0x80 >> first % 8)))
            first += (first % 8 == 0 && at(y, first) == 0) ? 8 : 1;
        if (first >= w) continue;
        while (!(at(y, last) & (0x80 >> last % 8)))
            --last;
        b = {std::min(b.x0, first), std::min(b.y0, y), std::max(b.x1, last + 1), y + 1};
    }
    return b;
}

class AppDocuments : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        server_ = new AppServer;
        ASSERT_TRUE(server_->ok()) << server_->Log();
        ASSERT_TRUE(server_->AddPrinter("p", kDriver));
    }
    static void TearDownTestSuite() { delete server_; }

    static std::string Path(const std::string &name) { return server_->dir() + "/" + name; }
    // A document Ghostscript makes from a line of PostScript (pdfwrite, pnggray, jpeggray, ...).
    static std::string Make(const std::string &name, const std::string &ps, const char *device,
                            const std::vector<std::string> &extra = {}) {
        std::vector<std::string> args = {"-r72", "-sOutputFile=" + Path(name),
                                         std::string("-sDEVICE=") + device};
        args.insert(args.end(), extra.begin(), extra.end());
        args.insert(args.end(), {"-c", ps + " showpage"});
        EXPECT_EQ(Ghostscript(args), "") << name;
        return Path(name);
    }
    // submit with these arguments; waits for the job (one at a time: the file: device goes on
    // writing into the file of the job that opened it). The job's state and message; state 0
    // when submit refused the job.
    static std::pair<int, std::string> Submit(const std::vector<std::string> &args) {
        std::vector<std::string> all = {"submit", "-d", "p"};
        all.insert(all.end(), args.begin(), args.end());
        const FilterRun run = server_->Run(all);
        const size_t dash = run.out.rfind('-');
        if (run.exitCode != 0 || dash == std::string::npos) return {0, run.err};
        std::string message;
        const int state = server_->WaitJob("p", std::atoi(run.out.c_str() + dash + 1), &message);
        return {state, message};
    }
    // A raster document streamed by Print-Job (job name "raster"); state and message.
    static std::pair<int, std::string> PrintJob(const std::string &file, const char *format) {
        std::string message;
        const int id = server_->PrintRaster("p", file, {}, format);
        return {id > 0 ? server_->WaitJob("p", id, &message) : 0, message};
    }
    static Json Inspect(const std::string &file) {
        return InspectJson(server_->OutputDir("p") + "/" +
                           std::filesystem::path(file).filename().string() + ".prn")
            .json;
    }
    static const PAPER_SIZE_INFO &A4() {
        const ModelInfo *m = FindModelByDriver(kDriver);
        return m->PaperRows()[PaperRowOfPwgMedia(m->PaperRows(), kA4)];
    }

    static AppServer *server_;
};
AppServer *AppDocuments::server_ = nullptr;

std::string Random(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char &c : s)
        c = static_cast<char>(gen());
    return s;
}

// Each kind of document that cannot be printed: the server lives, the job ends aborted (or is
// refused), with the reason where the app reads the document; then a PDF prints as before.
TEST_F(AppDocuments, DocumentsThatCannotBePrintedEndAbortedAndTheServerGoesOn) {
    const std::string pdf = Make("good.pdf", kA5Black, "pdfwrite");
    const std::string whole = ReadWholeFile(pdf);
    const std::string jpeg = ReadWholeFile(Make("stripes.jpg", kA5Stripes, "jpeggray"));
    const std::string png = ReadWholeFile(Make("page.png", kA5Black, "pnggray"));
    struct Case {
        const char *name, *format;
        std::string content;
        const char *reason; // "" where PAPPL itself ends the job
    } cases[] = {
        {"text.txt", "", "Hello,\nplain text.\n", "plain text"},
        {"random.pdf", "", Random(5000, 1), "format is unknown"},
        {"octets.bin", "application/octet-stream", Random(5000, 2), "format is unknown"},
        {"r.pdf", "application/pdf", Random(5000, 3), "could not be converted"},
        {"r.ps", "application/postscript", Random(5000, 4), "could not be converted"},
        {"r.jpg", "image/jpeg", Random(5000, 5), "JPEG"},
        {"r.png", "image/png", Random(5000, 6), "PNG"},
        {"r.pwg", "image/pwg-raster", "RaS2PwgR" + Random(5000, 7), ""},
        {"r.urf", "image/urf", Random(5000, 8), ""},
        {"cut.pdf", "", whole.substr(0, whole.size() / 2), "cut short"},
        {"cut.jpg", "", jpeg.substr(0, jpeg.size() * 2 / 3), "ends before"},
        {"cut.png", "", png.substr(0, png.size() / 2), "PNG"},
        {"empty.pdf", "application/pdf", "", nullptr}, // refused: no document
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        WriteWholeFile(Path(c.name), c.content);
        std::vector<std::string> args;
        if (*c.format) args = {"-o", std::string("document-format=") + c.format};
        args.push_back(Path(c.name));
        const auto [state, message] = Submit(args);
        EXPECT_EQ(state, c.reason ? IPP_JSTATE_ABORTED : 0) << message;
        if (c.reason && *c.reason) {
            EXPECT_NE(message.find(c.reason), std::string::npos) << message;
        }
        ASSERT_TRUE(server_->PrinterAttributes("p")) << "the server is gone";
    }
    // Encrypted; and one pixel tall (PAPPL's own PNG filter divides by zero on it), filling the
    // paper.
    ASSERT_EQ(Ghostscript({"-sDEVICE=pdfwrite", "-sOwnerPassword=o", "-sUserPassword=u",
                           "-sOutputFile=" + Path("locked.pdf"), pdf}),
              "");
    const auto locked = Submit({Path("locked.pdf")});
    EXPECT_EQ(locked.first, IPP_JSTATE_ABORTED);
    EXPECT_NE(locked.second.find("password"), std::string::npos) << locked.second;
    EXPECT_EQ(Submit({"-o", "print-scaling=fill",
                      Make("line.png", "0 0 1 1 rectfill", "pnggray", {"-g20000x1"})})
                  .first,
              IPP_JSTATE_COMPLETED);
    EXPECT_EQ(Submit({pdf}).first, IPP_JSTATE_COMPLETED) << server_->Log();
}

// An A5 page on A4 in each format and each print-scaling: none keeps its size, centred on the
// paper; auto keeps it too (it fits the printable area), centred in that area; fit makes it as
// large as the printable area allows; fill covers the paper (the printable area is all ink).
TEST_F(AppDocuments, PrintScalingPlacesAnA5PageOnA4AsAsked) {
    const PAPER_SIZE_INFO &row = A4();
    const double dots = 600.0 / 72, w = 420 * dots, h = 595 * dots;
    const double areaW = row.fwPaperW, areaH = row.fwPaperH;
    const double fit = std::min(areaW / w, areaH / h);
    const struct {
        const char *scaling;
        double width, height, top;
    } expected[] = {{"none", w, h, (row.cupsPaperH * dots - h) / 2},
                    {"auto", w, h, (areaH - h) / 2},
                    {"fit", w * fit, h * fit, (areaH - h * fit) / 2},
                    {"fill", areaW, areaH, 0}};
    // Every mode in PDF; PostScript and the pictures share their placement with it.
    for (const auto &[device, modes] : {std::pair{"pdfwrite", "none auto fit fill"},
                                        {"ps2write", "none fit"},
                                        {"jpeggray", "auto fill"},
                                        {"jpegcmyk", "fit"},
                                        {"pnggray", "none fit"}}) {
        for (const auto &e : expected) {
            if (std::string_view(modes).find(e.scaling) == std::string_view::npos) continue;
            const std::string name = std::string(e.scaling) + "." + device;
            SCOPED_TRACE(name);
            const std::string file = Make(name, kA5Black, device);
            ASSERT_EQ(Submit({"-o", std::string("print-scaling=") + e.scaling, file}).first,
                      IPP_JSTATE_COMPLETED);
            const Box ink = InkBox(server_->OutputDir("p") + "/" + name + ".prn", 1);
            EXPECT_NEAR(ink.W(), e.width, 4);
            EXPECT_NEAR(ink.H(), e.height, 4);
            EXPECT_NEAR(ink.y0, e.top, 3);
            EXPECT_NEAR(ink.x0 + ink.x1, areaW, 3); // centred across
        }
    }
    // A page of the paper's size: auto prints it as it is (the printable area all ink),
    // auto-fit shrinks it into the printable area.
    const std::string a4 = Make("a4.pdf", "0 0 595 842 rectfill", "pdfwrite", {"-sPAPERSIZE=a4"});
    for (const char *scaling : {"auto", "auto-fit"}) {
        ASSERT_EQ(Submit({"-o", std::string("print-scaling=") + scaling, a4}).first,
                  IPP_JSTATE_COMPLETED);
        const Box ink = InkBox(server_->OutputDir("p") + "/a4.pdf.prn", 1);
        EXPECT_EQ(ink.W() == row.fwPaperW && ink.H() == row.fwPaperH,
                  scaling == std::string_view("auto"))
            << ink.W() << " x " << ink.H();
    }
}

// orientation-requested turns the page counter-clockwise (landscape) or clockwise (reverse
// landscape) onto the paper: the square at the page's top left corner shows where it went. A
// job that names none turns a landscape page onto portrait paper.
TEST_F(AppDocuments, OrientationRequestedTurnsThePageInEveryFormat) {
    const std::string landscape = "<</PageSize [595 420]>> setpagedevice 0 320 100 100 rectfill";
    for (const char *device : {"pdfwrite", "pnggray"}) {
        for (const auto &[orientation, ps, left, top] :
             {std::tuple{"portrait", kA5Corner, true, true},
              {"landscape", kA5Corner, true, false},
              {"reverse-landscape", kA5Corner, false, true},
              {"reverse-portrait", kA5Corner, false, false},
              {"", landscape.c_str(), true, false}}) {
            const std::string name = std::string("o-") + orientation + "." + device;
            SCOPED_TRACE(name);
            std::vector<std::string> args = {Make(name, ps, device)};
            if (*orientation)
                args.insert(args.begin(),
                            {"-o", std::string("orientation-requested=") + orientation});
            ASSERT_EQ(Submit(args).first, IPP_JSTATE_COMPLETED);
            const Box ink = InkBox(server_->OutputDir("p") + "/" + name + ".prn", 1);
            EXPECT_EQ(ink.x0 + ink.x1 < A4().fwPaperW, left);
            EXPECT_EQ(ink.y0 + ink.y1 < A4().fwPaperH, top);
        }
    }
}

// Raster a client may send in a spool file: 16-bit grey and RGB (most significant byte first),
// and 1 bit with black high, become the same luminance as their 8-bit grey.
TEST(AppRasterLines, SixteenBitAndRgbAndBlackHighLinesBecomeLuminance) {
    struct Case {
        cups_cspace_t space;
        unsigned bits, colours;
        std::vector<uint8_t> line;
    } cases[] = {{CUPS_CSPACE_SW, 16, 1, {0x00, 0x00, 0x80, 0x00, 0xFF, 0xFF}},
                 {CUPS_CSPACE_SRGB,
                  16,
                  3,
                  {0, 0, 0, 0, 0, 0, 128, 0, 128, 0, 128, 0, 255, 255, 255, 255, 255, 255}},
                 {CUPS_CSPACE_RGB, 8, 3, {0, 0, 0, 128, 128, 128, 255, 255, 255}},
                 {CUPS_CSPACE_K, 1, 1, {0x80}}}; // black, white, white
    for (const Case &c : cases) {
        cups_page_header2_t h{};
        h.cupsWidth = 3;
        h.cupsHeight = 1;
        h.HWResolution[0] = h.HWResolution[1] = 600;
        h.cupsBitsPerColor = c.bits;
        h.cupsBitsPerPixel = c.bits * c.colours;
        h.cupsBytesPerLine = static_cast<unsigned>(c.line.size());
        h.cupsColorSpace = c.space;
        LineConverter convert;
        std::string why;
        ASSERT_TRUE(convert.Start(h, 600, why)) << why;
        std::vector<uint8_t> out;
        convert.Feed(c.line.data(), [&](const uint8_t *l) { out.assign(l, l + 3); });
        EXPECT_EQ(out, (std::vector<uint8_t>{0, c.bits == 1 ? uint8_t(255) : uint8_t(128), 255}))
            << c.bits << " bits, colour space " << c.space;
    }
}

// A page of PWG raster: a black bar over its top 100 lines and a black square below, in any
// colour space and depth of `type`, at 600 dpi.
void WriteRasterPage(const std::string &path, const char *type, cups_mode_t mode, bool cut) {
    cups_page_header2_t h;
    cupsRasterInitPWGHeader(&h, pwgMediaForPWG(kA4), type, 600, 600, "one-sided", "normal");
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    cups_raster_t *ras = cupsRasterOpen(fd, mode);
    cupsRasterWriteHeader2(ras, &h);
    const bool blackHigh = h.cupsColorSpace == CUPS_CSPACE_K;
    std::vector<unsigned char> line(h.cupsBytesPerLine);
    for (unsigned y = 0; y < (cut ? h.cupsHeight / 2 : h.cupsHeight); ++y) {
        for (unsigned x = 0; x < h.cupsWidth; ++x) {
            const bool black = y < 100 || (x >= 1200 && x < 1800 && y >= 1200 && y < 1800);
            if (h.cupsBitsPerPixel == 1) {
                const unsigned char bit = 0x80 >> (x % 8);
                line[x / 8] = black == blackHigh ? line[x / 8] | bit : line[x / 8] & ~bit;
            } else {
                const unsigned n = h.cupsBitsPerPixel / 8;
                std::fill_n(line.begin() + x * n, n, black == blackHigh ? 0xFF : 0x00);
            }
        }
        cupsRasterWritePixels(ras, line.data(), h.cupsBytesPerLine);
    }
    cupsRasterClose(ras);
    close(fd);
}

// Every raster colour space and depth a client may stream prints the page its sgray_8 twin
// prints (PAPPL hands the driver a 1-bit page without its header; it has the job's size). PAPPL
// refuses 16 bits per colour itself; a page cut short ends the job with the reason.
TEST_F(AppDocuments, EveryRasterColourSpacePrintsAsItsGreyTwin) {
    std::string reference;
    for (const auto &[type, mode, format] :
         {std::tuple{"sgray_8", CUPS_RASTER_WRITE_PWG, "image/pwg-raster"},
          {"sgray_1", CUPS_RASTER_WRITE_PWG, "image/pwg-raster"},
          {"black_8", CUPS_RASTER_WRITE_PWG, "image/pwg-raster"},
          {"srgb_8", CUPS_RASTER_WRITE_PWG, "image/pwg-raster"},
          {"adobe-rgb_8", CUPS_RASTER_WRITE_PWG, "image/pwg-raster"},
          {"srgb_8", CUPS_RASTER_WRITE_APPLE, "image/urf"}}) {
        const std::string file = Path(std::string(type) + "." + (format + 6));
        SCOPED_TRACE(file);
        WriteRasterPage(file, type, mode, false);
        ASSERT_EQ(PrintJob(file, format).first, IPP_JSTATE_COMPLETED);
        const Json r = Inspect("raster");
        ASSERT_EQ(r["pages"].size(), 1u);
        if (reference.empty()) reference = r["pages"][0]["hash"].str;
        EXPECT_EQ(r["pages"][0]["hash"].str, reference);
    }
    for (const auto &[type, cut, reason] : {std::tuple{"sgray_16", false, "1 or 8 bits"},
                                            {"sgray_8", true, "ends in the middle of page 1"}}) {
        const std::string file = Path(std::string("bad-") + type + ".pwg");
        WriteRasterPage(file, type, CUPS_RASTER_WRITE_PWG, cut);
        const auto [state, message] = PrintJob(file, "image/pwg-raster");
        EXPECT_EQ(state, IPP_JSTATE_ABORTED) << type;
        EXPECT_NE(message.find(reason), std::string::npos) << message;
    }
}

// submit's copies (-n) and page ranges reach the job: the printed pages are the document's
// pages by their bitmaps, also where its pages differ in size and each is placed on its own
// (in PDF and PostScript). A list of ranges, which the printers do not take, is refused.
TEST_F(AppDocuments, SubmitSendsCopiesAndPageRanges) {
    const std::string pages = std::string(kA5Black) +
                              " showpage <</PageSize [595 420]>> setpagedevice 0 0 99 99 "
                              "rectfill showpage <</PageSize [595 842]>> setpagedevice 0 0 9 9 "
                              "rectfill";
    const std::string sample = Make("mixed.pdf", pages, "pdfwrite");
    const std::string postscript = Make("mixed.ps", pages, "ps2write");
    const std::string picture = Make("copies.png", kA5Black, "pnggray");
    int n = 0;
    auto printed = [&](const std::vector<std::string> &args, const std::string &file) {
        const std::string copy = Path("copies-" + std::to_string(++n));
        std::filesystem::copy_file(file, copy, std::filesystem::copy_options::overwrite_existing);
        std::vector<std::string> all = args;
        all.push_back(copy);
        EXPECT_EQ(Submit(all).first, IPP_JSTATE_COMPLETED) << Joined(all);
        std::vector<std::string> hashes;
        const Json report = Inspect(copy);
        for (const Json &p : report["pages"].arr)
            hashes.push_back(p["hash"].str);
        return hashes;
    };
    const std::vector<std::string> doc = printed({}, sample), pic = printed({}, picture),
                                   ps = printed({}, postscript);
    ASSERT_EQ(doc.size(), 3u);
    using Pages = std::vector<std::string>;
    EXPECT_EQ(printed({"-n", "2"}, sample),
              (Pages{doc[0], doc[1], doc[2], doc[0], doc[1], doc[2]}));
    EXPECT_EQ(printed({"-o", "page-ranges=2"}, sample), (Pages{doc[1]}));
    EXPECT_EQ(printed({"-o", "page-ranges=2-3"}, sample), (Pages{doc[1], doc[2]}));
    EXPECT_EQ(printed({"-o", "page-ranges=2-3"}, postscript), (Pages{ps[1], ps[2]}));
    EXPECT_EQ(printed({"-n", "2", "-o", "page-ranges=3"}, sample), (Pages{doc[2], doc[2]}));
    EXPECT_EQ(printed({"-n", "2"}, picture), (Pages{pic[0], pic[0]}));
    EXPECT_EQ(Submit({"-o", "page-ranges=1,3", sample}).first, 0);
}

// A custom size within the model's limits is valid and prints on a page of that size less the
// custom margins; one below the smallest size is refused by Validate-Job (PAPPL 1.3.1 prints a
// Print-Job on the default size then, telling the client it substituted the size).
TEST_F(AppDocuments, CustomSizesWithinTheModelsLimitsPrint) {
    const std::string pdf = Make("custom.pdf", kA5Black, "pdfwrite");
    auto request = [&](ipp_op_t op, int w, int h) {
        IppPtr r = server_->NewRequest(op, "p");
        ippAddString(r.get(), IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr,
                     "application/pdf");
        ippAddString(r.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, "custom.pdf");
        ipp_t *dims = ippNew(), *col = ippNew();
        ippAddInteger(dims, IPP_TAG_ZERO, IPP_TAG_INTEGER, "x-dimension", w);
        ippAddInteger(dims, IPP_TAG_ZERO, IPP_TAG_INTEGER, "y-dimension", h);
        ippAddCollection(col, IPP_TAG_ZERO, "media-size", dims);
        ippAddCollection(r.get(), IPP_TAG_JOB, "media-col", col);
        ippDelete(dims);
        ippDelete(col);
        return r;
    };
    auto status = [](const IppPtr &response) { return ippGetStatusCode(response.get()); };
    EXPECT_EQ(status(server_->Request("p", request(IPP_OP_VALIDATE_JOB, 5000, 15000))),
              IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES);
    EXPECT_EQ(status(server_->Request("p", request(IPP_OP_VALIDATE_JOB, 10000, 15000))),
              IPP_STATUS_OK);
    IppPtr printed = server_->Request("p", request(IPP_OP_PRINT_JOB, 10000, 15000), pdf);
    ASSERT_EQ(status(printed), IPP_STATUS_OK);
    const int id = ippGetInteger(ippFindAttribute(printed.get(), "job-id", IPP_TAG_INTEGER), 0);
    ASSERT_EQ(server_->WaitJob("p", id), IPP_JSTATE_COMPLETED);
    const Json page = Inspect(pdf)["pages"][0];
    const double dots = 600.0 / 72, pt = 72 / 25.4;
    EXPECT_NEAR(page["width"].asInt(), (100 * pt - 24) * dots, 32);
    EXPECT_NEAR(page["height"].asInt(), (150 * pt - 12) * dots, 8);
}

} // namespace
