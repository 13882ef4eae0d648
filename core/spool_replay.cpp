#include "core/spool_replay.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "common/last_error.h"
#include "common/model_catalogue.h"
#include "common/sink.h"

namespace {
enum ReplayResult { REPLAY_DONE, REPLAY_CANCELED, REPLAY_FAILED };

// Offers one chunk to the sink, again while it refuses it, at most kMaxChunkOffers times;
// a closed output (EPIPE) is not offered again.
bool OfferChunk(OutputSink &sink, const uint8_t *data, std::size_t count) {
    for (int offer = 0; offer < kMaxChunkOffers; ++offer) {
        if (sink.Send(data, static_cast<int>(count), 0) == 1) return true;
        if (sink.OutputBroken()) break;
    }
    return false;
}

void ReportRefused(std::FILE *log, const char *what) {
    std::fprintf(log, "ERROR: The printer output refused the %s data; the replay was stopped\n",
                 what);
}

// Sends a whole spool file from its start, `chunk` bytes at a time, until its end or a read
// failure. A cancellation does not cut the file short: chunks do not follow page bounds, and
// a page cut in its data would make the printer take the job end for image data. The
// callers stop between whole copies instead.
ReplayResult ReplayFile(const SpoolReplay &r, int fd, std::size_t chunk, const char *what) {
    if (fd < 0) return REPLAY_DONE;
    if (lseek(fd, 0, SEEK_SET) != 0) {
        std::fprintf(r.log, "ERROR: Unable to rewind the %s: %s\n", what, std::strerror(errno));
        return REPLAY_FAILED;
    }
    std::vector<uint8_t> buf(chunk);
    ReplayResult result = REPLAY_DONE;
    for (;;) {
        const ssize_t n = read(fd, buf.data(), buf.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            std::fprintf(r.log, "ERROR: Unable to read the %s: %s\n", what, std::strerror(errno));
            result = REPLAY_FAILED;
            break;
        }
        if (n == 0) break;
        if (!OfferChunk(r.stream.sink, buf.data(), static_cast<std::size_t>(n))) {
            ReportRefused(r.log, what);
            result = REPLAY_FAILED;
            break;
        }
    }
    if (result == REPLAY_DONE && r.canceled.load()) result = REPLAY_CANCELED;
    return result;
}

// Sends `count` bytes of the spool at `offset`: one spooled page.
ReplayResult ReplayRange(const SpoolReplay &r, int fd, int64_t offset, int64_t count,
                         const char *what) {
    std::vector<uint8_t> buf(kManualDuplexChunk);
    while (count > 0) {
        const auto want = static_cast<std::size_t>(std::min<int64_t>(count, buf.size()));
        const ssize_t n = pread(fd, buf.data(), want, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            std::fprintf(r.log, "ERROR: Unable to read the %s: %s\n", what,
                         n == 0 ? "file shorter than spooled" : std::strerror(errno));
            return REPLAY_FAILED;
        }
        if (!OfferChunk(r.stream.sink, buf.data(), static_cast<std::size_t>(n))) {
            ReportRefused(r.log, what);
            return REPLAY_FAILED;
        }
        offset += n;
        count -= n;
    }
    return REPLAY_DONE;
}

// The even pages from the last one down to page 2, each located by the byte counts the
// sink kept for it. Only as many entries as the counter table holds are read.
ReplayResult ReplayEvenPagesBackwards(const SpoolReplay &r) {
    OutputSink &sink = r.stream.sink;
    const int fd = sink.SpoolFd(Spool::EvenPages);
    if (fd < 0 || r.pages < 2) return REPLAY_DONE;
    const std::vector<int64_t> &counts = sink.PageBytes(Spool::EvenPages);
    const std::size_t pages = std::min(static_cast<std::size_t>(r.pages / 2), counts.size());
    std::vector<int64_t> offsets(pages, 0);
    for (std::size_t k = 1; k < pages; ++k)
        offsets[k] = offsets[k - 1] + counts[k - 1];
    for (std::size_t k = pages; k-- > 0;) {
        const ReplayResult res = ReplayRange(r, fd, offsets[k], counts[k], "even-page spool");
        if (res != REPLAY_DONE) return res;
    }
    return REPLAY_DONE;
}

// Replays a whole spool `times` times; stops at the first copy that did not finish.
ReplayResult ReplayFileTimes(const SpoolReplay &r, Spool spool, unsigned times, std::size_t chunk,
                             const char *what) {
    for (unsigned i = 0; i < times; ++i) {
        if (r.canceled.load()) return REPLAY_CANCELED;
        const ReplayResult res = ReplayFile(r, r.stream.sink.SpoolFd(spool), chunk, what);
        if (res != REPLAY_DONE) return res;
    }
    return REPLAY_DONE;
}

void SendManualDuplexCommand(const SpoolReplay &r) {
    if (!SendManualDuplexCmd(r.stream)) {
        r.stream.error.Prepend("ReplayManualDuplex() :: Send manual duplex command Fail ! \n");
        std::fputs(r.stream.error.c_str(), r.log);
    }
}
} // namespace

bool OpenCollateSpool(OutputSink &sink, std::FILE *log, bool collate, unsigned numCopies) {
    if (!collate || numCopies <= 1 || sink.IsOpen(Spool::Collate)) return true;
    std::string name;
    if (!sink.OpenSpool(Spool::Collate, name)) {
        std::fprintf(log, "ERROR: Unable to create the collate spool file: %s\n",
                     std::strerror(errno));
        CloseAndRemoveSpools(sink);
        return false;
    }
    return true;
}

bool OpenManualDuplexSpools(OutputSink &sink, std::FILE *log, bool manualDuplex) {
    if (!manualDuplex) return true;
    sink.SetDeviceOutput(false);
    for (Spool spool : {Spool::OddPages, Spool::EvenPages}) {
        std::string name;
        if (!sink.OpenSpool(spool, name)) {
            std::fprintf(log, "%s file open fail\n", name.c_str());
            CloseAndRemoveSpools(sink);
            return false;
        }
    }
    return true;
}

void SetManualDuplexDestination(OutputSink &sink, bool manualDuplex, int page,
                                bool evenSidesFirst) {
    if (!manualDuplex) return;
    const bool even = page % 2 == 0;
    sink.SetDeviceOutput(evenSidesFirst ? even : !even);
}

// The first copy printed during the pass; each page was announced with one copy.
int ReplayCollateCopies(const SpoolReplay &r, unsigned iCopies) {
    OutputSink &sink = r.stream.sink;
    if (r.canceled.load() || !sink.IsOpen(Spool::Collate)) {
        sink.RemoveSpool(Spool::Collate);
        return r.canceled.load() ? 0 : 1;
    }
    sink.SetDeviceOutput(true);
    const unsigned more = iCopies > 1 ? iCopies - 1 : 0;
    const ReplayResult res =
        ReplayFileTimes(r, Spool::Collate, more, kCollateChunk, "collate spool");
    sink.RemoveSpool(Spool::Collate);
    return res == REPLAY_DONE ? 1 : 0;
}

// Most models print odd pages during the pass: the remaining odd copies, the command,
// then per copy a blank page for an odd count and the even pages last to first (the
// turned stack comes back face down). The groups that print even sides first print even
// pages during the pass (the blank page of an odd count among them): the remaining even
// copies, the command, then the odd spool once per copy. Their single-page job prints only
// at job end, from the tray of its page-start record (the dialect patches the spooled page
// start) and without the command.
int ReplayManualDuplex(const SpoolReplay &r, bool collate, unsigned iCopies, uint16_t tray,
                       const BlankPageFn &insertBlankPage) {
    if (r.canceled.load()) return 0;
    OutputSink &sink = r.stream.sink;
    const JobSettings &job = r.stream.settings;
    std::fprintf(r.log, "INFO:%s\n", job.manualDuplexMessage.c_str());
    const unsigned nCopies = collate && iCopies > 1 ? iCopies : 1;
    sink.SetDeviceOutput(true);
    // The collate spool of a manual-duplex job is never replayed: the copies come from here.
    sink.RemoveSpool(Spool::Collate);

    ReplayResult res = REPLAY_DONE;
    if (!TraitsOf(job.group).evenSidesFirst) {
        res =
            ReplayFileTimes(r, Spool::OddPages, nCopies - 1, kManualDuplexChunk, "odd-page spool");
        sink.RemoveSpool(Spool::OddPages);
        if (res != REPLAY_FAILED) {
            SendManualDuplexCommand(r);
            for (unsigned copy = 0; copy < nCopies; ++copy) {
                if (r.pages % 2 != 0 && insertBlankPage) insertBlankPage();
                const ReplayResult even = ReplayEvenPagesBackwards(r);
                if (even != REPLAY_DONE) {
                    res = even;
                    break;
                }
            }
        }
        sink.RemoveSpool(Spool::EvenPages);
    } else {
        const bool singlePage = r.pages == 1;
        if (singlePage && sink.IsOpen(Spool::OddPages))
            r.dialect.PatchSpooledTray(sink.SpoolFd(Spool::OddPages), tray);
        res = ReplayFileTimes(r, Spool::EvenPages, nCopies - 1, kManualDuplexChunk,
                              "even-page spool");
        sink.RemoveSpool(Spool::EvenPages);
        if (res != REPLAY_FAILED) {
            if (!singlePage) SendManualDuplexCommand(r);
            const ReplayResult odd =
                ReplayFileTimes(r, Spool::OddPages, nCopies, kManualDuplexChunk, "odd-page spool");
            if (odd != REPLAY_DONE) res = odd;
        }
        sink.RemoveSpool(Spool::OddPages);
    }
    return res == REPLAY_DONE ? 1 : 0;
}

void CloseAndRemoveSpools(OutputSink &sink) {
    for (Spool spool : {Spool::Collate, Spool::OddPages, Spool::EvenPages})
        sink.RemoveSpool(spool);
    sink.SetDeviceOutput(true);
}
