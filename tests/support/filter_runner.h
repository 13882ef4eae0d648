// Runs the real filter binary as the spooler would and captures what it writes.
#pragma once

#include <map>
#include <string>
#include <vector>

struct FilterRun {
    int exitCode = -1; // exit status, or 128 + signal
    std::string out;   // the job stream (standard output)
    std::string err;   // status lines (standard error)
};

struct FilterCall {
    std::vector<std::string> args;          // argv[1..]; argv[0] is the binary
    std::map<std::string, std::string> env; // added to a clean environment (PATH, TMPDIR kept)
    std::string stdinFile;                  // file fed on standard input ("" = /dev/null)
    std::string binary;                     // "" = the built rastertoKelvra
};

FilterRun RunFilterProcess(const FilterCall &call);

// In a forked child: replaces the process with args[0], given the whole argument vector and
// environment; exits 127 when it cannot.
[[noreturn]] void ExecWith(std::vector<std::string> &args, std::vector<std::string> &env);

// The standard six arguments: job id 1, user, title, copies 1, options; plus an optional file.
std::vector<std::string> FilterArgs(const std::string &options, const std::string &file = "",
                                    const std::string &title = "test job");

// Path of a PPD fixture in tests/fixtures/ppd.
std::string FixturePPD(const std::string &name);

// A fresh temporary directory, removed with its contents by the destructor.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }
    std::vector<std::string> entries() const; // names in the directory

  private:
    std::string path_;
};

// Counts occurrences of needle in haystack.
size_t CountOf(const std::string &haystack, const std::string &needle);
