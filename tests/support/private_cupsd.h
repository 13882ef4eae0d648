// A private CUPS scheduler for a test, laid out and started by tests/support/private_cupsd.sh
// (the spooler test's script uses the same one) in a temporary directory: its own
// configuration, spool and logs, and a UNIX socket as its only listener. CUPS's command-line
// clients run against it through CUPS_SERVER. Stopped with SIGTERM, then SIGKILL.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/filter_runner.h"

class PrivateCupsd {
  public:
    // Prepares the directory, starts cupsd and waits until it answers; `ok()` says whether it
    // did (`Log()` tells why not).
    PrivateCupsd();
    ~PrivateCupsd();
    PrivateCupsd(const PrivateCupsd &) = delete;
    PrivateCupsd &operator=(const PrivateCupsd &) = delete;

    bool ok() const { return ok_; }
    const std::string &dir() const { return dir_.path(); }
    std::string socket() const { return dir_.file("sock"); }
    // The scheduler's error log and standard error.
    std::string Log() const;

    // Runs a CUPS client program (found on PATH: "lpadmin", "lp", ...) against this scheduler.
    FilterRun Client(const std::string &program, const std::vector<std::string> &args) const;
    // Waits until job `id` is completed, aborted, cancelled or held, or its printer stopped;
    // returns the job's state (0 on timeout) and its job-state-reasons.
    int WaitJob(int id, std::string *reasons = nullptr,
                std::chrono::seconds timeout = std::chrono::seconds(120)) const;

  private:
    TempDir dir_;
    pid_t pid_ = -1;
    bool ok_ = false;
};

// The path of `program` in one of PATH's directories, or "" when none has it.
std::string FindOnPath(const std::string &program);

// The job id in lp's answer "request id is QUEUE-ID (N file(s))"; 0 when there is none.
int LpJobId(const std::string &lpOutput);
