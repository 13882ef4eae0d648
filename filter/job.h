// The filter's job flow: start-up, the job loop over raster pages, job end and cleanup.
#pragma once

#include <cups/ppd.h>
#include <cups/raster.h>

#include "common/paper_catalogue.h"
#include "filter/options.h"
#include "prnt/prnt_params.h"

// Job-wide state of one run of the filter, owned by the job loop.
struct JOB_STATE {
    int argc = 0;
    char **argv = nullptr;
    ppd_file_t *ppd = nullptr;
    cups_raster_t *ras = nullptr;
    int fd = 0;
    bool inputIsPdf = false;
    cups_page_header2_t header{};
    int num_option = 0;
    cups_option_t *options = nullptr;
    PRINT_FUNC_INFO prntFuncInfo[kPrntFuncInfoCount] = {};
    int platform = 0;
    const PAPER_SIZE_INFO *paperSizeArray = nullptr;
    unsigned int iCopies = 1;
    int b2Bit = 0;
    int mDuplexType = 0;
    bool customflag = false;
    float customwidth = 595.0f;
    float customheight = 842.0f;
    char filename[512] = {};
    char TempdataFile[255] = {};
    char os_info[100] = {};
    char PlatformMsg[1024] = {};
    char SupportManualDuplex[1024] = {};
    char DuplexMsg[1024] = {};
    char parameters[kOptionParametersSize] = {}; // platform Z: options completed from the PPD
    GDI_START_DOC_PARAM startDocParam{};
    GDI_START_PAGE_PARAM startPageParam{};
    GDI_SEND_PAGE_PARAM sendPageParam{};
    GDI_END_PAGE_PARAM endPageParam{};
    GDI_END_DOC_PARAM endDocParam{};
};

int RunFilter(int argc, char *argv[]);

// Puts "what" in front of prntLastError and writes the whole text to standard error: the
// failure report of a printer operation; the job goes on.
void ReportFailure(const char *what);
