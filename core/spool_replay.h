// Collated copies and manual duplex: while the pages are rendered the sink appends the
// page-level command stream to spool files; at job end they are replayed from here.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>

#include "prnt/dialect.h"
#include "prnt/prnt.h"

constexpr std::size_t kCollateChunk = 32768;
constexpr std::size_t kManualDuplexChunk = 4096;
constexpr int kMaxChunkOffers = 3; // offers of one chunk to a sink that refuses it

// What a replay works with: the job's command stream (its sink and settings), the number of
// pages printed, the cancel flag, and where its messages go.
struct SpoolReplay {
    PrntStream &stream;
    const Dialect &dialect; // the job's dialect: it patches the tray of a spooled page
    const std::atomic<bool> &canceled;
    std::FILE *log;
    int pages;
};

// Creates the collate spool when `collate` is set and `numCopies` above 1. False when it cannot
// be created (an "ERROR:" line says so); the job stops.
bool OpenCollateSpool(OutputSink &sink, std::FILE *log, bool collate, unsigned numCopies);

// For a manual-duplex job (`manualDuplex`): turns device output off and creates the odd-page,
// then the even-page spool. False after a line "<name> file open fail" naming the spool that
// could not be created; every spool already made is removed again and the job stops.
bool OpenManualDuplexSpools(OutputSink &sink, std::FILE *log, bool manualDuplex);

// Chooses whether page `page` of a manual-duplex job prints during the pass: the even pages
// where the group prints even sides first, else the odd pages. No change outside manual duplex.
void SetManualDuplexDestination(OutputSink &sink, bool manualDuplex, int page, bool evenSidesFirst);

// Sends the collate spool iCopies - 1 more times, 32768 bytes at a time, then removes it.
// Returns 1 when every copy was sent, 0 when the replay stopped (cancelled, unreadable spool,
// or a chunk the output refused kMaxChunkOffers times).
int ReplayCollateCopies(const SpoolReplay &r, unsigned iCopies);

// Called to send one blank page during the manual-duplex replay.
using BlankPageFn = std::function<void()>;

// The second part of a manual-duplex job: the "INFO:" line with the manual-duplex message,
// the remaining copies of the first side, the manual-duplex command, and the other side, in
// the order of the model group (see spool_replay.cpp). `collate` and `iCopies` give the number
// of copies; `tray` is the page-start tray, written into the spooled page of a one-page QV
// job. Removes the spools. Returns 1 when everything was sent, 0 when a replay stopped early.
int ReplayManualDuplex(const SpoolReplay &r, bool collate, unsigned iCopies, uint16_t tray,
                       const BlankPageFn &insertBlankPage);

// Removes every spool still open and turns device output back on so the job end reaches the
// printer. Safe to call more than once and with no spool open.
void CloseAndRemoveSpools(OutputSink &sink);
