// The printer operations of one job's command stream, run by the dialect of the job's platform
// (prnt/dialect.h). Each returns 1 when everything was sent and 0 when a step failed (its
// message then stands in front of the job's error text) or the job's platform is not 1 (C),
// 2 (Z) or 3 (M).
#pragma once

#include "common/job_settings.h"
#include "prnt/prnt_params.h"

#include <cstdint>
#include <cstdio>
#include <vector>

class ErrorText;
class OutputSink;

// The command stream of one job: the job's settings, where its bytes go, its error text, and
// what the page commands carry from one call to the next.
struct PrntStream {
    const JobSettings &settings;
    OutputSink &sink;
    ErrorText &error;
    int page = 0;               // number of the page being sent
    bool manualDuplex = false;  // the job prints its two sides in separate passes
    uint64_t imageCoverage = 0; // toner dots of the current page (the halftoning counts them)
    uint64_t imageChecksum = 0; // checksum of the last image coded (0-255)
    std::vector<uint8_t> coded; // the coded page, kept from page to page to reuse its memory
    std::FILE *log = nullptr;   // the job's status lines (none: they are dropped)
};

// Opens the job: PJL header and settings, then the job-level commands of the dialect.
int Prnt_StartDoc(PrntStream &stream, const GDI_START_DOC_PARAM &startDoc);
// Announces one page (paper, media, resolution, tray, copies, margins).
int Prnt_StartPage(PrntStream &stream, const GDI_START_PAGE_PARAM &startPage);
// Compresses the page bitmap and sends it framed for the dialect. BlankPage is the page
// number of an inserted blank page (platform Z reports it with a fixed coverage), else 0.
int Prnt_SendPage(PrntStream &stream, GDI_SEND_PAGE_PARAM &sendPage, int BlankPage);
// Closes a page (checksum, coverage and form feed on C; form feed on Z; block on M).
int Prnt_EndPage(PrntStream &stream, GDI_END_PAGE_PARAM &endPage);
// Closes the job.
int Prnt_EndDoc(PrntStream &stream, const GDI_END_DOC_PARAM &endDoc);
// Sends the machine-duplex frame of platform C when it is due for this page.
int SendMachineDuplexCmd(PrntStream &stream, int pageNum, int bEndDoc);
// Sends the manual-duplex command between the two passes of a manual duplex job.
int SendManualDuplexCmd(PrntStream &stream);

// Sends the two-byte separator 00 00 (nothing for the QV and Mirodel models).
int Insert00(PrntStream &stream);

// Exchange two values in place (the job loop swaps widths and heights with them).
void SwapUINT(uint32_t *a, uint32_t *b);
void SwapUSHORT(uint16_t *a, uint16_t *b);
