#include "common/sink.h"

#include "common/globals.h"
#include "common/last_error.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <unistd.h>

std::vector<int64_t> gOddNumberCacheSize(1024, 0);
std::vector<int64_t> gEvenNumberCacheSize(1024, 0);
volatile sig_atomic_t gStdoutBroken = 0;
int gSpoolWriteFailed = 0;
SinkWriteFn gSinkWrite = ::write;

namespace {
// Writes all `count` bytes to `fd`, resuming after partial writes and interruptions
// (the keep-alive timer raises SIGALRM). Returns 0 on success, else the errno value.
int WriteAll(int fd, const uint8_t *data, std::size_t count) {
    while (count > 0) {
        const ssize_t n = gSinkWrite(fd, data, count);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno != 0 ? errno : EIO;
        }
        if (n == 0) return EIO;
        data += n;
        count -= static_cast<std::size_t>(n);
    }
    return 0;
}

// Records a failed write to `what` in front of prntLastError.
void ReportWriteFailure(const char *what, int err) {
    char msg[160];
    std::snprintf(msg, sizeof msg, "SendDataToFile() :: write to %s Fail: %s\n", what,
                  std::strerror(err));
    PrependLastError(msg);
}

// Adds `count` to entry `index` of a per-page counter, growing the counter as needed.
void AddPageCount(std::vector<int64_t> &counts, int index, int count) {
    if (index < 0) return;
    const auto i = static_cast<std::size_t>(index);
    if (i >= counts.size()) counts.resize(i + 1, 0);
    counts[i] += count;
}
} // namespace

int SendDataToFile(const void *pData, int count, int bCache) {
    std::fflush(stdout);
    g_ismiddlepage = 1;
    if (pData == nullptr) {
        SetLastError("SendDataToFile() :: NULL == pData");
        return 0;
    }
    if (count <= 0) {
        PrependLastError("SendDataToFile() :: nothing to send\n");
        return 0;
    }
    const auto *bytes = static_cast<const uint8_t *>(pData);
    const auto n = static_cast<std::size_t>(count);
    bool wrote = false;
    bool ok = true;

    if (gSendDataToDevice == 1) {
        wrote = true;
        if (const int err = WriteAll(STDOUT_FILENO, bytes, n); err != 0) {
            if (err == EPIPE) gStdoutBroken = 1;
            ReportWriteFailure("standard output", err);
            ok = false;
        } else if (gTempDataFile != 0) {
            // The device-stream copy mirrors only what reached standard output. Nobody reads
            // it back, so a full disk drops the copy instead of failing the printer's stream.
            if (const int e = WriteAll(gTempDataFile, bytes, n); e != 0) {
                ReportWriteFailure("device-stream copy (no longer kept)", e);
                close(gTempDataFile);
                gTempDataFile = 0;
            }
        }
    }
    // A spool write that fails leaves the spools incomplete: they are not written again and
    // not replayed. The send fails only when the data went nowhere else.
    const bool spoolFailureFails = gSendDataToDevice != 1;
    auto spoolFailed = [&](const char *what, int e) {
        ReportWriteFailure(what, e);
        gSpoolWriteFailed = 1;
        if (spoolFailureFails) ok = false;
    };
    if (bCache == 1 && gSpoolWriteFailed) {
        if (spoolFailureFails) {
            wrote = true;
            ok = false;
        }
    } else if (bCache == 1) {
        if (gCollateFile != 0) {
            wrote = true;
            if (const int e = WriteAll(gCollateFile, bytes, n); e != 0) {
                spoolFailed("collate spool", e);
            }
        }
        if (gManualDuplexOddFile != 0 && g_page % 2 != 0) {
            wrote = true;
            if (const int e = WriteAll(gManualDuplexOddFile, bytes, n); e != 0) {
                spoolFailed("odd-page spool", e);
            } else {
                AddPageCount(gOddNumberCacheSize, g_page / 2, count);
            }
        }
        if (gManualDuplexEvenFile != 0 && g_page % 2 == 0) {
            wrote = true;
            if (const int e = WriteAll(gManualDuplexEvenFile, bytes, n); e != 0) {
                spoolFailed("even-page spool", e);
            } else {
                AddPageCount(gEvenNumberCacheSize, g_page / 2 - 1, count);
            }
        }
    }
    std::fflush(stdout);
    g_ismiddlepage = 1;
    if (!wrote) {
        PrependLastError("SendDataToFile() :: no destination for the data\n");
        return 0;
    }
    return ok ? 1 : 0;
}
