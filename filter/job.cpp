#include "filter/job.h"

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include "common/globals.h"
#include "common/model_groups.h"
#include "filter/cups_binding.h"
#include "filter/page_header_log.h"
#include "filter/page_pipeline.h"
#include "filter/signals.h"

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

// Start-up up to the job loop; returns an exit code when the job cannot go on, else -1.
int StartUp(JOB_STATE &job) {
    std::setlocale(LC_ALL, "");
    InitCUPSIMAGEDLL();
    InitCUPSDLL();
    InitCMSDLL();
    job.platform = PLATFORM_NONE;
    g_ismiddlepage = 1;
    setbuf(stderr, nullptr);

    if (job.argc < 6 || job.argc > 7) {
        std::fputs("ERROR: job-id user title copies options [file]\n", stderr);
        return 1;
    }
    if (job.argc == 7) {
        job.fd = open(job.argv[6], O_RDONLY);
        if (job.fd < 0) {
            job.fd = 0;
            std::perror("ERROR: Unable to open raster file - ");
            sleep(1);
            return 1;
        }
    }

    Canceled = 0;
    InstallJobSignals();
    if (!OpenPPD(job)) return 1;
    g_page = 0;
    Color_bit = 1;
    is1200dpi = false;
    SelectPlatform(job);

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

// First-page job start: the keep-alive timer on the dialects that need it.
void JobStart(JOB_STATE &job) {
    job.iCopies = job.header.NumCopies;
    if (job.platform == PLATFORM_C || job.platform == PLATFORM_Z) StartKeepAlive();
}

// Reads page headers until the input ends or the job is cancelled.
void JobLoop(JOB_STATE &job) {
    for (;;) {
        if (!pfcupsRasterReadHeader2(job.ras, &job.header)) {
            std::fputs("DEBUG: cupsRasterReadHeader2 return failure/end-of-file.\n", stderr);
            return;
        }
        std::fputs("DEBUG: cupsRasterReadHeader2 return OK.\n", stderr);
        log_page_header2(&job.header);
        if (Canceled) return;
        ++g_page;
        std::fprintf(stderr, "PAGE: %d %d\n", g_page, job.header.NumCopies);
        if (!iSupportManDuplex &&
            LookupPPDReason(job.ppd, "SupportManualDuplex", job.SupportManualDuplex,
                            sizeof job.SupportManualDuplex) &&
            strcasecmp(job.SupportManualDuplex, "TRUE") == 0)
            iSupportManDuplex = 1;
        std::fprintf(stderr, "-------SupportManualDuplex is %d\n", iSupportManDuplex);
        std::fprintf(stderr, "DEBUG: ##platform = %d, ##autoduplex = %d\n", job.platform, 0);
        if (g_page == 1) JobStart(job);
        if (ProcessPage(job) == PAGE_LEAVE_JOB) return;
        if (Canceled) return;
        g_ismiddlepage = 0;
    }
}

// Closes what the job opened and decides the exit code.
int Cleanup(JOB_STATE &job) {
    if (job.ppd) pfppdClose(job.ppd);
    if (job.ras) pfcupsRasterClose(job.ras);
    if (job.fd != 0) close(job.fd);
    if (gTempDataFile != 0) {
        close(gTempDataFile);
        gTempDataFile = 0;
    }
    UnloadDLLs();
    g_ismiddlepage = 0;
    if (g_page == 0) {
        std::fputs("ERROR: No pages found!\n", stderr);
        return 1;
    }
    std::fputs("INFO: Ready to print.\n", stderr);
    return 0;
}

} // namespace

int RunFilter(int argc, char *argv[]) {
    JOB_STATE job;
    job.argc = argc;
    job.argv = argv;
    int exitCode = StartUp(job);
    if (exitCode >= 0) {
        if (job.ppd) pfppdClose(job.ppd);
        if (job.fd > 0) close(job.fd);
        return exitCode;
    }
    JobLoop(job);
    return Cleanup(job);
}
