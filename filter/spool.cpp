#include "filter/spool.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include <unistd.h>

#include "common/globals.h"
#include "common/last_error.h"
#include "common/sink.h"
#include "common/tempfile.h"
#include "filter/cups_binding.h"
#include "filter/options.h"
#include "prnt/prnt.h"

char collateTmpFile[kSpoolNameSize] = {};
char manualOddTmpFile[kSpoolNameSize] = {};
char manualEvenTmpFile[kSpoolNameSize] = {};

namespace {
enum ReplayResult { REPLAY_DONE, REPLAY_CANCELED, REPLAY_FAILED };

// Creates one spool file in the spooler's temporary directory and registers it, so that
// it is removed at exit whatever happens. Returns the descriptor, or 0 on failure.
int CreateSpool(char *name) {
    name[0] = '\0';
    const int fd = pfcupsTempFd(name, kSpoolNameSize);
    if (fd <= 0) return 0;
    RegisterTempFile(name);
    return fd;
}

// Closes a spool and deletes its file.
void CloseSpool(int &fd, char *name) {
    if (fd != 0) close(fd);
    fd = 0;
    if (name[0] != '\0') RemoveTempFile(name);
    name[0] = '\0';
}

// Offers one chunk to the sink, again while it refuses it, at most kMaxChunkOffers times;
// a closed output (EPIPE) is not offered again.
bool OfferChunk(const uint8_t *data, std::size_t count) {
    for (int offer = 0; offer < kMaxChunkOffers; ++offer) {
        if (SendDataToFile(data, static_cast<int>(count), 0) == 1) return true;
        if (gStdoutBroken) break;
    }
    return false;
}

void ReportRefused(const char *what) {
    std::fprintf(stderr, "ERROR: The printer output refused the %s data; the replay was stopped\n",
                 what);
}

// Sends a whole spool file from its start, `chunk` bytes at a time, until its end or a read
// failure. A cancellation does not cut the file short: chunks do not follow page bounds, and
// a page cut in its data would make the printer take the job end for image data. The
// callers stop between whole copies instead.
ReplayResult ReplayFile(int fd, std::size_t chunk, const char *what) {
    if (fd == 0) return REPLAY_DONE;
    if (lseek(fd, 0, SEEK_SET) != 0) {
        std::fprintf(stderr, "ERROR: Unable to rewind the %s: %s\n", what, std::strerror(errno));
        return REPLAY_FAILED;
    }
    std::vector<uint8_t> buf(chunk);
    ReplayResult result = REPLAY_DONE;
    for (;;) {
        const ssize_t n = read(fd, buf.data(), buf.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            std::fprintf(stderr, "ERROR: Unable to read the %s: %s\n", what, std::strerror(errno));
            result = REPLAY_FAILED;
            break;
        }
        if (n == 0) break;
        if (!OfferChunk(buf.data(), static_cast<std::size_t>(n))) {
            ReportRefused(what);
            result = REPLAY_FAILED;
            break;
        }
    }
    if (result == REPLAY_DONE && Canceled) result = REPLAY_CANCELED;
    std::fflush(stdout);
    return result;
}

// Sends `count` bytes of the spool at `offset`: one spooled page.
ReplayResult ReplayRange(int fd, int64_t offset, int64_t count, const char *what) {
    std::vector<uint8_t> buf(kManualDuplexChunk);
    while (count > 0) {
        const auto want = static_cast<std::size_t>(std::min<int64_t>(count, buf.size()));
        const ssize_t n = pread(fd, buf.data(), want, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            std::fprintf(stderr, "ERROR: Unable to read the %s: %s\n", what,
                         n == 0 ? "file shorter than spooled" : std::strerror(errno));
            return REPLAY_FAILED;
        }
        if (!OfferChunk(buf.data(), static_cast<std::size_t>(n))) {
            ReportRefused(what);
            return REPLAY_FAILED;
        }
        offset += n;
        count -= n;
    }
    return REPLAY_DONE;
}

// The even pages from the last one down to page 2, each located by the byte counts the
// sink kept for it. Only as many entries as the counter table holds are read.
ReplayResult ReplayEvenPagesBackwards() {
    if (gManualDuplexEvenFile == 0 || g_page < 2) return REPLAY_DONE;
    const std::size_t pages =
        std::min(static_cast<std::size_t>(g_page / 2), gEvenNumberCacheSize.size());
    std::vector<int64_t> offsets(pages, 0);
    for (std::size_t k = 1; k < pages; ++k)
        offsets[k] = offsets[k - 1] + gEvenNumberCacheSize[k - 1];
    for (std::size_t k = pages; k-- > 0;) {
        const ReplayResult r = ReplayRange(gManualDuplexEvenFile, offsets[k],
                                           gEvenNumberCacheSize[k], "even-page spool");
        if (r != REPLAY_DONE) return r;
    }
    std::fflush(stdout);
    return REPLAY_DONE;
}

// Replays a whole spool `times` times; stops at the first copy that did not finish.
ReplayResult ReplayFileTimes(int fd, unsigned times, std::size_t chunk, const char *what) {
    for (unsigned i = 0; i < times; ++i) {
        if (Canceled) return REPLAY_CANCELED;
        const ReplayResult r = ReplayFile(fd, chunk, what);
        if (r != REPLAY_DONE) return r;
    }
    return REPLAY_DONE;
}

void SendManualDuplexCommand(int platform) {
    if (!SendManualDuplexCmd(platform)) {
        PrependLastError("ReplayManualDuplex() :: Send manual duplex command Fail ! \n");
        std::fputs(prntLastError, stderr);
    }
}
} // namespace

bool OpenCollateSpool(int collate, unsigned numCopies) {
    if (collate != 1 || numCopies <= 1 || gCollateFile != 0) return true;
    gCollateFile = CreateSpool(collateTmpFile);
    if (gCollateFile == 0) {
        std::fprintf(stderr, "ERROR: Unable to create the collate spool file: %s\n",
                     std::strerror(errno));
        CloseAndRemoveSpools();
        return false;
    }
    return true;
}

bool OpenManualDuplexSpools(int manualDuplex) {
    if (manualDuplex != 1) return true;
    gSendDataToDevice = 0;
    gOddNumberCacheSize.assign(1024, 0);
    gEvenNumberCacheSize.assign(1024, 0);
    gManualDuplexOddFile = CreateSpool(manualOddTmpFile);
    if (gManualDuplexOddFile == 0) {
        std::fprintf(stderr, "%s file open fail", manualOddTmpFile);
        CloseAndRemoveSpools();
        return false;
    }
    gManualDuplexEvenFile = CreateSpool(manualEvenTmpFile);
    if (gManualDuplexEvenFile == 0) {
        std::fprintf(stderr, "%s file open fail", manualEvenTmpFile);
        CloseAndRemoveSpools();
        return false;
    }
    return true;
}

void SetManualDuplexDestination(int manualDuplex, int page, bool qvModel) {
    if (manualDuplex != 1) return;
    const bool even = page % 2 == 0;
    gSendDataToDevice = (qvModel ? even : !even) ? 1 : 0;
}

// The first copy printed during the pass; each page was announced with one copy.
int ReplayCollateCopies(unsigned iCopies) {
    if (Canceled || gCollateFile == 0) {
        CloseSpool(gCollateFile, collateTmpFile);
        return Canceled ? 0 : 1;
    }
    gSendDataToDevice = 1;
    const unsigned more = iCopies > 1 ? iCopies - 1 : 0;
    const ReplayResult r = ReplayFileTimes(gCollateFile, more, kCollateChunk, "collate spool");
    CloseSpool(gCollateFile, collateTmpFile);
    return r == REPLAY_DONE ? 1 : 0;
}

// Other models print odd pages during the pass: the remaining odd copies, the command,
// then per copy a blank page for an odd count and the even pages last to first (the
// turned stack comes back face down). The QV models print even pages during the pass
// (the blank page of an odd count among them): the remaining even copies, the command,
// then the odd spool once per copy. A single-page QV job prints only at job end, from the
// tray of its page-start record and without the command.
int ReplayManualDuplex(int platform, bool qvModel, int collate, unsigned iCopies,
                       const char *duplexMsg, uint16_t tray, const BlankPageFn &insertBlankPage) {
    if (Canceled) return 0;
    std::fprintf(stderr, "INFO:%s\n", duplexMsg != nullptr ? duplexMsg : "");
    const unsigned nCopies = collate == 1 && iCopies > 1 ? iCopies : 1;
    gSendDataToDevice = 1;
    // The collate spool of a manual-duplex job is never replayed: the copies come from here.
    CloseSpool(gCollateFile, collateTmpFile);

    ReplayResult r = REPLAY_DONE;
    if (!qvModel) {
        r = ReplayFileTimes(gManualDuplexOddFile, nCopies - 1, kManualDuplexChunk,
                            "odd-page spool");
        CloseSpool(gManualDuplexOddFile, manualOddTmpFile);
        if (r != REPLAY_FAILED) {
            SendManualDuplexCommand(platform);
            for (unsigned copy = 0; copy < nCopies; ++copy) {
                if (g_page % 2 != 0 && insertBlankPage) insertBlankPage();
                const ReplayResult even = ReplayEvenPagesBackwards();
                if (even != REPLAY_DONE) {
                    r = even;
                    break;
                }
            }
        }
        CloseSpool(gManualDuplexEvenFile, manualEvenTmpFile);
    } else {
        const bool singlePage = g_page == 1;
        if (singlePage && manualOddTmpFile[0] != '\0') EditMediaSource(manualOddTmpFile, tray);
        r = ReplayFileTimes(gManualDuplexEvenFile, nCopies - 1, kManualDuplexChunk,
                            "even-page spool");
        CloseSpool(gManualDuplexEvenFile, manualEvenTmpFile);
        if (r != REPLAY_FAILED) {
            if (!singlePage) SendManualDuplexCommand(platform);
            const ReplayResult odd = ReplayFileTimes(gManualDuplexOddFile, nCopies,
                                                     kManualDuplexChunk, "odd-page spool");
            if (odd != REPLAY_DONE) r = odd;
        }
        CloseSpool(gManualDuplexOddFile, manualOddTmpFile);
    }
    std::fflush(stdout);
    return r == REPLAY_DONE ? 1 : 0;
}

void CloseAndRemoveSpools() {
    CloseSpool(gCollateFile, collateTmpFile);
    CloseSpool(gManualDuplexOddFile, manualOddTmpFile);
    CloseSpool(gManualDuplexEvenFile, manualEvenTmpFile);
    gSendDataToDevice = 1;
}
