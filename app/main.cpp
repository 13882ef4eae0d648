// kelvra-printer-app: an IPP Everywhere Printer Application for the Kelvra and Mirodel laser
// printers on PAPPL, printing through the driver core in-process. main() hands the command line
// to papplMainloop (sub-commands server, add, delete, modify, submit, jobs, cancel, status,
// drivers, devices, options, shutdown, ...); the system callback makes the server.
#include <pappl/pappl.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>
#include <unistd.h>

#include "app/app_context.h"
#include "app/autoadd.h"
#include "app/drivers.h"
#include "app/job_options.h"
#include "app/document_formats.h"
#include "app/web_strings.h"

#ifndef KELVRA_APP_VERSION
#define KELVRA_APP_VERSION "1.0.0"
#endif

namespace {

constexpr const char *kFooter = "Kelvra Printer Application " KELVRA_APP_VERSION;

// PAPPL's log level names.
pappl_loglevel_t LogLevel(const char *value) {
    if (value == nullptr) return PAPPL_LOGLEVEL_WARN;
    static constexpr struct {
        const char *name;
        pappl_loglevel_t level;
    } kLevels[] = {{"fatal", PAPPL_LOGLEVEL_FATAL},
                   {"error", PAPPL_LOGLEVEL_ERROR},
                   {"warn", PAPPL_LOGLEVEL_WARN},
                   {"info", PAPPL_LOGLEVEL_INFO},
                   {"debug", PAPPL_LOGLEVEL_DEBUG}};
    for (const auto &l : kLevels)
        if (std::strcmp(value, l.name) == 0) return l.level;
    return PAPPL_LOGLEVEL_WARN;
}

// The server-options keywords, as PAPPL's own server reads them.
pappl_soptions_t ServerOptions(const char *value) {
    pappl_soptions_t options = PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE;
    static constexpr struct {
        const char *name;
        pappl_soptions_t set, clear;
    } kWords[] = {{"dnssd-host", PAPPL_SOPTIONS_DNSSD_HOST, 0},
                  {"no-multi-queue", 0, PAPPL_SOPTIONS_MULTI_QUEUE},
                  {"raw-socket", PAPPL_SOPTIONS_RAW_SOCKET, 0},
                  {"usb-printer", PAPPL_SOPTIONS_USB_PRINTER, 0},
                  {"no-web-interface", 0, PAPPL_SOPTIONS_WEB_INTERFACE},
                  {"web-log", PAPPL_SOPTIONS_WEB_LOG, 0},
                  {"web-network", PAPPL_SOPTIONS_WEB_NETWORK, 0},
                  {"web-remote", PAPPL_SOPTIONS_WEB_REMOTE, 0},
                  {"web-security", PAPPL_SOPTIONS_WEB_SECURITY, 0},
                  {"no-tls", PAPPL_SOPTIONS_NO_TLS, 0}};
    for (const char *p = value; p != nullptr && *p;) {
        const char *end = std::strchr(p, ',');
        const std::string word(p, end ? static_cast<std::size_t>(end - p) : std::strlen(p));
        if (word == "none") options = PAPPL_SOPTIONS_NONE;
        for (const auto &w : kWords)
            if (word == w.name) options = (options | w.set) & ~w.clear;
        p = end ? end + 1 : nullptr;
    }
    return options;
}

// The default spool directory, named after the program as PAPPL's own server names it:
// /var/spool/<name> for root, ~/.config/<name>.d for a user, else in the temporary directory.
std::string DefaultSpoolDir(const std::string &base) {
    if (getuid() == 0) {
        if (access("/var/spool", X_OK) == 0) return "/var/spool/" + base;
    } else if (const char *home = std::getenv("HOME")) {
        const std::string config = std::string(home) + "/.config";
        if (access(config.c_str(), X_OK) == 0 || mkdir(config.c_str(), 0777) == 0)
            return config + "/" + base + ".d";
    }
    return std::string(papplGetTempDir()) + "/" + base + std::to_string(getuid()) + ".d";
}

// Makes the server: PAPPL's standard server options, the drivers, the PDF and PostScript
// filter, the web texts and the colour library. The state file is left to papplMainloop, which
// names it after the program too.
pappl_system_t *SystemCallback(int num_options, cups_option_t *options, void *data) {
    auto *app = static_cast<AppContext *>(data);
    auto option = [&](const char *name) { return cupsGetOption(name, num_options, options); };
    int port = 0;
    if (const char *value = option("server-port")) {
        char *end = nullptr;
        errno = 0;
        const long v = std::strtol(value, &end, 10);
        if (errno != 0 || *end || v < 0 || v > 65535) {
            std::fprintf(stderr, "%s: Bad 'server-port' value.\n", app->baseName.c_str());
            return nullptr;
        }
        port = static_cast<int>(v);
    }
    const char *spool = option("spool-directory");
    app->spoolDir = spool ? spool : DefaultSpoolDir(app->baseName);

    pappl_system_t *system =
        papplSystemCreate(ServerOptions(option("server-options")), app->baseName.c_str(), port,
                          "_print,_universal", app->spoolDir.c_str(), option("log-file"),
                          LogLevel(option("log-level")), option("auth-service"), false);
    if (system == nullptr) return nullptr;
    if (const char *group = option("admin-group")) papplSystemSetAdminGroup(system, group);
    if (const char *host = option("server-hostname")) papplSystemSetHostName(system, host);
    if (option("private-server") == nullptr)
        papplSystemAddListeners(system, option("listen-hostname"));

    papplSystemSetPrinterDrivers(system, static_cast<int>(app->drivers.size()), app->drivers.data(),
                                 AutoAddCallback, nullptr, DriverCallback, app);
    AddDocumentFormats(system, *app);
    app->strings = EnglishStrings();
    AddWebStrings(system, app->strings);
    papplSystemSetFooterHTML(system, kFooter);

    std::string why;
    app->colour = LoadColourLibrary(ColourLibraryPath(), why);
    if (app->colour.entries.Loaded())
        papplLog(system, PAPPL_LOGLEVEL_INFO, "Colour library %s loaded.",
                 ColourLibraryPath().c_str());
    else
        papplLog(system, PAPPL_LOGLEVEL_WARN,
                 "Colour library not loaded (%s): the QV and Mirodel models use the driver's "
                 "own screens.",
                 why.c_str());
    return system;
}

} // namespace

int main(int argc, char *argv[]) {
    AppContext app;
    const char *slash = std::strrchr(argv[0], '/');
    app.baseName = slash ? slash + 1 : argv[0];
    std::vector<std::string> args(argv, argv + argc);
    if (std::string why; !FixSubmitArguments(args, why)) {
        std::fprintf(stderr, "%s: %s\n", app.baseName.c_str(), why.c_str());
        return 1;
    }
    std::vector<char *> fixedArgv;
    for (std::string &a : args)
        fixedArgv.push_back(a.data());
    fixedArgv.push_back(nullptr);
    MakeDriverTable(app);
    const int status =
        papplMainloop(static_cast<int>(args.size()), fixedArgv.data(), KELVRA_APP_VERSION, kFooter,
                      static_cast<int>(app.drivers.size()), app.drivers.data(), AutoAddCallback,
                      DriverCallback, nullptr, nullptr, SystemCallback, nullptr, &app);
    UnloadColourLibrary(app.colour);
    return status;
}
