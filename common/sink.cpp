#include "common/sink.h"

#include "common/last_error.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <unistd.h>

int WriteAllToFd(int fd, const uint8_t *data, std::size_t count) {
    while (count > 0) {
        const ssize_t n = ::write(fd, data, count);
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

namespace {
// Adds `count` to entry `index` of a per-page counter, growing the counter as needed.
void AddPageCount(std::vector<int64_t> &counts, int index, int count) {
    if (index < 0) return;
    const auto i = static_cast<std::size_t>(index);
    if (i >= counts.size()) counts.resize(i + 1, 0);
    counts[i] += count;
}
} // namespace

OutputSink::OutputSink(StreamWriter &printer, ErrorText &error, SpoolFiles *spoolFiles)
    : printer_(printer), error_(error), spoolFiles_(spoolFiles) {}

OutputSink::~OutputSink() {
    for (Spool s : {Spool::Collate, Spool::OddPages, Spool::EvenPages})
        RemoveSpool(s);
    if (deviceCopy_ >= 0) close(deviceCopy_);
}

void OutputSink::SetDeviceCopy(int fd) {
    if (deviceCopy_ >= 0) close(deviceCopy_);
    deviceCopy_ = fd;
}

// Records a failed write to `what` in front of the job's error text.
void OutputSink::ReportWriteFailure(const char *what, int err) {
    char msg[160];
    std::snprintf(msg, sizeof msg, "SendDataToFile() :: write to %s Fail: %s\n", what,
                  std::strerror(err));
    error_.Prepend(msg);
}

bool OutputSink::OpenSpool(Spool spool, std::string &name) {
    name.clear();
    if (IsOpen(spool)) return true;
    if (spoolFiles_ == nullptr) {
        errno = ENOSYS;
        return false;
    }
    const int fd = spoolFiles_->Create(name);
    if (fd < 0) return false;
    spools_[Index(spool)] = fd;
    if (spool == Spool::OddPages) oddPageBytes_.assign(1024, 0);
    if (spool == Spool::EvenPages) evenPageBytes_.assign(1024, 0);
    return true;
}

void OutputSink::RemoveSpool(Spool spool) {
    int &fd = spools_[Index(spool)];
    if (fd < 0) return;
    if (spoolFiles_ != nullptr)
        spoolFiles_->Remove(fd);
    else
        close(fd);
    fd = -1;
}

int OutputSink::Send(const void *data, int count, int bCache) {
    printer_.SetBetweenCommands(false);
    if (data == nullptr) {
        error_.Set("SendDataToFile() :: NULL == pData\n");
        return 0;
    }
    if (count <= 0) {
        error_.Prepend("SendDataToFile() :: nothing to send\n");
        return 0;
    }
    const auto *bytes = static_cast<const uint8_t *>(data);
    const auto n = static_cast<std::size_t>(count);
    bool wrote = false;
    bool ok = true;

    if (deviceOutput_) {
        wrote = true;
        if (const int err = printer_.Write(bytes, n); err != 0) {
            if (err == EPIPE) outputBroken_ = true;
            ReportWriteFailure("standard output", err);
            ok = false;
        } else if (deviceCopy_ >= 0) {
            // The device-stream copy mirrors only what reached the printer. Nobody reads it
            // back, so a full disk drops the copy instead of failing the printer's stream.
            if (const int e = WriteAllToFd(deviceCopy_, bytes, n); e != 0) {
                ReportWriteFailure("device-stream copy (no longer kept)", e);
                close(deviceCopy_);
                deviceCopy_ = -1;
            }
        }
    }
    // A spool write that fails leaves the spools incomplete: they are not written again and
    // not replayed. The send fails only when the data went nowhere else.
    const bool spoolFailureFails = !deviceOutput_;
    auto spoolFailed = [&](const char *what, int e) {
        ReportWriteFailure(what, e);
        spoolWriteFailed_ = true;
        if (spoolFailureFails) ok = false;
    };
    if (bCache == 1 && spoolWriteFailed_) {
        if (spoolFailureFails) {
            wrote = true;
            ok = false;
        }
    } else if (bCache == 1) {
        if (const int fd = SpoolFd(Spool::Collate); fd >= 0) {
            wrote = true;
            if (const int e = WriteAllToFd(fd, bytes, n); e != 0) spoolFailed("collate spool", e);
        }
        if (const int fd = SpoolFd(Spool::OddPages); fd >= 0 && page_ % 2 != 0) {
            wrote = true;
            if (const int e = WriteAllToFd(fd, bytes, n); e != 0)
                spoolFailed("odd-page spool", e);
            else
                AddPageCount(oddPageBytes_, page_ / 2, count);
        }
        if (const int fd = SpoolFd(Spool::EvenPages); fd >= 0 && page_ % 2 == 0) {
            wrote = true;
            if (const int e = WriteAllToFd(fd, bytes, n); e != 0)
                spoolFailed("even-page spool", e);
            else
                AddPageCount(evenPageBytes_, page_ / 2 - 1, count);
        }
    }
    if (!wrote) {
        error_.Prepend("SendDataToFile() :: no destination for the data\n");
        return 0;
    }
    return ok ? 1 : 0;
}
