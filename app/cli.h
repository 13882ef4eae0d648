// The sub-commands of the command line that the app runs itself, and the steps it adds around
// those PAPPL runs. PAPPL 1.3.1 gives a printer added while the server runs the printer-id 0 in
// its attributes, so its delete and default sub-commands fail ("Unable to get information for
// printer: successful-ok"); its status shows the same line for a printer as for the server; its
// options leave out sides and the model's own options; its add refuses a file: device that
// does not exist yet.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

// The command line as papplMainloop reads it: the sub-command and the option values.
struct CommandLine {
    std::string subcommand;             // empty: none (PAPPL then submits)
    std::map<char, std::string> values; // -d, -u, -v, ...: the last value of each
    std::vector<std::string> options;   // every -o text
    bool runnable = true;               // no files, only the options our sub-commands read
};
CommandLine ParseCommandLine(int argc, char *argv[]);

// Runs delete, default -d, status -d/-u and options against the server; no value for the
// sub-commands PAPPL runs.
std::optional<int> RunOwnSubcommand(const CommandLine &command, const std::string &baseName);

// What the app did before PAPPL ran a sub-command, to be finished after it.
struct PapplRun {
    std::string createdDevice;          // a file: device made for add (removed on failure)
    std::vector<std::string> extraArgs; // arguments added to the command line
};

// Before PAPPL runs a sub-command: add with a file: device in an existing directory makes the
// file; modify with media= alone also names the media type, as PAPPL 1.3.1 sends a lone
// media default in the job group, which its server refuses; server sets jobs a stopped
// server left "processing" back to pending.
PapplRun BeforePappl(const CommandLine &command, const std::string &baseName);

// After PAPPL ran it with `status`: a device file made for a failed add is removed; a printer
// added to a server whose default printer was deleted becomes the default.
void AfterPappl(const CommandLine &command, const std::string &baseName, const PapplRun &run,
                int status);
