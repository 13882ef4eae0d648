// Job-wide state shared by every layer of the filter. Declared once here so that the
// command stream, the imaging code and the sink can read it without reaching up into
// the job loop. The job loop (filter/) is the only writer of most of it.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>

// Command dialects.
enum : int { PLATFORM_NONE = 0, PLATFORM_C = 1, PLATFORM_Z = 2, PLATFORM_M = 3 };

constexpr int kModelNameSize = 1024;
constexpr int kLastErrorSize = 1024;

extern char gPPDFile[kModelNameSize]; // the PPD's model name
extern int g_page;                    // number of the page being processed (1-based)
extern volatile sig_atomic_t Canceled;       // set by the SIGTERM handler only
extern volatile sig_atomic_t g_ismiddlepage; // 1 while a command is being written
extern int BlankSuppressflag;
extern bool is1200dpi;
extern int Color_bit; // 1 or 2 bits per pixel for the QV and Mirodel models
extern int iSupportManDuplex;
extern int IsManDuplex;

// Output switches and spool descriptors of the sink (0 = none).
extern int gSendDataToDevice;
extern int gTempDataFile;
extern int gCollateFile;
extern int gManualDuplexOddFile;
extern int gManualDuplexEvenFile;

extern uint64_t gImageCoverage; // toner dots of the current page
extern uint64_t gImageChecksum; // image checksum of the last band coded (0-255)
extern unsigned char *gpCompImgData; // collector of the coded bytes of one band
extern int gJbigCompressDataLen;     // bytes collected in gpCompImgData
extern size_t gCompImgDataCap;       // capacity of gpCompImgData (malloc'd, may grow)

extern char prntLastError[kLastErrorSize]; // newest message first
