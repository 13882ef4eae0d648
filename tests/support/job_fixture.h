// Test doubles for the driver core: a printer stream held in memory (with a write that can be
// made to fail), spool files in a test directory, and job settings for a model group and
// dialect as the filter would resolve them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/job_settings.h"
#include "common/sink.h"

// The printer stream in memory. `failAt` makes the n-th write (1-based) and the `failCount` - 1
// writes after it fail with `failErrno` (0: no failure); every write is counted, failed ones
// included.
class MemoryWriter : public StreamWriter {
  public:
    int Write(const uint8_t *data, std::size_t count) override;
    void SetBetweenCommands(bool between) override { betweenCommands = between; }

    std::string bytes;               // everything written
    std::vector<std::size_t> writes; // size of each write (0 for a failed one)
    int failAt = 0;
    int failCount = 1;
    int failErrno = 5;           // EIO
    bool failFromThenOn = false; // every write from failAt on fails
    bool betweenCommands = true;
};

// Spool files made with mkstemp in `dir` (a test's temporary directory); `failOn` makes the
// n-th creation (1-based) fail with ENOSPC, `fullOn` makes it give a descriptor on /dev/full
// (a spool every write to which fails with ENOSPC, as on a full disk). Remove deletes the file.
class TestSpoolFiles : public SpoolFiles {
  public:
    explicit TestSpoolFiles(std::string dir) : dir_(std::move(dir)) {}
    int Create(std::string &name) override;
    void Remove(int fd) override;
    int failOn = 0;
    int fullOn = 0;
    int created = 0;
    int removed = 0;

  private:
    std::string dir_;
    std::vector<std::pair<int, std::string>> open_;
};

// A log (the job's status lines) held in memory.
class LogCapture {
  public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;
    std::FILE *file() const { return file_; }
    std::string Text(); // everything written so far

  private:
    std::FILE *file_ = nullptr;
    char *buf_ = nullptr;
    std::size_t size_ = 0;
};

// Settings of a job on `platform` for a model of `group`, with the filter's defaults: the
// paper table of the dialect, 600 dpi, 1 bit, default option table, a fixed job time and
// identity (job 1, user "tester", title "test job", host "testhost").
JobSettings TestSettings(int platform, ModelGroup group = ModelGroup::Plain);

// Everything in the file behind `fd`, read from its start without moving its offset.
std::string FdContents(int fd);
