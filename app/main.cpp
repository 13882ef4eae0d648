// kelvra-printer-app: an IPP Everywhere Printer Application for the Kelvra and Mirodel laser
// printers on PAPPL, printing through the driver core in-process. main() runs delete, default,
// status and options itself (app/cli.h) and hands the other sub-commands (server, add, modify,
// submit, jobs, cancel, drivers, devices, shutdown, ...) to papplMainloop; the system callback
// makes the server.
#include <pappl/pappl.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>
#include <unistd.h>
#include <vector>

#include "app/access.h"
#include "app/app_context.h"
#include "app/autoadd.h"
#include "app/cli.h"
#include "app/dnssd.h"
#include "app/drivers.h"
#include "app/document_formats.h"
#include "app/job_options.h"
#include "app/local_server.h"
#include "app/printer_status.h"
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

bool SaveState(pappl_system_t *system, void *file) {
    return papplSystemSaveState(system, static_cast<const char *>(file));
}

// Printers of a server on the loopback only are not announced: PAPPL 1.3.1 would announce them
// on every interface, to hosts that cannot reach them. Without a DNS-SD name PAPPL registers
// nothing.
bool Unannounced(const AppContext &app) {
    return app.dnssd.avahi && app.access.loopbackOnly;
}

// A new or loaded printer: its toner supply, its home page's forms behind the access policy,
// and no DNS-SD name while nothing is announced.
void PrinterMade(pappl_printer_t *printer, void *data) {
    PrinterCreated(printer, data);
    GuardPrinterHomePage(printer);
    if (Unannounced(*static_cast<const AppContext *>(data)))
        papplPrinterSetDNSSDName(printer, nullptr);
}

void ClearDnssdName(pappl_printer_t *printer, void *) {
    papplPrinterSetDNSSDName(printer, nullptr);
}

// The server's printers and settings from its state file (loaded here rather than by
// papplMainloop so that the server's own settings come after it), and the file for changes.
void LoadState(pappl_system_t *system, AppContext &app) {
    app.stateFile = StateFilePath(app.baseName);
    papplSystemLoadState(system, app.stateFile.c_str());
    papplSystemSetSaveCallback(system, SaveState, app.stateFile.data());
    papplSystemSetAdminGroup(system, app.access.adminGroup.c_str());
    if (Unannounced(app)) {
        papplSystemSetDNSSDName(system, nullptr);
        papplSystemIteratePrinters(system, ClearDnssdName, nullptr);
    }
}

// The server's TCP listeners (the default: the local host only) and the log lines that say
// where it listens and who may change things from other hosts.
void Listen(pappl_system_t *system, const AccessPolicy &policy) {
    if (!papplSystemAddListeners(system, policy.listen.c_str())) {
        papplLog(system, PAPPL_LOGLEVEL_ERROR, "Unable to listen on '%s'.", policy.listen.c_str());
        return;
    }
    const int port = papplSystemGetHostPort(system);
    if (policy.loopbackOnly)
        papplLog(system, PAPPL_LOGLEVEL_INFO,
                 "Listening on the local host only ('%s' port %d): printers are not announced to "
                 "other hosts, which reach the server when it is started with "
                 "-o listen-hostname=*.",
                 policy.listen.c_str(), port);
    else if (policy.authService.empty())
        papplLog(system, PAPPL_LOGLEVEL_INFO,
                 "Listening on '%s' port %d; other hosts may print, and changes from them are "
                 "refused (no auth-service).",
                 policy.listen.c_str(), port);
    else
        papplLog(system, PAPPL_LOGLEVEL_INFO,
                 "Listening on '%s' port %d; other hosts may print, and changes from them need "
                 "a login of group '%s' (PAM service '%s').",
                 policy.listen.c_str(), port, policy.adminGroup.c_str(),
                 policy.authService.c_str());
}

// Makes the server: PAPPL's standard server options, the access policy and the listeners, the
// drivers, the PDF and PostScript filter, the web texts and the colour library.
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
    std::string error;
    if (!ResolveAccessPolicy(option("listen-hostname"), option("auth-service"),
                             option("admin-group"), app->access, error)) {
        std::fprintf(stderr, "%s: %s\n", app->baseName.c_str(), error.c_str());
        return nullptr;
    }
    const char *spool = option("spool-directory");
    app->spoolDir = spool ? spool : DefaultSpoolDir(app->baseName);

    // PAPPL checks no login itself: the access policy does, with PAM.
    pappl_system_t *system = papplSystemCreate(
        ServerOptions(option("server-options")), app->baseName.c_str(), port, "_print,_universal",
        app->spoolDir.c_str(), option("log-file"), LogLevel(option("log-level")), nullptr, false);
    if (system == nullptr) return nullptr;
    papplSystemSetAuthCallback(system, "Basic", AuthorizeClient, &app->access);
    // papplSystemSetHostName renames the machine (sethostname, /etc/hostname): the server keeps
    // the machine's name.
    if (const char *host = option("server-hostname"))
        papplLog(system, PAPPL_LOGLEVEL_WARN,
                 "server-hostname '%s' is not used: PAPPL would rename this machine to it.", host);
    if (option("private-server") == nullptr) Listen(system, app->access);
    if (!app->dnssd.avahi)
        papplLog(system, PAPPL_LOGLEVEL_INFO,
                 "DNS-SD is off (avahi-daemon: %s): network printers are not listed and "
                 "printers are not announced.",
                 app->dnssd.why.c_str());

    papplSystemSetPrinterDrivers(system, static_cast<int>(app->drivers.size()), app->drivers.data(),
                                 AutoAddCallback, PrinterMade, DriverCallback, app);
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
    if (app->server) LoadState(system, *app);
    StartPrinterWatch(system, *app);
    return system;
}

} // namespace

// The sub-commands PAPPL gets wrong run in the app (app/cli.h); PAPPL runs the others, with
// the app's steps before and after.
int main(int argc, char *argv[]) {
    AppContext app;
    const char *slash = std::strrchr(argv[0], '/');
    app.baseName = slash ? slash + 1 : argv[0];
    std::vector<std::string> fixedArgs(argv, argv + argc);
    if (std::string why; !FixSubmitArguments(fixedArgs, why)) {
        std::fprintf(stderr, "%s: %s\n", app.baseName.c_str(), why.c_str());
        return 1;
    }
    std::vector<char *> args;
    for (std::string &a : fixedArgs)
        args.push_back(a.data());
    const CommandLine command = ParseCommandLine(static_cast<int>(args.size()), args.data());
    if (const std::optional<int> status = RunOwnSubcommand(command, app.baseName)) return *status;
    PapplRun run = BeforePappl(command, app.baseName);
    for (std::string &extra : run.extraArgs)
        args.push_back(extra.data());
    args.push_back(nullptr);
    MakeDriverTable(app);
    app.server = command.subcommand == "server"; // papplMainloop makes a system for drivers too
    // KELVRA_FAST_ROUTE=0 keeps PDF and PostScript jobs on the 8-bit route (to compare the two).
    const char *fastRoute = std::getenv("KELVRA_FAST_ROUTE");
    app.fastRoute = fastRoute == nullptr || std::strcmp(fastRoute, "0") != 0;
    // Without Avahi, DNS-SD is off in this process (the server, or the devices sub-command).
    app.dnssd = CheckAvahi();
    TurnOffDnssdDevices(app.dnssd);
    const int status =
        papplMainloop(static_cast<int>(args.size() - 1), args.data(), KELVRA_APP_VERSION, kFooter,
                      static_cast<int>(app.drivers.size()), app.drivers.data(), AutoAddCallback,
                      DriverCallback, nullptr, nullptr, SystemCallback, nullptr, &app);
    AfterPappl(command, app.baseName, run, status);
    UnloadColourLibrary(app.colour);
    return status;
}
