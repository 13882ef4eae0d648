// Signal handling of the filter: cancellation on SIGTERM and the keep-alive on SIGALRM.
#pragma once

// SIGTERM handler: only sets Canceled; the job loop and raster reading poll it.
void CancelJob(int sig);
// SIGALRM handler: two zero bytes straight to standard output between commands.
void SendDummyCommand(int sig);
// Installs CancelJob for SIGTERM and ignores SIGPIPE, so a closed output is a write error.
void InstallJobSignals();
// Arms the 10-second keep-alive timer (platforms C and Z, from the first page on).
void StartKeepAlive();
