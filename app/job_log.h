// The driver core writes its status lines ("ERROR: ...", "INFO: ...", "DEBUG: ...") to a
// stdio stream, as the CUPS filter writes them to standard error. In the Printer Application
// that stream is the job's log: each line goes to papplLogJob at its level, and the
// "ERROR:", "WARNING:" and "INFO:" lines become the job's state message (the manual-duplex
// request to turn the stack is one).
#pragma once

#include <pappl/pappl.h>

#include <cstdio>
#include <functional>
#include <string>

// Sees each line with its level and its text without the prefix, after it was logged.
using JobLogWatcher = std::function<void(pappl_loglevel_t level, const std::string &text)>;

// A stream whose lines go to `job`'s log and messages, and to `watcher` when given; close it
// with fclose before the job ends. Null when it cannot be made.
std::FILE *OpenJobLog(pappl_job_t *job, JobLogWatcher watcher = {});
