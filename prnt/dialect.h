// A command dialect: everything one dialect sends (job start, page start, page data, page end,
// job end, the manual-duplex command) and the rules the job core follows for it (paper codes,
// feed edge, two-sided printing, the tray patch of a replayed page). One file per dialect:
// dialect_c.cpp, dialect_z.cpp, dialect_m.cpp (C and Z share their short frames in
// short_frames.cpp). A dialect is a constant without state: the job picks it once with
// JobDialect and asks it from then on.
#pragma once

#include <cstddef>

#include "prnt/prnt.h"

#include <cstdint>

// How a dialect prints two-sided jobs.
enum class TwoSided : uint8_t {
    ByPrinter, // the printer turns the sheet (machine duplex)
    ByHand,    // in two passes where the model has manual duplex (the stack is turned by hand)
    Never,     // no duplex command: a two-sided request prints one-sided
};

// The page rules of a dialect the page plan follows.
struct DialectRules {
    uint16_t customPaperCode;  // paper code of a custom page size
    uint16_t resolutionUnit;   // the page start gives resolutions in units of this many dpi
    bool prints1200Raster;     // a 1200-dpi page header prints at 1200 dpi (else only where the
                               // colour library halftones)
    bool anyTrayForMediaType1; // media type 1 takes the chosen tray (others use tray 1)
    int longEdgePaper;         // the paper code FeedLongEdge feeds long edge first (-1: none)
    TwoSided twoSided;
    bool stripedImage; // the page-data record carries the page width and the JBIG stripe height
    bool keepAlive;    // the printer drops a silent connection: zero pairs keep it open
};

class Dialect {
  public:
    constexpr explicit Dialect(const DialectRules &r) : rules(r) {}
    Dialect(const Dialect &) = delete;
    Dialect &operator=(const Dialect &) = delete;

    const DialectRules rules;

    // The operations return 1 when everything was sent, 0 when a step failed (its message then
    // stands in front of the job's error text).
    // Opens the job: PJL header and settings, then the job-level commands.
    virtual int StartDoc(PrntStream &s, const GDI_START_DOC_PARAM &startDoc) const = 0;
    // Announces one page (paper, media, resolution, tray, copies, margins).
    virtual int StartPage(PrntStream &s, const GDI_START_PAGE_PARAM &startPage) const = 0;
    // Compresses the page bitmap and sends it framed; `blankPage` is the number of an inserted
    // blank page, else 0.
    virtual int SendPage(PrntStream &s, GDI_SEND_PAGE_PARAM &sendPage, int blankPage) const = 0;
    // Closes a page.
    virtual int EndPage(PrntStream &s, GDI_END_PAGE_PARAM &endPage) const = 0;
    // Closes the job.
    virtual int EndDoc(PrntStream &s, const GDI_END_DOC_PARAM &endDoc) const = 0;
    // The command between the two passes of a manual-duplex job.
    virtual int ManualDuplexCmd(PrntStream &s) const = 0;

    // The paper code of a page fed long edge first; `groupCodes`: the model group has long-edge
    // codes of its own for the standard sizes.
    virtual uint16_t LongEdgePaperCode(uint16_t code, bool groupCodes) const;
    // Sets the tray of the first page start in a spool of pages (the manual-duplex replay of a
    // one-page job prints it from the job's tray). True when the page start was rewritten.
    virtual bool PatchSpooledTray(int fd, uint16_t tray) const;

  protected:
    constexpr ~Dialect() = default; // the dialects are constants, never deleted through a base
};

// Room for one dialect object: its vtable pointer and its rules.
constexpr std::size_t kDialectBytes = 48;

// The dialects themselves (dialect_c.cpp, dialect_z.cpp, dialect_m.cpp), built in `storage`
// (kDialectBytes, aligned for a Dialect).
const Dialect *PlaceDialectC(void *storage);
const Dialect *PlaceDialectZ(void *storage);
const Dialect *PlaceDialectM(void *storage);

// The dialect of a platform number (1 C, 2 Z, 3 M; any other number gives a dialect whose
// operations send nothing and fail), held by value: a job keeps its own, nothing of it lives in
// static storage, and building one allocates nothing.
class JobDialect {
  public:
    explicit JobDialect(int platform);
    JobDialect(const JobDialect &other) : JobDialect(other.platform_) {}
    JobDialect &operator=(const JobDialect &) = delete;
    const Dialect &operator*() const { return *dialect_; }
    const Dialect *operator->() const { return dialect_; }

  private:
    alignas(Dialect) unsigned char storage_[kDialectBytes];
    int platform_;
    const Dialect *dialect_;
};

// The tray patch of dialects C and Z: sets the tray byte of the first page specification frame
// in the first 1024 bytes of the spool open at `fd` to the low byte of `mediasource`, keeping
// the frame's checksum valid. True when the frame was found and rewritten.
bool EditMediaSource(int fd, uint16_t mediasource);
