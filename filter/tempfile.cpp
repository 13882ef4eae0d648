#include "filter/tempfile.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <cups/cups.h>
#include <unistd.h>

namespace {
// One registry slot. `used` is written last on registration and first on removal, so a
// signal handler that sees it set always finds a whole path.
struct TempSlot {
    char path[kTempPathSize];
    volatile sig_atomic_t used;
};

TempSlot gTempSlots[kMaxTempFiles];
bool gAtExitInstalled = false;

TempSlot *FindSlot(const char *path) {
    for (TempSlot &slot : gTempSlots)
        if (slot.used && std::strcmp(slot.path, path) == 0) return &slot;
    return nullptr;
}
} // namespace

// Registration copies the path into a free slot and arms the atexit cleanup once.
bool RegisterTempFile(const char *path) {
    if (path == nullptr || path[0] == '\0') return false;
    if (std::strlen(path) >= kTempPathSize) return false;
    if (FindSlot(path) != nullptr) return true;
    for (TempSlot &slot : gTempSlots) {
        if (slot.used) continue;
        std::memcpy(slot.path, path, std::strlen(path) + 1);
        std::atomic_signal_fence(std::memory_order_seq_cst);
        slot.used = 1;
        if (!gAtExitInstalled) gAtExitInstalled = std::atexit(RemoveRegisteredTempFiles) == 0;
        return true;
    }
    return false;
}

bool IsRegisteredTempFile(const char *path) {
    return path != nullptr && FindSlot(path) != nullptr;
}

void UnregisterTempFile(const char *path) {
    if (path == nullptr) return;
    if (TempSlot *slot = FindSlot(path)) slot->used = 0;
}

bool RemoveTempFile(const char *path) {
    if (path == nullptr || path[0] == '\0') return false;
    UnregisterTempFile(path);
    return unlink(path) == 0 || access(path, F_OK) != 0;
}

void RemoveRegisteredTempFiles() {
    for (TempSlot &slot : gTempSlots) {
        if (!slot.used) continue;
        slot.used = 0;
        std::atomic_signal_fence(std::memory_order_seq_cst);
        unlink(slot.path);
    }
}

void RemoveRegisteredTempFilesFromSignal() {
    for (TempSlot &slot : gTempSlots) {
        if (!slot.used) continue;
        unlink(slot.path);
        slot.used = 0;
    }
}

int CreateTempFile(char *name, int size) {
    if (name == nullptr || size <= 0) return -1;
    const int fd = cupsTempFd(name, size);
    if (fd < 0) return -1;
    RegisterTempFile(name);
    return fd;
}
