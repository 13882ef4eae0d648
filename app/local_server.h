// Where the server of a program name keeps its state file and its local socket, named as
// papplMainloop names them, and the repair of a state file that a stopped server left with jobs
// still marked as printing.
#pragma once

#include <cups/cups.h>

#include <string>

// The state file of the server started under `baseName`: $SNAP_COMMON/NAME.state in a snap,
// /var/lib/NAME.state as root, $XDG_CONFIG_HOME/NAME.state or ~/.config/NAME.state for a
// user, else TMPDIR/NAMEUID.state.
std::string StateFilePath(const std::string &baseName);

// The local socket of the server of `baseName` run by `uid`: /run/NAME.sock (or
// $SNAP_COMMON/NAME.sock) for root, TMPDIR/NAMEUID.sock for a user.
std::string SocketPath(const std::string &baseName, uid_t uid);

// A connection to the running server of `baseName` (the user's own, else root's); null when
// none answers.
http_t *ConnectLocalServer(const std::string &baseName);

// PAPPL 1.3.1 saves a job that was waiting for its printer when the server stopped as
// "processing", and never runs such a job again after loading it: it can then neither print
// nor be cancelled. Such jobs are set back to pending in the state file, so they print (or can
// be cancelled) after the start. False when the file exists but cannot be rewritten.
bool RequeueInterruptedJobs(const std::string &stateFile);
