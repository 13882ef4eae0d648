// A converter run as a child of a front end (Ghostscript for PDF jobs): in a process group of
// its own, so that stopping it stops everything it started; never through a shell; standard
// input /dev/null, standard output a pipe the front end reads page by page, TMPDIR a private
// directory (the converter's own temporary files go with it).
#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

struct ChildProcess {
    pid_t pid = -1;      // the child, leader of its process group
    int outFd = -1;      // read end of its standard output
    std::string workDir; // its private temporary directory
};

// Starts `args` (args[0] is the program's path) in the private directory `tmpRoot`/kelvra-gs-*;
// its standard error goes to `errFd` (-1: the caller's); `extraEnv` ("NAME=value") replaces or
// adds variables of the caller's environment. The child gets the default handling of
// SIGPIPE and SIGTERM and no blocked signals. Returns 0, or the errno value of the failure
// (nothing is left running or on disk then).
int StartChildProcess(ChildProcess &child, const std::vector<std::string> &args,
                      const std::string &tmpRoot, int errFd = -1,
                      const std::vector<std::string> &extraEnv = {});

// Ends the child: closes the pipe (a child still writing gets EPIPE), stops its whole process
// group first when `stop`, waits for it and removes its directory. Returns its wait status, or
// -1 when it was never started or was lost.
int FinishChildProcess(ChildProcess &child, bool stop);
