// Input preparation: decides whether the job is CUPS raster or PDF, spools a PDF that
// arrives on standard input into a temporary file, converts PDF to CUPS raster with the
// system's Ghostscript raster filter, and reads the operating-system identification.
//
// Every temporary file made here is registered (common/tempfile.h): the job loop's cleanup
// removes what is left with RemoveRegisteredTempFiles().
#pragma once

#include <cstddef>
#include <string>

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

// Converts the PDF named by `inputfile` into CUPS raster. The converter gets the job id,
// user, title and copies of `argv` and the option string (PageSize/PageRegion rewritten to
// A4 for a custom size of a named document) as separate arguments, never through a shell.
// Returns 1 with `inputfile` naming the raster file (the temporary copy of standard input,
// if that was the input, is removed). Returns -1 when the converter cannot be started,
// fails or produces no raster page: an "ERROR:" line names the cause, the converter's
// output and the filter's own copy of standard input are removed, `inputfile` is unchanged,
// and the job should end with exit code 1.
int gs2raster(char *inputfile, char *argv[], std::size_t inputfileSize = kInputFileNameSize);

// Removes from `parameters` the first occurrence of `srcstr` up to and including the next
// `tok_str` character; no change when either is not found.
void removestr(char *parameters, const char *srcstr, char tok_str);

// The option string handed to the converter for the job options `options`.
std::string ConverterOptions(const char *options);

// Fills `os_info` with "<ID>_<VERSION_ID>" from the os-release file at `path`; leaves it
// untouched when the file cannot be read.
void get_os_info(char *os_info, std::size_t size = kOsInfoSize,
                 const char *path = "/etc/os-release");
