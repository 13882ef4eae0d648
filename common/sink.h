// The output sink of one job: every byte of the printer command stream leaves through Send,
// which writes it to the printer stream (and the device-stream copy) while output to the
// device is on, and appends page-level items to the open spool files. The sink owns these
// destinations and their states; when to spool, replay or switch the device output off is
// the job's decision.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class ErrorText;

// Where the printer stream goes: the filter's standard output, a Printer Application's device.
class StreamWriter {
  public:
    virtual ~StreamWriter() = default;
    // Writes all `count` bytes; returns 0, or the errno value of the failure (EPIPE when the
    // reader of the stream is gone).
    virtual int Write(const uint8_t *data, std::size_t count) = 0;
    // True between commands, while the job waits for input: a writer that keeps an idle
    // connection open may put its keep-alive bytes in then, never while a command is written.
    virtual void SetBetweenCommands(bool /*between*/) {}
};

// Where a job's spool files are made: the filter's are temporary files of the spooler.
class SpoolFiles {
  public:
    virtual ~SpoolFiles() = default;
    // Creates an empty file open for reading and writing; returns its descriptor, or -1 with
    // errno set. `name` receives the file's name (empty when it has none).
    virtual int Create(std::string &name) = 0;
    // Closes the descriptor and deletes its file.
    virtual void Remove(int fd) = 0;
};

enum class Spool { Collate = 0, OddPages = 1, EvenPages = 2 };

class OutputSink {
  public:
    OutputSink(StreamWriter &printer, ErrorText &error, SpoolFiles *spoolFiles = nullptr);
    ~OutputSink();
    OutputSink(const OutputSink &) = delete;
    OutputSink &operator=(const OutputSink &) = delete;

    // Sends `count` bytes. Writes them to the printer and the device-stream copy while device
    // output is on, and, when bCache is 1, to the collate spool and to the manual-duplex spool
    // of the current page's parity. Returns 1 when at least one write was made and every write
    // made succeeded; 0 otherwise (a failed write to the printer fails the send whatever
    // follows it), with a message in front of the job's error text. Two failures do not fail
    // a send that reached the printer, so that its stream stays whole: a failed write to the
    // device-stream copy (the copy is then dropped) and a failed spool write (the spools are
    // marked failed instead).
    int Send(const void *data, int count, int bCache);

    // The device-stream copy: a descriptor that receives everything the printer receives.
    // The sink closes it.
    void SetDeviceCopy(int fd);
    // The page whose items are spooled from now on (its parity picks the manual-duplex spool).
    void SetPage(int page) { page_ = page; }
    // Device output on or off (off while a manual-duplex pass spools the other side).
    void SetDeviceOutput(bool on) { deviceOutput_ = on; }
    bool DeviceOutput() const { return deviceOutput_; }
    // Tells the printer writer whether the stream is between commands.
    void SetBetweenCommands(bool between) { printer_.SetBetweenCommands(between); }

    // Creates a spool; false when it cannot be created (errno says why, `name` the file name
    // as far as it was chosen). Opening an open spool does nothing.
    bool OpenSpool(Spool spool, std::string &name);
    bool IsOpen(Spool spool) const { return spools_[Index(spool)] >= 0; }
    int SpoolFd(Spool spool) const { return spools_[Index(spool)]; }
    // Closes and deletes a spool; nothing when it is not open.
    void RemoveSpool(Spool spool);
    // Bytes spooled per page of one parity: odd page p at index p / 2, even page p at
    // p / 2 - 1. Reset when the manual-duplex spools are opened.
    const std::vector<int64_t> &PageBytes(Spool spool) const {
        return spool == Spool::EvenPages ? evenPageBytes_ : oddPageBytes_;
    }

    // The reader of the printer stream is gone (a write failed with EPIPE): the job stops.
    bool OutputBroken() const { return outputBroken_; }
    // A spool write failed (a full or unwritable temporary directory): the spools no longer
    // hold the whole job, are not written again and must not be replayed.
    bool SpoolWriteFailed() const { return spoolWriteFailed_; }

  private:
    static int Index(Spool s) { return static_cast<int>(s); }
    void ReportWriteFailure(const char *what, int err);

    StreamWriter &printer_;
    ErrorText &error_;
    SpoolFiles *spoolFiles_;
    int deviceCopy_ = -1;
    int spools_[3] = {-1, -1, -1};
    std::vector<int64_t> oddPageBytes_ = std::vector<int64_t>(1024, 0);
    std::vector<int64_t> evenPageBytes_ = std::vector<int64_t>(1024, 0);
    int page_ = 0;
    bool deviceOutput_ = true;
    bool outputBroken_ = false;
    bool spoolWriteFailed_ = false;
};

// Writes all `count` bytes to `fd`, resuming after partial writes and interruptions. Returns
// 0 on success, else the errno value.
int WriteAllToFd(int fd, const uint8_t *data, std::size_t count);
