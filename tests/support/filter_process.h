// Runs the real filter binary with a pipe on its standard input, so that a test can feed the
// raster stream at its own pace and signal the filter while it runs (cancellation tests).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/filter_runner.h"

class FilterProcess {
  public:
    // Starts the filter as RunFilterProcess does (same environment rules). Standard input is
    // `call.stdinFile` when given, else a pipe whose write end this object holds. With
    // `pipeOutput` standard output is a pipe too, read only when the test asks (ReadOut),
    // so that the filter blocks on its writes: a printer that takes data slowly.
    explicit FilterProcess(const FilterCall &call, bool pipeOutput = false);
    // Closes the pipe; a filter still running is killed (SIGKILL) and reaped.
    ~FilterProcess();
    FilterProcess(const FilterProcess &) = delete;
    FilterProcess &operator=(const FilterProcess &) = delete;

    pid_t pid() const { return pid_; }

    // Writes all bytes to the filter's standard input (blocks while the pipe is full);
    // false when the pipe is closed or the filter stopped reading for good.
    bool Write(const std::string &bytes);
    // Closes the filter's standard input: end of the raster stream.
    void CloseStdin();
    // Sends a signal to the filter.
    bool Signal(int sig);

    // Waits until the filter has installed a handler for `sig` (its /proc status lists it
    // as caught), so that a signal sent afterwards reaches the handler, not the default.
    bool WaitUntilCatching(int sig, std::chrono::milliseconds timeout);
    // Waits until the filter has read everything written to its standard input.
    bool WaitUntilInputDrained(std::chrono::milliseconds timeout);
    // Waits until standard error contains `needle`.
    bool WaitForErr(const std::string &needle, std::chrono::milliseconds timeout);
    // Waits until standard output is non-empty and has not grown for `quiet`.
    bool WaitForOutQuiet(std::chrono::milliseconds quiet, std::chrono::milliseconds timeout);
    // Piped output: reads until `bytes` more bytes arrived, the output ended or the timeout
    // passed; returns the number of bytes read.
    size_t ReadOut(size_t bytes, std::chrono::milliseconds timeout);
    // Process ids of the filter's direct children (e.g. the PDF converter).
    std::vector<pid_t> Children() const;

    // What the filter wrote so far.
    std::string Out() const;
    std::string Err() const;

    // Closes standard input, waits for the filter to exit (killing it after `timeout`) and
    // returns its exit code and output.
    FilterRun Finish(std::chrono::milliseconds timeout = std::chrono::seconds(60));

  private:
    std::unique_ptr<TempDir> capture_;
    std::string outPath_, errPath_;
    pid_t pid_ = -1;
    int stdinFd_ = -1;
    int outFd_ = -1;      // read end of piped output, -1 when output goes to a file
    std::string outData_; // piped output read so far
    bool reaped_ = false;
    int status_ = 0;
};
