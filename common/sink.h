// The output sink: every byte of the printer command stream leaves through
// SendDataToFile, which writes it to standard output (and the device-stream copy) while
// output to the device is on, and appends page-level items to the open spool files.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <vector>

#include <sys/types.h>

// Bytes spooled per page into the manual-duplex spools: odd page p counts at index
// p / 2 of gOddNumberCacheSize, even page p at index p / 2 - 1 of gEvenNumberCacheSize.
// Both start with 1024 entries (pages 1 to 2048) and grow for longer jobs.
extern std::vector<int64_t> gOddNumberCacheSize;
extern std::vector<int64_t> gEvenNumberCacheSize;

// Set to 1 once a write to standard output failed with EPIPE: the reader of the job
// stream is gone and the job loop should stop the job.
extern volatile sig_atomic_t gStdoutBroken;

// Set to 1 once a write to a spool file failed (a full or unwritable temporary directory):
// the spools no longer hold the whole job and are not written again; the job end must not
// replay them and the job ends with exit code 1.
extern int gSpoolWriteFailed;

// Sends `count` bytes. Writes them to standard output and the device-stream copy when
// gSendDataToDevice is 1, and, when bCache is 1, to the collate spool and to the
// manual-duplex spool of the current page's parity. Returns 1 when at least one write was
// made and every write made succeeded; 0 otherwise (a failed write to standard output is
// a failed send whatever follows it), with a message in front of prntLastError.
// Two failures do not fail a send that reached standard output, so that the printer's
// stream stays whole: a failed write to the device-stream copy (the copy is then dropped)
// and a failed spool write (gSpoolWriteFailed is set instead).
int SendDataToFile(const void *pData, int count, int bCache);

// Test seam: the write function the sink uses for every descriptor (::write in
// production). Tests may point it at a function that fails on a chosen call.
using SinkWriteFn = ssize_t (*)(int fd, const void *buf, std::size_t count);
extern SinkWriteFn gSinkWrite;
