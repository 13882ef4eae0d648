// Collated copies and manual duplex: the page-level command stream is spooled into
// temporary files while the pages are rendered (the sink appends every cached item to the
// open spools) and replayed at job end.
//
// Job loop use:
//   job start (first page, after Prnt_StartDoc):
//       if (!OpenCollateSpool(COLLATE slot, header.NumCopies)) exit 1;
//       if (!OpenManualDuplexSpools(MANUALDUPLEX slot)) exit 1;
//   every page, before it is processed:
//       SetManualDuplexDestination(MANUALDUPLEX slot, g_page, IsQVModel(gPPDFile));
//   job end, after the blank back sides, with g_ismiddlepage = 1:
//       if (COLLATE == 1 && iCopies > 1 && MANUALDUPLEX != 1) ReplayCollateCopies(iCopies);
//       if (MANUALDUPLEX == 1) ReplayManualDuplex(...);
//       CloseAndRemoveSpools();   // always, also for a cancelled job
// Both replays do nothing when Canceled is set on entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

constexpr int kSpoolNameSize = 255;
constexpr std::size_t kCollateChunk = 32768;
constexpr std::size_t kManualDuplexChunk = 4096;
constexpr int kMaxChunkOffers = 3; // offers of one chunk to a sink that refuses it

// Names that cupsTempFd chose for the three spools ("" when not open).
extern char collateTmpFile[kSpoolNameSize];
extern char manualOddTmpFile[kSpoolNameSize];
extern char manualEvenTmpFile[kSpoolNameSize];

// Creates the collate spool when `collate` is 1 and `numCopies` above 1 (gCollateFile).
// False when it cannot be created (an "ERROR:" line says so); the job loop exits 1.
bool OpenCollateSpool(int collate, unsigned numCopies);

// For a manual-duplex job (`manualDuplex` 1): turns device output off and creates the
// odd-page, then the even-page spool. False after writing "%s file open fail" with the name
// of the spool that could not be created; every spool already made is removed again and
// the job loop exits 1.
bool OpenManualDuplexSpools(int manualDuplex);

// Chooses whether page `page` of a manual-duplex job prints during the pass: the even pages
// for the QV models, the odd pages for the others. No change outside manual duplex.
void SetManualDuplexDestination(int manualDuplex, int page, bool qvModel);

// Sends the collate spool iCopies - 1 more times, 32768 bytes at a time, then closes and
// removes it. Returns 1 when every copy was sent, 0 when the replay stopped (cancelled,
// unreadable spool, or a chunk the output refused kMaxChunkOffers times).
int ReplayCollateCopies(unsigned iCopies);

// Called to send one blank page during the manual-duplex replay (InsertBlankPage with the
// job's header, page-start record and platform).
using BlankPageFn = std::function<void()>;

// The second part of a manual-duplex job: the "INFO:" line with the PPD's MDuplex text,
// the remaining copies of the first side, the manual-duplex command, and the other side,
// in the order of the model group (see spool.cpp). `collate` and `iCopies` give the number
// of copies; `tray` is the page-start tray, written into the spooled page of a one-page QV
// job. Closes and removes the spools. Returns 1 when everything was sent, 0 when a
// replay stopped early.
int ReplayManualDuplex(int platform, bool qvModel, int collate, unsigned iCopies,
                       const char *duplexMsg, uint16_t tray, const BlankPageFn &insertBlankPage);

// Closes and removes every spool still open, and turns device output back on so the job
// end reaches the printer. Safe to call more than once and with no spool open.
void CloseAndRemoveSpools();
