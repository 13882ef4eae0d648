#include "filter/job.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include "common/globals.h"
#include "common/model_groups.h"
#include "common/last_error.h"
#include "common/sink.h"
#include "filter/blank_page.h"
#include "common/tempfile.h"
#include "filter/cups_binding.h"
#include "filter/input_prep.h"
#include "filter/spool.h"
#include "filter/page_header_log.h"
#include "filter/page_pipeline.h"
#include "filter/signals.h"
#include "prnt/prnt.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

// Reads one "cupsIPPReason" text of the PPD into buf; false when the PPD has no such entry.
bool LookupPPDReason(ppd_file_t *ppd, const char *key, char *buf, size_t size) {
    buf[0] = '\0';
    return pfppdLocalizeIPPReason(ppd, key, nullptr, buf, size) != nullptr;
}

// Opens the PPD named by the environment and copies its model name; the filter cannot pick a
// dialect without it, so a missing or broken PPD ends the job.
bool OpenPPD(JOB_STATE &job) {
    const char *path = std::getenv("PPD");
    if (path == nullptr || *path == '\0') {
        std::fputs("ERROR: The PPD environment variable is not set\n", stderr);
        return false;
    }
    job.ppd = pfppdOpenFile(path);
    if (job.ppd == nullptr) {
        std::fprintf(stderr, "ERROR: Unable to open the PPD file %s\n", path);
        return false;
    }
    if (job.ppd->modelname == nullptr || job.ppd->modelname[0] == '\0') {
        std::fprintf(stderr, "ERROR: The PPD file %s has no model name\n", path);
        return false;
    }
    std::snprintf(gPPDFile, sizeof gPPDFile, "%s", job.ppd->modelname);
    return true;
}

// Chooses the command dialect: the model list first, then the PPD's "PlatForm" keyword.
void SelectPlatform(JOB_STATE &job) {
    job.paperSizeArray = GetPaperSizeArray(gPPDFile, &job.platform);
    if (job.platform == PLATFORM_NONE &&
        LookupPPDReason(job.ppd, "PlatForm", job.PlatformMsg, sizeof job.PlatformMsg))
        GetPaperSizeArrayByPlatformName(job.PlatformMsg, &job.platform, &job.paperSizeArray);
}

// The QV models print 1200 dpi at one bit or 600 dpi at two; the Mirodel models turn a
// 1200-dpi request into two-bit output at 600 dpi.
void ApplyModelGroupRules(const JOB_STATE &job) {
    const bool wants1200 = is1200dpiprint(job.argv[5]) == 2;
    if (IsQVModel(gPPDFile)) {
        is1200dpi = wants1200;
        Color_bit = wants1200 ? 1 : 2;
    } else if (IsMirodelModel(gPPDFile)) {
        is1200dpi = false;
        Color_bit = wants1200 ? 2 : 1;
    }
}

// Start-up up to the job loop; returns an exit code when the job cannot go on, else -1.
int StartUp(JOB_STATE &job) {
    std::setlocale(LC_ALL, "");
    InitCUPSIMAGEDLL();
    InitCUPSDLL();
    InitCMSDLL();
    std::memcpy(job.prntFuncInfo, gDefaultPrntFuncInfo, sizeof job.prntFuncInfo);
    job.platform = PLATFORM_NONE;
    g_ismiddlepage = 1;
    setbuf(stderr, nullptr);

    if (job.argc < 6 || job.argc > 7) {
        std::fputs("ERROR: job-id user title copies options [file]\n", stderr);
        return 1;
    }
    // The cancel handler comes before the input is read: a SIGTERM while a PDF is copied from
    // standard input must stop the copy and remove it, not kill the filter and leave it.
    Canceled = 0;
    InstallJobSignals();
    BlankSuppressflag = isBlankSuppress(job.argv[5]);
    job.inputIsPdf = FinalContentTypeIsPDF();
    if (job.inputIsPdf) {
        if (job.argc == 7)
            std::snprintf(job.filename, sizeof job.filename, "%s", job.argv[6]);
        else if (!Copy_StdinToTempFile(job.filename, sizeof job.filename))
            return 1;
    } else if (job.argc == 7) {
        job.fd = open(job.argv[6], O_RDONLY);
        if (job.fd < 0) {
            job.fd = 0;
            std::perror("ERROR: Unable to open raster file - ");
            sleep(1);
            return 1;
        }
    }
    get_os_info(job.os_info, sizeof job.os_info);

    if (!OpenPPD(job)) return 1;
    g_page = 0;
    Color_bit = 1;
    is1200dpi = false;
    ApplyModelGroupRules(job);
    SelectPlatform(job);

    if (job.inputIsPdf) {
        if (gs2raster(job.filename, job.argv, sizeof job.filename) != 1) return 1;
        job.fd = open(job.filename, O_RDONLY);
        if (job.fd < 0) {
            job.fd = 0;
            std::fprintf(stderr, "ERROR: Unable to open the converted raster file %s\n",
                         job.filename);
            return 1;
        }
        lseek(job.fd, 0, SEEK_SET);
    }
    job.ras = pfcupsRasterOpen(job.fd, CUPS_RASTER_READ);
    if (job.ras == nullptr) {
        std::fputs("ERROR: Unable to read the raster stream\n", stderr);
        return 1;
    }
    // The device-stream copy is kept open for the run only: unlinked at once, so it never
    // outlives the filter, whatever way the filter ends.
    if (gTempDataFile == 0) {
        int tempFd = pfcupsTempFd(job.TempdataFile, sizeof job.TempdataFile);
        if (tempFd > 0) {
            gTempDataFile = tempFd;
            unlink(job.TempdataFile);
        }
    }
    job.iCopies = 1;
    job.b2Bit = 0;
    job.mDuplexType = 0;
    job.customflag = false;
    return -1;
}

// First-page job start: keep-alive timer, job-start record, Prnt_StartDoc and the spool
// files; false when a spool file cannot be created.
bool JobStart(JOB_STATE &job) {
    const PRINT_FUNC_INFO *opt = job.prntFuncInfo;
    job.iCopies = job.header.NumCopies;
    if (job.platform == PLATFORM_C || job.platform == PLATFORM_Z) StartKeepAlive();
    GDI_START_DOC_PARAM &d = job.startDocParam;
    d = GDI_START_DOC_PARAM{};
    // The job id as a decimal number; out-of-range text is clamped rather than undefined.
    const long long jobId = std::strtoll(job.argv[1], nullptr, 10);
    d.jobID = static_cast<int>(std::clamp<long long>(jobId, INT_MIN, INT_MAX));
    // The first 32 bytes of the title; a shorter title is zero-padded.
    const size_t titleLen = strnlen(job.argv[3], sizeof d.jobName);
    std::memcpy(d.jobName, job.argv[3], titleLen);
    d.DuplexMode = opt[AUTODUPLEX].value != 0 ? 0x20 : 0;
    d.saveMode = job.platform == PLATFORM_M ? 0 : 0x10;
    d.bookletEnable = opt[Booklet].value;
    d.densityLevel = opt[TONERMODE].value == 1 ? 0 : static_cast<uint8_t>(opt[DENSITY].value);
    d.FineMode = opt[FINEMODE].value == 1 ? 1 : 0;
    g_ismiddlepage = 1;
    if (!Prnt_StartDoc(&d, job.platform, job.argv)) ReportFailure("main() :: Start doc Fail ! \n");
    std::fflush(stdout);
    g_ismiddlepage = 0;
    return OpenCollateSpool(opt[COLLATE].value, job.header.NumCopies) &&
           OpenManualDuplexSpools(opt[MANUALDUPLEX].value);
}

// Parses this page's job options (platform Z completes them from the PPD defaults first)
// and updates the option table.
void ResolvePageOptions(JOB_STATE &job) {
    if (job.options) pfcupsFreeOptions(job.num_option, job.options);
    job.options = nullptr;
    if (job.platform == PLATFORM_Z) {
        std::snprintf(job.parameters, sizeof job.parameters, "%s", job.argv[5]);
        checkOptionKey(job.parameters, job.argv[5], job.ppd);
        job.num_option = pfcupsParseOptions(job.parameters, 0, &job.options);
    } else {
        job.num_option = pfcupsParseOptions(job.argv[5], 0, &job.options);
    }
    GetFunctionValue(job.prntFuncInfo, job.num_option, job.options, &job.header);
}

// QV page-name rules: a custom request names the page "Custom"; the standard sizes feed
// long edge first.
void ApplyQVPageRules(JOB_STATE &job) {
    cups_page_header2_t &h = job.header;
    if (strcasestr(job.argv[5], "PageSize=Custom") && !strcasestr(h.cupsPageSizeName, "custom")) {
        std::memset(h.cupsPageSizeName, 0, sizeof h.cupsPageSizeName);
        std::strcpy(h.cupsPageSizeName, "Custom");
    }
}

void SetQVLongEdgeFeed(JOB_STATE &job) {
    static const char *const kLongEdgeNames[] = {"A4",        "A5",      "B5",     "ISOB5",
                                                 "Letter",    "16K",     "Big16K", "Executive",
                                                 "Statement", "DoublePostcardRotated"};
    int longEdge = 0;
    for (const char *name : kLongEdgeNames)
        if (std::strcmp(job.header.cupsPageSizeName, name) == 0) longEdge = 1;
    job.prntFuncInfo[LONGEDGEFEED].value = longEdge;
}

// On platform Z a model that supports it prints two-sided jobs as manual duplex.
void ConvertToManualDuplex(JOB_STATE &job) {
    PRINT_FUNC_INFO *opt = job.prntFuncInfo;
    if (opt[AUTODUPLEX].value == 0 || job.platform != PLATFORM_Z || iSupportManDuplex != 1) return;
    if (opt[AUTODUPLEX].value == 2) job.mDuplexType = 1;
    opt[MANUALDUPLEX].value = 1;
    opt[AUTODUPLEX].value = 0;
    IsManDuplex = 1;
    std::fprintf(stderr, "DEBUG: ##ManualDuplex = %d, type is %d\n", 1, job.mDuplexType);
}

// Two bits per pixel: platform M with the 1200-dpi option, QV at 600 dpi, Mirodel on request.
void ChooseBitDepth(JOB_STATE &job) {
    if (job.prntFuncInfo[DPI1200].value == 1 && job.platform == PLATFORM_M) job.b2Bit = 1;
    if (IsQVModel(gPPDFile) && !is1200dpi) job.b2Bit = 1;
    if (IsMirodelModel(gPPDFile)) job.b2Bit = Color_bit == 2 ? 1 : 0;
}

enum LoopEnd { LOOP_JOB_END, LOOP_CLEANUP, LOOP_OUTPUT_GONE, LOOP_SPOOL_FAILED };

// Reads page headers until the input ends or the job is cancelled; says where to go next.
LoopEnd JobLoop(JOB_STATE &job) {
    const bool qv = IsQVModel(gPPDFile);
    for (;;) {
        if (!pfcupsRasterReadHeader2(job.ras, &job.header)) {
            std::fputs("DEBUG: cupsRasterReadHeader2 return failure/end-of-file.\n", stderr);
            return g_page > 0 ? LOOP_JOB_END : LOOP_CLEANUP;
        }
        std::fputs("DEBUG: cupsRasterReadHeader2 return OK.\n", stderr);
        if (qv) ApplyQVPageRules(job);
        log_page_header2(&job.header);
        if (qv) SetQVLongEdgeFeed(job);
        if (Canceled) return g_page > 0 ? LOOP_JOB_END : LOOP_CLEANUP;
        if (!IsPrintableRasterHeader(job.header)) return g_page > 0 ? LOOP_JOB_END : LOOP_CLEANUP;
        ++g_page;
        std::fprintf(stderr, "PAGE: %d %d\n", g_page, job.header.NumCopies);
        if (!iSupportManDuplex &&
            LookupPPDReason(job.ppd, "SupportManualDuplex", job.SupportManualDuplex,
                            sizeof job.SupportManualDuplex) &&
            strcasecmp(job.SupportManualDuplex, "TRUE") == 0)
            iSupportManDuplex = 1;
        std::fprintf(stderr, "-------SupportManualDuplex is %d\n", iSupportManDuplex);
        ResolvePageOptions(job);
        std::fprintf(stderr, "DEBUG: ##platform = %d, ##autoduplex = %d\n", job.platform,
                     job.prntFuncInfo[AUTODUPLEX].value);
        ConvertToManualDuplex(job);
        if (job.prntFuncInfo[MANUALDUPLEX].value == 1)
            LookupPPDReason(job.ppd, "MDuplex", job.DuplexMsg, sizeof job.DuplexMsg);
        ChooseBitDepth(job);
        if (g_page == 1 && !JobStart(job)) return LOOP_SPOOL_FAILED;
        SetManualDuplexDestination(job.prntFuncInfo[MANUALDUPLEX].value, g_page, qv);
        if (gStdoutBroken) return LOOP_OUTPUT_GONE;
        switch (ProcessPage(job)) {
        case PAGE_CLEANUP: return LOOP_CLEANUP;
        case PAGE_JOB_END: return LOOP_JOB_END;
        case PAGE_DONE: break;
        }
        if (gStdoutBroken) return LOOP_OUTPUT_GONE;
        if (Canceled) return LOOP_JOB_END;
        g_ismiddlepage = 0;
    }
}

// After the last page: a blank back side for an odd two-sided job, then the job end.
void JobEnd(JOB_STATE &job) {
    const PRINT_FUNC_INFO *opt = job.prntFuncInfo;
    if (opt[AUTODUPLEX].value != 0 && g_page % 2 == 1)
        InsertBlankPage(job.header, &job.startPageParam, job.platform);
    if (IsQVModel(gPPDFile) && g_page % 2 == 1 && opt[MANUALDUPLEX].value == 1 && g_page != 1)
        InsertBlankPage(job.header, &job.startPageParam, job.platform);
    g_ismiddlepage = 1;
    if (!Canceled && !gSpoolWriteFailed) {
        if (opt[COLLATE].value == 1 && job.iCopies > 1 && opt[MANUALDUPLEX].value != 1)
            ReplayCollateCopies(job.iCopies);
        if (opt[MANUALDUPLEX].value == 1)
            ReplayManualDuplex(job.platform, IsQVModel(gPPDFile), opt[COLLATE].value, job.iCopies,
                               job.DuplexMsg, job.startPageParam.tray, [&job] {
                                   InsertBlankPage(job.header, &job.startPageParam, job.platform);
                               });
    }
    CloseAndRemoveSpools();
    std::fflush(stdout);
    job.endDocParam.page = g_page;
    job.endDocParam.bMachDup = opt[AUTODUPLEX].value != 0 ? 1 : 0;
    g_ismiddlepage = 1;
    if (!Prnt_EndDoc(&job.endDocParam, job.platform)) ReportFailure("main() :: End doc Fail ! \n");
    std::fflush(stdout);
}

// Closes what the job opened and decides the exit code; `report` false for an early exit
// whose reason was already written.
int Cleanup(JOB_STATE &job, bool report = true) {
    if (job.options) pfcupsFreeOptions(job.num_option, job.options);
    job.options = nullptr;
    if (job.ppd) pfppdClose(job.ppd);
    if (job.ras) pfcupsRasterClose(job.ras);
    if (job.fd != 0) close(job.fd);
    job.fd = 0;
    CloseAndRemoveSpools();
    RemoveRegisteredTempFiles();
    if (gTempDataFile != 0) {
        close(gTempDataFile);
        gTempDataFile = 0;
    }
    UnloadDLLs();
    // The pause lets the user turn the stack of a manual-duplex job; a failed job has none.
    if (report && job.prntFuncInfo[MANUALDUPLEX].value == 1) sleep(10);
    g_ismiddlepage = 0;
    if (!report) return 1;
    if (g_page == 0) {
        std::fputs("ERROR: No pages found!\n", stderr);
        return 1;
    }
    std::fputs("INFO: Ready to print.\n", stderr);
    return 0;
}

} // namespace

void ReportFailure(const char *what) {
    PrependLastError(what);
    std::fputs(prntLastError, stderr);
}

int RunFilter(int argc, char *argv[]) {
    JOB_STATE job;
    job.argc = argc;
    job.argv = argv;
    int exitCode = StartUp(job);
    if (exitCode >= 0) {
        if (job.ppd) pfppdClose(job.ppd);
        if (job.fd > 0) close(job.fd);
        RemoveRegisteredTempFiles();
        return exitCode;
    }
    LoopEnd end = JobLoop(job);
    if (end == LOOP_SPOOL_FAILED) return Cleanup(job, false);
    if (end == LOOP_JOB_END) JobEnd(job);
    if (end == LOOP_OUTPUT_GONE || gStdoutBroken) {
        std::fputs("ERROR: The printer connection was closed; the job was stopped\n", stderr);
        return Cleanup(job, false);
    }
    if (gSpoolWriteFailed) {
        std::fputs("ERROR: The temporary directory is full or not writable; the collated copies "
                   "or second sides could not be made\n",
                   stderr);
        return Cleanup(job, false);
    }
    return Cleanup(job);
}
