// The job's options as the queue makes them: for every option of the queue's PPD that the
// filter reads, the job's value when it is one of the PPD's choices, else the queue's default
// (the PPD's *Default…, as `lpadmin -o` sets it). The IPP names a user types (collate,
// multiple-document-handling, print-quality) count where a PPD option means the same.
#pragma once

#include <cups/cups.h>
#include <cups/ppd.h>

#include <cstdio>
#include <string>

class QueueOptions {
  public:
    // Resolves the options of `jobOptions` (a CUPS option string) against `ppd`. A value the
    // PPD does not offer gets a "WARNING:" line on `log` naming the option and the value, and
    // the queue's default is used instead. Options the PPD does not have are taken as given.
    QueueOptions(const char *jobOptions, ppd_file_t *ppd, std::FILE *log);
    ~QueueOptions();
    QueueOptions(const QueueOptions &) = delete;
    QueueOptions &operator=(const QueueOptions &) = delete;

    // The value of an option, or null when neither the job nor the queue sets it.
    const char *Get(const char *name) const;
    // Whether the job itself named the option (also through an IPP name).
    bool JobNamed(const char *name) const;
    // Whether the option is set to "true" (true, yes, on or 1, in any case).
    bool IsTrue(const char *name) const;

    int count = 0;
    cups_option_t *options = nullptr;

  private:
    int jobCount_ = 0;
    cups_option_t *jobOptions_ = nullptr;
};

// Whether an option value means "true" (true, yes, on, 1) or "false" (false, no, off, 0), in
// any case.
bool OptionTextIsTrue(const char *value);
bool OptionTextIsFalse(const char *value);

// A custom page size of the options ("PageSize=Custom.WxH[unit]", else "media=Custom.…"):
// None when they ask for none; Read with the size in points (units pt (none), in, ft, cm, mm,
// m); Unreadable otherwise. `text` gets what follows "Custom.".
enum class CustomSize { None, Read, Unreadable };
CustomSize CustomPageSizePoints(const char *jobOptions, double &width, double &height,
                                std::string &text);
