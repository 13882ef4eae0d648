#include "app/document_formats.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include "app/app_context.h"
#include "app/image_filter.h"
#include "app/pdf_filter.h"
#include "app/raster_job.h"

namespace {

constexpr std::size_t kSniffBytes = 8192;      // as much as PAPPL looks at
constexpr std::size_t kPdfHeaderWithin = 1024; // readers find "%PDF-" this far into a file

// Whether the document begins with these `n` bytes.
bool StartsWith(const unsigned char *p, std::size_t size, const char *magic, std::size_t n) {
    return size >= n && std::memcmp(p, magic, n) == 0;
}

// Whether the bytes look like plain text (the refusal names it).
bool LooksLikeText(const unsigned char *p, std::size_t size) {
    return size > 0 && std::all_of(p, p + size, [](unsigned char c) {
               return c >= 0x20 ? c != 0x7F : c == '\t' || c == '\n' || c == '\r' || c == '\f';
           });
}

// What PAPPL's typing does not answer for an IPP document: a printable format, else the
// untyped format, whose filter ends the job with the reason. (PAPPL 1.3.1 accepts any format a
// client names: its check looks for document-format-supported among attributes that do not
// hold it. An unknown format gives no filter and PAPPL aborts the job itself; with the
// driver's format set it no longer crashes doing so.)
const char *TypeDocument(const unsigned char *header, std::size_t size, void *) {
    const char *format = SniffFormat(header, size);
    return format ? format : kDriverFormat;
}

// Prints a PWG or Apple raster file from the spool directory (PAPPL streams such documents
// from IPP clients itself): pages of page-ranges only; a file that ends inside a page ends the
// job aborted after it.
bool PrintRasterFile(pappl_job_t *job, pappl_device_t *device, const char *file) {
    const int fd = open(file, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return RefuseDocument(job, "The raster document cannot be read");
    pappl_pr_options_t *options = papplJobCreatePrintOptions(job, 0, false);
    bool ok = options != nullptr && RasterStartJob(job, options, device);
    if (ok) {
        auto *appJob = static_cast<AppJob *>(papplJobGetData(job));
        RasterEnd end = RasterEnd::Stopped;
        if (cups_raster_t *ras = cupsRasterOpen(fd, CUPS_RASTER_READ)) {
            end = PrintRasterPages(job, *appJob, ras, options->first_page, options->last_page);
            cupsRasterClose(ras);
        } else {
            appJob->Abort("The raster document cannot be read");
        }
        if (end == RasterEnd::CutShort)
            appJob->Abort("The raster document ends in the middle of a page");
        ok = RasterEndJob(job, options, device) && end == RasterEnd::Whole;
    }
    papplJobDeletePrintOptions(options);
    close(fd);
    return ok;
}

// A job whose document came untyped: the content says which filter prints it.
bool AnyDocumentFilter(pappl_job_t *job, pappl_device_t *device, void *data) {
    const char *file = papplJobGetFilename(job);
    if (file == nullptr) return EndJobWithoutDocument(job);
    unsigned char header[kSniffBytes] = {};
    std::size_t size = 0;
    if (const int fd = open(file, O_RDONLY | O_CLOEXEC); fd >= 0) {
        const ssize_t n = read(fd, header, sizeof header);
        size = n > 0 ? static_cast<std::size_t>(n) : 0;
        close(fd);
    }
    const char *format = SniffFormat(header, size);
    const auto &app = *static_cast<const AppContext *>(data);
    if (format == nullptr)
        return RefuseDocument(job, std::string(size == 0 ? "The document is empty"
                                               : LooksLikeText(header, size)
                                                   ? "The document is plain text"
                                                   : "The document's format is unknown") +
                                       ": this printer prints PDF, PostScript, JPEG, PNG, PWG "
                                       "and Apple raster");
    papplLogJob(job, PAPPL_LOGLEVEL_INFO, "The document is %s.", format);
    const std::string_view f = format;
    if (f == "application/pdf" || f == "application/postscript")
        return PrintPdfOrPostScript(job, device, app, f == "application/pdf");
    if (f == "image/jpeg" || f == "image/png") return PrintImage(job, device, f == "image/png");
    return PrintRasterFile(job, device, file);
}

// Runs a filter for the job's first run only; a second run that PAPPL started for the same
// job ends as the first did (see PrinterGate::BeginRun).
template <pappl_mime_filter_cb_t Filter>
bool FirstRunOnly(pappl_job_t *job, pappl_device_t *device, void *data) {
    PrinterExtension *printer = ExtensionOf(job);
    if (printer == nullptr) return Filter(job, device, data);
    const int id = papplJobGetID(job);
    bool result = false;
    if (!printer->gate.BeginRun(id, result)) {
        papplLogJob(job, PAPPL_LOGLEVEL_WARN,
                    "Started a second time while or after it printed; the second run prints "
                    "nothing.");
        return result;
    }
    result = Filter(job, device, data);
    printer->gate.EndRun(id, result);
    return result;
}

} // namespace

// PAPPL's own signatures, and what it misses: a PDF header after a few bytes of something else
// (a byte-order mark, a mail or PJL prefix), PostScript after a Ctrl-D, a JPEG whose first
// segment is not an APPn one.
const char *SniffFormat(const unsigned char *header, std::size_t size) {
    if (StartsWith(header, size, "%!", 2) || StartsWith(header, size, "\004%!", 3))
        return "application/postscript";
    if (StartsWith(header, size, "\377\330\377", 3) && size > 3 && header[3] >= 0xC0 &&
        header[3] != 0xFF)
        return "image/jpeg";
    if (StartsWith(header, size, "\211PNG\r\n\032\n", 8)) return "image/png";
    if (StartsWith(header, size, "RaS2PwgR", 8)) return "image/pwg-raster";
    if (StartsWith(header, size, "UNIRAST", 8)) return "image/urf";
    const std::size_t pdfWithin = std::min(size, kPdfHeaderWithin);
    for (std::size_t i = 0; i + 5 <= pdfWithin; ++i)
        if (std::memcmp(header + i, "%PDF-", 5) == 0) return "application/pdf";
    return nullptr;
}

// PAPPL registers its own JPEG and PNG filters to raster; it looks up filters to the driver's
// format first, so these take their place.
void AddDocumentFormats(pappl_system_t *system, AppContext &app) {
    papplSystemSetMIMECallback(system, TypeDocument, nullptr);
    papplSystemAddMIMEFilter(system, "application/pdf", "image/pwg-raster", FirstRunOnly<PdfFilter>,
                             &app);
    papplSystemAddMIMEFilter(system, "application/postscript", "image/pwg-raster",
                             FirstRunOnly<PdfFilter>, &app);
    papplSystemAddMIMEFilter(system, "image/jpeg", kDriverFormat, FirstRunOnly<ImageFilter>, &app);
    papplSystemAddMIMEFilter(system, "image/png", kDriverFormat, FirstRunOnly<ImageFilter>, &app);
    papplSystemAddMIMEFilter(system, kDriverFormat, kDriverFormat, FirstRunOnly<AnyDocumentFilter>,
                             &app);
}

bool EndJobWithoutDocument(pappl_job_t *job) {
    papplLogJob(job, PAPPL_LOGLEVEL_INFO, "No document: the job was cancelled before it ran.");
    papplJobCancel(job);
    return true;
}

bool RefuseDocument(pappl_job_t *job, const std::string &message) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", message.c_str());
    papplJobSetMessage(job, "%s", message.c_str());
    papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, PAPPL_JREASON_NONE);
    return false;
}
