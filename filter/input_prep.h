// Input preparation: decides whether the job is CUPS raster or PDF, spools a PDF that
// arrives on standard input into a temporary file (the converter needs a file it can seek
// in), runs the system's Ghostscript raster filter on it with its raster output on a pipe,
// and reads the operating-system identification.
//
// Every temporary file made here is registered (filter/tempfile.h): the job loop's cleanup
// removes what is left with RemoveRegisteredTempFiles().
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include <sys/types.h>

#include "common/child_process.h"
#include "filter/fast_route.h"

constexpr std::size_t kInputFileNameSize = 512; // the job flow's `filename` buffer
constexpr std::size_t kOsInfoSize = 100;        // the job flow's `os_info` buffer

// The system's Ghostscript raster filter. Tests may point it at another program.
extern const char *gConverterPath;

// True when a FINAL_CONTENT_TYPE value names PDF input ("application/vnd.cups-pdf",
// any case, anywhere in the value); false for null.
bool IsPdfContentType(const char *finalContentType);
// The same test on the FINAL_CONTENT_TYPE environment variable (unset: not PDF).
bool FinalContentTypeIsPDF();

// Copies standard input into a new temporary file and writes its name into `filename`
// (`size` bytes). Returns false, leaving `filename` as it was and no file behind, when the
// file cannot be created or the copy fails (an "ERROR:" line says why).
bool Copy_StdinToTempFile(char *filename, std::size_t size = kInputFileNameSize);

// A PDF being converted for the job: the system's Ghostscript raster filter, whose raster
// output the job reads page by page from a pipe while later pages are still being rendered.
struct PdfConversion {
    ChildProcess child; // the converter, the read end of its raster pipe, its private directory
    std::string input;  // the PDF it reads (the filter's copy of standard input, if that)
};

// Starts the converter on the PDF `inputfile`. It gets the job id, user, title and copies of
// `argv` and the option string (PageSize/PageRegion rewritten to A4 for a custom size of a
// named document) as separate arguments, never through a shell. False, with an "ERROR:" line
// and the filter's own copy of standard input removed, when it cannot be started. On the fast
// route (`fast`) the converter finds the screen-setting Ghostscript beside the filter first on its
// PATH and writes 1-bit pages halftoned with the route's screen; without that program beside the
// filter it runs as without the route (and `fast` is reset).
bool StartPdfConversion(PdfConversion &conv, const char *inputfile, char *argv[],
                        std::optional<FastRoute> *fast = nullptr);

// Ends the conversion: closes the raster pipe, stops the converter's process group when the job
// stopped early (`stop`) or was cancelled, waits for it, and removes its directory and the
// filter's own copy of standard input. True when the converter succeeded; otherwise an "ERROR:"
// line names why (cancelled, killed, failed, or no raster page when `sawPage` is false; nothing
// more is written for `stop`, whose reason the job reported) and the result is false.
bool FinishPdfConversion(PdfConversion &conv, bool stop, bool cancelled, bool sawPage);

// Removes from `parameters` the first occurrence of `srcstr` up to and including the next
// `tok_str` character; no change when either is not found.
void removestr(char *parameters, const char *srcstr, char tok_str);

// The option string handed to the converter for the job options `options`.
std::string ConverterOptions(const char *options);

// Fills `os_info` with "<ID>_<VERSION_ID>" from the os-release file at `path`; leaves it
// untouched when the file cannot be read.
void get_os_info(char *os_info, std::size_t size = kOsInfoSize,
                 const char *path = "/etc/os-release");
