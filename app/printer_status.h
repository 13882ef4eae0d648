// What the user is told about a printer beyond PAPPL's own state. PAPPL 1.3.1 answers a fixed
// printer-state-message ("Idle.", "Printing.", "Stopped.") and has no call to set it, so a
// notice is shown three ways: as a printer-state-reason (IPP clients, the web status page), as
// a line on the printer's web status page (a link to its jobs), and as the job's state message.
// Notices: the manual-duplex prompt while a job waits for the printed sheets to be turned
// (media-needed), and a device that does not answer while a job waits for it (offline).
#pragma once

#include <pappl/pappl.h>

#include <mutex>
#include <string>

struct AppContext;

enum class Notice { TurnStack, Unreachable };

// The notices shown for one printer (one object per printer, in its driver extension). Safe
// to use from the job's thread and the server's main loop at once.
class PrinterNotices {
  public:
    // Shows `text` for the printer (replacing an earlier text of the same notice).
    void Show(pappl_printer_t *printer, Notice notice, const std::string &text);
    // Takes the notice away again; nothing (and no call to PAPPL) when it is not shown.
    void Clear(pappl_printer_t *printer, Notice notice);
    // Whether the notice shows exactly `text`.
    bool Shows(Notice notice, const std::string &text) const;

  private:
    mutable std::mutex mutex_;
    std::string shown_[2]; // per Notice; empty: not shown
};

// Registers the server's one-second watch (before papplSystemRun): it shows and clears the
// Unreachable notice of printers whose job waits for a device that does not answer, wakes the
// main loop so that a Shutdown-System request is seen at once, and on SIGTERM or
// Shutdown-System stops the server at once when no job is sending pages to a printer (PAPPL
// would wait up to a minute for jobs that only wait), saving the state first.
void StartPrinterWatch(pappl_system_t *system, AppContext &app);
