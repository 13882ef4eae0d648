// The documents the Printer Application prints, and how each job finds its filter: PDF and
// PostScript (Ghostscript), JPEG and PNG (the image filter), PWG and Apple raster (streamed by
// PAPPL to the raster callbacks, or read from the spool file). A document of any other kind is
// refused when it is submitted: PAPPL asks the app to type what its own checks do not know,
// and the answer is never a format the printers list as supported. A job that still reaches
// the printer with an untyped document (a raw-socket job, a test page) has its content looked
// at once more and ends aborted with the reason when it is none of these.
#pragma once

#include <pappl/pappl.h>

#include <cstddef>
#include <string>

struct AppContext;

// The printers' own format, for PAPPL's driver data. PAPPL compares every job's format with
// it (a missing one crashes the server), looks up filters to it before filters to raster, and
// sends a job of this format raw only when no filter takes it: one always does.
constexpr const char *kDriverFormat = "application/octet-stream";

// The printable format the first bytes of a document show, or nullptr.
const char *SniffFormat(const unsigned char *header, std::size_t size);

// Registers the filters and the typing of documents PAPPL does not recognise.
void AddDocumentFormats(pappl_system_t *system, AppContext &app);

// Ends a job PAPPL started after it was cancelled (PAPPL 1.3 does, with its document already
// removed): it ends cancelled and nothing reaches the printer.
bool EndJobWithoutDocument(pappl_job_t *job);

// Ends a job whose document cannot be printed, with `message` as its reason.
bool RefuseDocument(pappl_job_t *job, const std::string &message);
