// Runs the real filter binary (or another built tool) as the spooler would: one process runner
// for every test that starts it, whether it runs the job in one go or feeds and reads the
// streams while the process runs, and the waits on what the process can be seen doing.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

// The whole content of a file ("" when it cannot be read), and a file written anew.
std::string ReadWholeFile(const std::string &path);
void WriteWholeFile(const std::string &path, const std::string &data);

// Names in a directory (empty when it cannot be listed).
std::vector<std::string> DirEntries(const std::string &path);

// A fresh temporary directory, removed with its contents by the destructor.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }
    std::vector<std::string> entries() const { return DirEntries(path_); }

  private:
    std::string path_;
};

struct FilterRun {
    int exitCode = -1;     // exit status, or 128 + signal
    bool timedOut = false; // still running at the deadline, then killed: a hang
    std::string out;       // the job stream (standard output)
    std::string err;       // status lines (standard error)
};

struct FilterCall {
    std::vector<std::string> args;          // argv[1..]; argv[0] is the binary
    std::map<std::string, std::string> env; // added to a clean environment (PATH, TMPDIR kept)
    std::string stdinFile;                  // file fed on standard input ("" = /dev/null)
    std::string binary;                     // "" = the built rastertoKelvra
};

// A timeout for FilterProcess that never passes.
inline constexpr std::chrono::milliseconds kNoTimeout{-1};

// How FilterProcess connects the standard streams; standard error always goes to a file.
struct ProcessStreams {
    enum Output {
        File,      // a file, read back by Out() and Finish()
        Pipe,      // a pipe read only when the test asks (ReadOut): a printer taking data slowly
        ClosedPipe // a pipe whose reader is gone before the process starts
    };
    bool pipeInput = false; // standard input is a pipe fed by Write (else FilterCall::stdinFile)
    Output output = File;
    int outputPipeSize = 0; // capacity of a piped output in bytes (F_SETPIPE_SZ); 0 = default
};

// One run of the binary. The test may feed standard input, read standard output, signal the
// process and wait for what it does; Finish collects the outcome.
class FilterProcess {
  public:
    // Starts the binary with the call's arguments, a clean environment plus the call's
    // variables (the colour library unloaded unless named) and the given streams.
    explicit FilterProcess(const FilterCall &call, const ProcessStreams &streams = {});
    // Closes the pipes; a process still running is killed (SIGKILL) and reaped.
    ~FilterProcess();
    FilterProcess(const FilterProcess &) = delete;
    FilterProcess &operator=(const FilterProcess &) = delete;

    pid_t pid() const { return pid_; }

    // Writes all bytes to the piped standard input (blocks while the pipe is full); false
    // when the process stopped reading for good.
    bool Write(const std::string &bytes);
    // Closes the piped standard input: end of the input stream.
    void CloseStdin();
    // Piped output: reads until `bytes` more bytes arrived, the output ended or the timeout
    // passed (kNoTimeout: no limit); returns the number of bytes read.
    size_t ReadOut(size_t bytes, std::chrono::milliseconds timeout);
    // Piped output: closes the reading end, as a printer connection that is lost.
    void CloseOut();
    // Sends a signal to the process.
    bool Signal(int sig);

    // Waits until the process has installed a handler for `sig` (its /proc status lists it
    // as caught), so that a signal sent afterwards reaches the handler, not the default.
    bool WaitUntilCatching(int sig, std::chrono::milliseconds timeout) const;
    // Waits until a signal sent to the process is no longer pending: its handler has taken it
    // (or the process has ended).
    bool WaitUntilDelivered(int sig, std::chrono::milliseconds timeout) const;
    // Waits until the process sleeps in system call `nr` (SYS_read, SYS_write, ...) whose
    // first argument is `arg0`: e.g. a read of standard input with nothing left to read, or a
    // write to an output pipe that is full.
    bool WaitUntilBlockedIn(long nr, long arg0, std::chrono::milliseconds timeout) const;
    // Waits until standard error contains `needle`.
    bool WaitForErr(const std::string &needle, std::chrono::milliseconds timeout) const;

    // Process ids of the process's direct children (e.g. the PDF converter).
    std::vector<pid_t> Children() const;
    // What the process wrote so far (piped output: what ReadOut took).
    std::string Out() const;
    std::string Err() const;

    // Closes standard input, reads a piped output to its end, waits for the exit (killing the
    // process after `timeout`, then `timedOut` is set; kNoTimeout: no limit) and returns the
    // outcome.
    FilterRun Finish(std::chrono::milliseconds timeout = std::chrono::seconds(60));

  private:
    TempDir capture_; // holds the captured output files
    std::string outPath_, errPath_;
    pid_t pid_ = -1;
    int stdinFd_ = -1; // write end of piped input
    int outFd_ = -1;   // read end of piped output
    bool pipedOut_ = false;
    std::string outData_; // piped output read so far
    bool reaped_ = false;
    int status_ = 0;
    bool isFilter_ = false; // the built filter runs (not another tool)
};

// Runs the call to its end: standard input from the file (or /dev/null), output captured.
FilterRun RunFilterProcess(const FilterCall &call);

// Polls `done` every few milliseconds until it holds (true) or the timeout passes (false).
template <typename Pred> bool WaitUntil(std::chrono::milliseconds timeout, Pred done) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// Waits until process `pid` (not necessarily a child) has ended: no /proc entry, or a zombie.
bool WaitUntilGone(pid_t pid, std::chrono::milliseconds timeout);

// In a forked child: replaces the process with args[0], given the whole argument vector and
// environment; exits 127 when it cannot.
[[noreturn]] void ExecWith(std::vector<std::string> &args, std::vector<std::string> &env);

// The standard six arguments: job id 1, user, title, copies 1, options; plus an optional file.
std::vector<std::string> FilterArgs(const std::string &options, const std::string &file = "",
                                    const std::string &title = "test job");

// Path of a PPD fixture in tests/fixtures/ppd.
std::string FixturePPD(const std::string &name);

// Counts occurrences of needle in haystack.
size_t CountOf(const std::string &haystack, const std::string &needle);

// "a b c": names or tokens joined for readable failure messages.
std::string Joined(const std::vector<std::string> &tokens);
