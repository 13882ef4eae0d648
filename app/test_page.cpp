#include "app/test_page.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "app/app_context.h"

namespace {

constexpr double kPointsPerHmm = 72.0 / 2540.0;
constexpr double kMm = 72.0 / 25.4;

// The block of texts and patches is laid out for this size (points) and shrunk to fit
// smaller paper.
constexpr double kBlockWidth = 484;
constexpr double kBlockHeight = 250;

// Appends printf-style text.
template <typename... Args> void Put(std::string &out, const char *format, Args... args) {
    char buf[256];
    std::snprintf(buf, sizeof buf, format, args...);
    out += buf;
}

// A PDF string literal of `text`: parentheses and backslashes escaped, other than printable
// ASCII replaced, so no text can end the string or the content stream.
std::string PdfString(std::string_view text) {
    std::string out = "(";
    for (char c : text) {
        if (c == '(' || c == ')' || c == '\\') out += '\\';
        out += (c >= 0x20 && c < 0x7f) ? c : '?';
    }
    return out + ")";
}

// One text line at (x, y) in Helvetica of `size` points.
void Text(std::string &out, double x, double y, double size, std::string_view text) {
    Put(out, "BT /F1 %.1f Tf %.2f %.2f Td ", size, x, y);
    out += PdfString(text) + " Tj ET\n";
}

// One centimetre of ruler: its baseline and the millimetre ticks below it (long at 0, medium
// at 5 mm).
std::string RulerCentimetre() {
    std::string out = "0.3 w 0 G\n";
    Put(out, "0 0 m %.3f 0 l S\n", 10 * kMm);
    for (int mm = 0; mm < 10; ++mm) {
        const double length = mm == 0 ? 4 * kMm : mm == 5 ? 2.5 * kMm : 1.5 * kMm;
        Put(out, "%.3f 0 m %.3f %.3f l S\n", mm * kMm, mm * kMm, -length);
    }
    return out;
}

// The rulers along the top and left edges of the printable area, numbered in centimetres.
void Rulers(std::string &out, double left, double top, double right, double bottom) {
    for (int cm = 0; left + (cm + 1) * 10 * kMm <= right; ++cm) {
        Put(out, "q 1 0 0 1 %.2f %.2f cm /R Do Q\n", left + cm * 10 * kMm, top);
        if (cm > 0) Text(out, left + cm * 10 * kMm + 1.5, top - 4 * kMm, 6, std::to_string(cm));
    }
    // Turned a quarter: the ruler runs down the left edge, its ticks pointing right.
    for (int cm = 0; top - (cm + 1) * 10 * kMm >= bottom; ++cm) {
        Put(out, "q 0 -1 -1 0 %.2f %.2f cm /R Do Q\n", left, top - cm * 10 * kMm);
        if (cm > 0) Text(out, left + 4.5 * kMm, top - cm * 10 * kMm - 6.5, 6, std::to_string(cm));
    }
}

// Model and paper, the grey ramp and the density patches, in block coordinates (origin at the
// block's top left corner, y upwards).
void Block(std::string &out, const TestPageInfo &info) {
    Text(out, 0, -20, 18, info.model);
    char line[160];
    std::snprintf(line, sizeof line, "Test page: %s, %.1f x %.1f mm, margins %.1f mm / %.1f mm",
                  info.paper.c_str(), info.widthHmm / 100.0, info.lengthHmm / 100.0,
                  info.leftRightHmm / 100.0, info.bottomTopHmm / 100.0);
    Text(out, 0, -38, 9, line);
    // Grey ramp: 0 % to 100 % black in steps of 10 %, in a frame.
    out += "0.3 w 0 G -2 -102 488 44 re S\n";
    for (int step = 0; step <= 10; ++step) {
        const double x = step * 44.0;
        Put(out, "%.2f g %.1f -100 40 40 re f\n", 1.0 - step / 10.0, x);
        out += "0 g\n";
        Text(out, x + 10, -110, 7, std::to_string(step * 10) + "%");
    }
    // Density patches: solid black, a hairline grid (about one dot at 600 dpi), small text.
    out += "0 g 0 -190 60 60 re f\n0.12 w 0 G\n";
    for (double d = 0; d <= 60; d += 2)
        Put(out, "%.1f -190 m %.1f -130 l %.1f %.1f m %.1f %.1f l\n", 80 + d, 80 + d, 80.0,
            -190 + d, 140.0, -190 + d);
    out += "S\n";
    Text(out, 0, -202, 7, "Solid");
    Text(out, 80, -202, 7, "Hairlines");
    double y = -136;
    for (double size : {5.0, 6.0, 8.0, 10.0}) {
        Text(out, 160, y, size, "The quick brown fox jumps over the lazy dog 0123456789");
        y -= size + 6;
    }
}

// The page's content stream.
std::string Content(const TestPageInfo &info) {
    const double width = info.widthHmm * kPointsPerHmm, height = info.lengthHmm * kPointsPerHmm;
    const double marginX = info.leftRightHmm * kPointsPerHmm;
    const double marginY = info.bottomTopHmm * kPointsPerHmm;
    const double left = marginX, right = width - marginX, bottom = marginY, top = height - marginY;
    std::string out = "q 0.5 w 0 G\n";
    Put(out, "%.2f %.2f %.2f %.2f re S\n", left, bottom, right - left, top - bottom);
    Rulers(out, left, top, right, bottom);
    const double scale =
        std::min({1.0, (right - left - 60) / kBlockWidth, (top - bottom - 60) / kBlockHeight});
    if (scale > 0) {
        Put(out, "q %.4f 0 0 %.4f %.2f %.2f cm\n", scale, scale, left + 40, top - 40);
        Block(out, info);
        out += "Q\n";
    }
    return out + "Q\n";
}

} // namespace

std::string TestPagePdf(const TestPageInfo &info) {
    const double width = info.widthHmm * kPointsPerHmm, height = info.lengthHmm * kPointsPerHmm;
    const std::string content = Content(info), ruler = RulerCentimetre();
    std::vector<std::string> objects;
    objects.push_back("<< /Type /Catalog /Pages 2 0 R >>");
    objects.push_back("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    std::string page;
    Put(page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %.2f %.2f] ", width, height);
    page += "/Resources << /Font << /F1 5 0 R >> /XObject << /R 6 0 R >> >> /Contents 4 0 R >>";
    objects.push_back(page);
    objects.push_back("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content +
                      "endstream");
    objects.push_back("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    std::string form;
    Put(form, "<< /Type /XObject /Subtype /Form /BBox [-1 -13 30 1] /Length %zu >>\nstream\n",
        ruler.size());
    objects.push_back(form + ruler + "endstream");

    std::string pdf = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (std::size_t offset : offsets)
        Put(pdf, "%010zu 00000 n \n", offset);
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\n";
    pdf += "startxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

// A unique name in the spool directory; a file only partly written is removed again.
const char *TestPageCallback(pappl_printer_t *printer, char *buffer, std::size_t bufsize) {
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(printer, &data);
    const auto *ext = static_cast<const PrinterExtension *>(data.extension);
    if (ext == nullptr || buffer == nullptr) return nullptr;
    TestPageInfo info;
    info.model = data.make_and_model;
    info.paper = data.media_default.size_name;
    info.widthHmm = data.media_default.size_width;
    info.lengthHmm = data.media_default.size_length;
    info.leftRightHmm = data.left_right;
    info.bottomTopHmm = data.bottom_top;
    const std::string pdf = TestPagePdf(info);

    std::string path = ext->app->spoolDir + "/kelvra-test-page-XXXXXX.pdf";
    if (path.size() >= bufsize) return nullptr;
    const int fd = mkstemps(path.data(), 4);
    if (fd < 0) {
        papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "Cannot create the test page in %s.",
                        ext->app->spoolDir.c_str());
        return nullptr;
    }
    std::size_t done = 0;
    while (done < pdf.size()) {
        const ssize_t n = write(fd, pdf.data() + done, pdf.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    if (close(fd) != 0 || done != pdf.size()) {
        unlink(path.c_str());
        papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "Cannot write the test page %s.",
                        path.c_str());
        return nullptr;
    }
    std::snprintf(buffer, bufsize, "%s", path.c_str());
    return buffer;
}
