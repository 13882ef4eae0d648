// Temporary files of the filter: created in the spooler's temporary directory and kept in
// a small registry, so that every way out of the filter (normal end, error exit,
// cancellation) can remove whatever is still there.
//
// Cleanup contract for the job loop:
//   - normal end and error exits: RemoveRegisteredTempFiles() in the cleanup; it is also
//     installed with atexit() on the first registration, so exit() paths are covered;
//   - SIGTERM: CancelJob only sets Canceled and the job loop then runs its cleanup, which
//     removes the files; a handler that must end the process at once (for instance on a
//     second SIGTERM) calls RemoveRegisteredTempFilesFromSignal() before _exit().
#pragma once

#include <cstddef>

constexpr int kMaxTempFiles = 16;          // registry slots
constexpr std::size_t kTempPathSize = 512; // longest registered path, terminator included

// Remembers `path` for removal at exit. False when the path is empty or too long or the
// registry is full (the caller still owns the file and must remove it itself).
bool RegisterTempFile(const char *path);
// True when `path` is a registered temporary file of this process.
bool IsRegisteredTempFile(const char *path);
// Forgets `path` without removing the file.
void UnregisterTempFile(const char *path);
// Removes `path` and forgets it. True when the file is gone afterwards.
bool RemoveTempFile(const char *path);
// Removes every registered file and empties the registry.
void RemoveRegisteredTempFiles();
// The same for a signal handler: only unlink(2) on fixed buffers, no locks, no allocation.
void RemoveRegisteredTempFilesFromSignal();

// Creates a uniquely named file in the spooler's temporary directory (cupsTempFd) and
// registers it. Returns the open descriptor and writes the name into `name`, or -1.
int CreateTempFile(char *name, int size);
