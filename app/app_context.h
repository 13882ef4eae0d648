// What the whole server shares: made once by the system callback at start-up and kept by
// main() until the server ends. Jobs only read it; nothing in it changes while jobs run.
#pragma once

#include <pappl/pappl.h>

#include <atomic>
#include <string>
#include <vector>

#include "app/access.h"
#include "app/colour_library.h"
#include "app/dnssd.h"
#include "app/printer_gate.h"
#include "app/printer_status.h"

struct ModelInfo;

struct AppContext {
    std::string baseName; // basename(argv[0]): names the state, spool directory and socket
    std::string spoolDir; // the server's spool directory (job files, collate spools)
    std::vector<std::string> driverNames;   // storage of the driver table's texts
    std::vector<pappl_pr_driver_t> drivers; // one per catalogue model
    LoadedColourLibrary colour;             // loaded by the server only
    std::string strings;                    // "en.strings" of the web interface
    bool server = false;                    // the sub-command is "server"
    std::string stateFile;                  // the server's printers and settings
    AccessPolicy access;                    // who may do what from where
    DnssdState dnssd;                       // whether avahi-daemon answered at start
    bool fastRoute = true; // Ghostscript may halftone PDF and PostScript pages (KELVRA_FAST_ROUTE)
};

// What a printer's driver data carries for its jobs (pappl_pr_driver_data_t::extension), and
// what the server tells about the printer.
struct PrinterExtension {
    const ModelInfo *model;
    const AppContext *app;
    std::atomic<int> jobsPrinting{0}; // jobs between the driver's job start and job end
    PrinterNotices notices;
    mutable PrinterGate gate; // one job at a time in the driver
};

// The extension a printer's driver data carries (set when the driver made the printer).
inline PrinterExtension *ExtensionOf(pappl_printer_t *printer) {
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(printer, &data);
    return static_cast<PrinterExtension *>(data.extension);
}

inline PrinterExtension *ExtensionOf(pappl_job_t *job) {
    return ExtensionOf(papplJobGetPrinter(job));
}
