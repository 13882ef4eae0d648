#include "app/image_filter.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

#include <jerror.h>
#include <png.h>

#include "app/document_formats.h"
#include "app/line_convert.h"
#include "app/raster_job.h"

namespace {

constexpr unsigned kMaxSide = 32768;               // pixels per side
constexpr uint64_t kMaxPixels = uint64_t{1} << 26; // 64 Mi pixels: 64 MB of luminance
constexpr double kUnknownPpi = 200;                // the size of a picture without a resolution
constexpr unsigned kCancelCheckRows = 64;

// Whether a picture of this size may be decoded.
bool SizeAllowed(uint64_t width, uint64_t height, std::string &why) {
    if (width == 0 || height == 0) {
        why = "the picture has no pixels";
        return false;
    }
    if (width > kMaxSide || height > kMaxSide || width * height > kMaxPixels) {
        why = "the picture is too large (" + std::to_string(width) + " x " +
              std::to_string(height) + " pixels)";
        return false;
    }
    return true;
}

// The luminance of an RGB colour (weights 0.2126, 0.7152, 0.0722, in 256ths).
uint8_t Luma(unsigned r, unsigned g, unsigned b) {
    return static_cast<uint8_t>((54 * r + 183 * g + 19 * b + 128) >> 8);
}

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool endedEarly;
};

// libjpeg's errors return to the decoder instead of ending the process.
[[noreturn]] void JpegFail(j_common_ptr info) {
    auto *e = reinterpret_cast<JpegError *>(info->err);
    (*info->err->format_message)(info, e->message);
    std::longjmp(e->jump, 1);
}

// libjpeg fills a file that ends early with grey and goes on with a warning: that is an error
// here. Other warnings (stray bytes between segments) leave a picture that shows as meant.
void JpegWarn(j_common_ptr info, int level) {
    auto *e = reinterpret_cast<JpegError *>(info->err);
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) e->endedEarly = true;
}

// A CMYK pixel of a JPEG (Adobe's files store the inks inverted) as luminance.
uint8_t CmykLuma(const uint8_t *p, bool adobe) {
    auto paper = [&](int i) { return adobe ? p[i] : 255u - p[i]; }; // what each ink leaves
    const unsigned k = paper(3);
    return Luma(paper(0) * k / 255, paper(1) * k / 255, paper(2) * k / 255);
}

struct PngMessage {
    char text[200];
};

// libpng's errors return to the decoder with their text.
[[noreturn]] void PngFail(png_structp png, png_const_charp message) {
    auto *m = static_cast<PngMessage *>(png_get_error_ptr(png));
    std::snprintf(m->text, sizeof m->text, "%s", message);
    png_longjmp(png, 1);
}

void PngWarn(png_structp, png_const_charp) {}

// Row `r` of the picture turned counter-clockwise by `quarterTurns` quarters.
void TurnedRow(const Picture &p, int quarterTurns, unsigned r, uint8_t *out) {
    const unsigned w = p.width, h = p.height;
    const uint8_t *g = p.grey.data();
    switch (quarterTurns) {
    case 1: // the picture's right column becomes the top row
        for (unsigned x = 0; x < h; ++x)
            out[x] = g[static_cast<size_t>(x) * w + (w - 1 - r)];
        break;
    case 2:
        for (unsigned x = 0; x < w; ++x)
            out[x] = g[static_cast<size_t>(h - 1 - r) * w + (w - 1 - x)];
        break;
    case 3: // the left column, read upwards, becomes the top row
        for (unsigned x = 0; x < h; ++x)
            out[x] = g[static_cast<size_t>(h - 1 - x) * w + r];
        break;
    default:
        std::memcpy(out, g + static_cast<size_t>(r) * w, w);
        break;
    }
}

// The page: white, with the picture turned, scaled and placed where the layout puts it (what
// falls outside the paper is cut). False when the job stopped.
bool PrintPicture(pappl_job_t *job, AppJob &appJob, const pappl_pr_options_t &options,
                  const Picture &pic) {
    const bool known = pic.xdpi >= 1 && pic.ydpi >= 1; // less is no resolution
    const double w = pic.width * 72.0 / (known ? pic.xdpi : kUnknownPpi);
    const double h = pic.height * 72.0 / (known ? pic.ydpi : kUnknownPpi);
    LayoutRequest request = appJob.Layout();
    request.picture = true;
    request.sizeKnown = known;
    const PaperArea paper = appJob.Paper();
    const PagePlacement at = PlacePage(w, h, paper, request);
    const unsigned dpi = appJob.Resolution();
    auto dots = [&](double points) { return std::lround(points * dpi / 72.0); };

    cups_page_header2_t header{};
    header.PageSize[0] = static_cast<unsigned>(std::lround(paper.width));
    header.PageSize[1] = static_cast<unsigned>(std::lround(paper.height));
    header.HWResolution[0] = header.HWResolution[1] = dpi;
    header.cupsWidth = header.cupsBytesPerLine = static_cast<unsigned>(dots(paper.width));
    header.cupsHeight = static_cast<unsigned>(dots(paper.height));
    header.cupsBitsPerColor = header.cupsBitsPerPixel = 8;
    header.cupsColorSpace = CUPS_CSPACE_SW;
    header.cupsColorOrder = CUPS_ORDER_CHUNKED;
    header.cupsNumColors = 1;
    std::snprintf(header.cupsPageSizeName, sizeof header.cupsPageSizeName, "%s",
                  options.media.size_name);
    if (!appJob.StartPage(header)) return false;

    // The picture turned is scaled to a box; only the part of the box on the paper is made,
    // from the part of the picture that lands there (a picture made large, or filling the
    // paper with an extreme shape, is never scaled whole).
    const bool sideways = at.quarterTurns % 2 != 0;
    const unsigned turnedW = sideways ? pic.height : pic.width;
    const unsigned turnedH = sideways ? pic.width : pic.height;
    const long pageW = header.cupsWidth, pageH = header.cupsHeight;
    const double boxW = std::max(1.0, (sideways ? h : w) * at.scale * dpi / 72.0);
    const double boxH = std::max(1.0, (sideways ? w : h) * at.scale * dpi / 72.0);
    const double left = at.left * dpi / 72.0, top = at.top * dpi / 72.0;
    const long x0 = std::max(0L, std::lround(left)), x1 = std::min(pageW, std::lround(left + boxW));
    const long y0 = std::max(0L, std::lround(top)), y1 = std::min(pageH, std::lround(top + boxH));
    auto source = [](double from, double to, double box, unsigned pixels, unsigned &first,
                     unsigned &end) {
        first =
            static_cast<unsigned>(std::clamp(std::floor(from / box * pixels), 0.0, pixels - 1.0));
        end = static_cast<unsigned>(
            std::clamp(std::ceil(to / box * pixels), first + 1.0, 1.0 * pixels));
    };
    unsigned sx0 = 0, sx1 = 0, sy0 = 0, sy1 = 0;
    source(x0 - left, x1 - left, boxW, turnedW, sx0, sx1);
    source(y0 - top, y1 - top, boxH, turnedH, sy0, sy1);

    const std::vector<uint8_t> white(static_cast<size_t>(pageW), 0xFF);
    std::vector<uint8_t> line(white), turned(turnedW);
    long written = 0;
    auto place = [&](const uint8_t *row) {
        if (written >= y1) return;
        for (; written < y0; ++written)
            appJob.WriteLine(white.data());
        std::copy(white.begin(), white.end(), line.begin());
        std::memcpy(line.data() + x0, row, static_cast<size_t>(x1 - x0));
        appJob.WriteLine(line.data());
        ++written;
    };
    if (x1 > x0 && y1 > y0) {
        LineConverter scale;
        scale.StartScaled(sx1 - sx0, sy1 - sy0, static_cast<unsigned>(x1 - x0),
                          static_cast<unsigned>(y1 - y0));
        for (unsigned r = sy0; r < sy1; ++r) {
            if (r % kCancelCheckRows == 0 && papplJobIsCanceled(job)) break;
            TurnedRow(pic, at.quarterTurns, r, turned.data());
            scale.Feed(turned.data() + sx0, place);
        }
    }
    for (; written < pageH; ++written)
        appJob.WriteLine(white.data());
    return appJob.EndPage();
}

// Opens the picture file; null with the reason in `why` when it cannot be read.
std::FILE *OpenPicture(const char *path, std::string &why) {
    std::FILE *fp = std::fopen(path, "rb");
    if (fp == nullptr) why = std::string("the file cannot be read: ") + std::strerror(errno);
    return fp;
}

} // namespace

bool DecodeJpeg(const char *path, Picture &picture, std::string &why) {
    std::FILE *fp = OpenPicture(path, why);
    if (fp == nullptr) return false;
    jpeg_decompress_struct info{};
    JpegError err{};
    info.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = JpegFail;
    err.mgr.emit_message = JpegWarn;
    std::vector<uint8_t> row;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&info);
        std::fclose(fp);
        why = std::string("the JPEG data is broken (") + err.message + ")";
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, fp);
    jpeg_read_header(&info, TRUE);
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_GRAYSCALE;
    bool ok = SizeAllowed(info.image_width, info.image_height, why);
    if (ok) {
        jpeg_start_decompress(&info);
        picture.width = info.output_width;
        picture.height = info.output_height;
        picture.grey.resize(static_cast<size_t>(picture.width) * picture.height);
        row.resize(static_cast<size_t>(picture.width) * info.output_components);
        while (info.output_scanline < info.output_height && !err.endedEarly) {
            JSAMPROW rows[1] = {row.data()};
            const unsigned y = info.output_scanline;
            if (jpeg_read_scanlines(&info, rows, 1) != 1) break;
            uint8_t *out = picture.grey.data() + static_cast<size_t>(y) * picture.width;
            for (unsigned x = 0; x < picture.width; ++x)
                out[x] = cmyk ? CmykLuma(row.data() + 4 * x, info.saw_Adobe_marker) : row[x];
        }
        ok = !err.endedEarly && info.output_scanline == info.output_height;
        if (ok)
            jpeg_finish_decompress(&info);
        else
            why = "the JPEG data ends before the picture's last row";
    }
    const double scale = info.density_unit == 2 ? 2.54 : 1;
    if (info.density_unit == 1 || info.density_unit == 2) {
        picture.xdpi = info.X_density * scale;
        picture.ydpi = info.Y_density * scale;
    }
    jpeg_destroy_decompress(&info);
    std::fclose(fp);
    return ok;
}

bool DecodePng(const char *path, Picture &picture, std::string &why) {
    std::FILE *fp = OpenPicture(path, why);
    if (fp == nullptr) return false;
    PngMessage message{};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &message, PngFail, PngWarn);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<png_bytep> rows;
    if (png == nullptr || info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(fp);
        why = std::string("the PNG data is broken (") + message.text + ")";
        return false;
    }
    png_init_io(png, fp);
    png_set_user_limits(png, kMaxSide, kMaxSide);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    bool ok = SizeAllowed(width, height, why);
    if (ok) {
        // Everything to 8-bit grey on white: palettes and small depths expanded, 16 bits
        // scaled, colour to luminance, transparency over white paper.
        png_set_expand(png);
        png_set_scale_16(png);
        if (png_get_color_type(png, info) & PNG_COLOR_MASK_COLOR)
            png_set_rgb_to_gray_fixed(png, 1, -1, -1);
        png_color_16 paper{};
        paper.red = paper.green = paper.blue = paper.gray = 255;
        png_set_background_fixed(png, &paper, PNG_BACKGROUND_GAMMA_SCREEN, 0, PNG_FP_1);
        png_set_interlace_handling(png);
        png_read_update_info(png, info);
        if (png_get_rowbytes(png, info) != width) png_error(png, "unexpected row layout");
        picture.width = width;
        picture.height = height;
        picture.grey.resize(static_cast<size_t>(width) * height);
        rows.resize(height);
        for (png_uint_32 y = 0; y < height; ++y)
            rows[y] = picture.grey.data() + static_cast<size_t>(y) * width;
        png_read_image(png, rows.data());
        png_read_end(png, nullptr);
        png_uint_32 xres = 0, yres = 0;
        int unit = 0;
        if (png_get_pHYs(png, info, &xres, &yres, &unit) && unit == PNG_RESOLUTION_METER) {
            picture.xdpi = xres * 0.0254;
            picture.ydpi = yres * 0.0254;
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(fp);
    return ok;
}

bool PrintImage(pappl_job_t *job, pappl_device_t *device, bool png) {
    const char *file = papplJobGetFilename(job);
    if (file == nullptr) return EndJobWithoutDocument(job);
    papplJobSetImpressions(job, 1);
    Picture picture;
    std::string why;
    if (!(png ? DecodePng(file, picture, why) : DecodeJpeg(file, picture, why)))
        return RefuseDocument(job, std::string("The ") + (png ? "PNG" : "JPEG") +
                                       " image cannot be printed: " + why);
    pappl_pr_options_t *options = papplJobCreatePrintOptions(job, 1, false);
    if (options == nullptr) return false;
    if (!RasterStartJob(job, options, device)) {
        papplJobDeletePrintOptions(options);
        return false;
    }
    auto *appJob = static_cast<AppJob *>(papplJobGetData(job));
    // page-ranges that leave out page 1 leave nothing to print.
    if (options->first_page <= 1 && PrintPicture(job, *appJob, *options, picture))
        papplJobSetImpressionsCompleted(job, 1);
    const bool ok = RasterEndJob(job, options, device);
    papplJobDeletePrintOptions(options);
    return ok;
}

bool ImageFilter(pappl_job_t *job, pappl_device_t *device, void *) {
    const char *format = papplJobGetFormat(job);
    return PrintImage(job, device, format != nullptr && std::strcmp(format, "image/png") == 0);
}
