// The filter's process-wide signal state: cancellation on SIGTERM and the keep-alive on
// SIGALRM. This is the only place the filter keeps state for its one job outside the job.
#pragma once

#include <atomic>
#include <csignal>

// Set by the SIGTERM handler: the conversion and the copy of standard input poll it before
// the job exists; the job's own flag (SetCancelTarget) is set at the same time.
extern volatile sig_atomic_t Canceled;
// 1 while a command is being written to standard output; the keep-alive waits for 0.
extern volatile sig_atomic_t g_ismiddlepage;

// SIGTERM handler: sets Canceled and the cancel flag of the running job.
void CancelJob(int sig);
// SIGALRM handler: two zero bytes straight to standard output between commands.
void SendDummyCommand(int sig);
// The job whose cancel flag SIGTERM sets (null: none).
void SetCancelTarget(std::atomic<bool> *flag);
// The process group of the running PDF converter, which SIGTERM stops (0: none).
void SetConverterGroup(int pgid);
// Installs CancelJob for SIGTERM and ignores SIGPIPE, so a closed output is a write error.
void InstallJobSignals();
// Arms the 10-second keep-alive timer (platforms C and Z, from the first page on).
void StartKeepAlive();
