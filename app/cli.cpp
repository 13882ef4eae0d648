#include "app/cli.h"

#include <cups/cups.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "app/drivers.h"
#include "app/job_options.h"
#include "app/local_server.h"

namespace {

constexpr const char *kSystemResource = "/ipp/system";
constexpr const char *kSystemUri = "ipp://localhost/ipp/system";

// The sub-commands papplMainloop knows.
constexpr const char *kSubcommands[] = {
    "add",     "autoadd", "cancel",   "default", "delete", "devices",  "drivers", "jobs",  "modify",
    "options", "pause",   "printers", "resume",  "server", "shutdown", "status",  "submit"};

struct IppDeleter {
    void operator()(ipp_t *ipp) const { ippDelete(ipp); }
};
using Ipp = std::unique_ptr<ipp_t, IppDeleter>;

struct HttpCloser {
    void operator()(http_t *http) const { httpClose(http); }
};
using Http = std::unique_ptr<http_t, HttpCloser>;

// A printer as the system lists it.
struct SystemPrinter {
    int id;
    std::string name;
};

// The connection for a sub-command: the printer or server of -u, else the local server; with
// the resource of the printer (-u) or of the system.
struct Connection {
    Http http;
    std::string resource;
};

void Fail(const std::string &baseName, const std::string &message) {
    std::fprintf(stderr, "%s: %s\n", baseName.c_str(), message.c_str());
}

std::optional<Connection> Connect(const CommandLine &command, const std::string &baseName) {
    Connection c;
    if (auto u = command.values.find('u'); u != command.values.end()) {
        char scheme[32], user[256], host[256], resource[1024];
        int port = 0;
        if (httpSeparateURI(HTTP_URI_CODING_ALL, u->second.c_str(), scheme, sizeof scheme, user,
                            sizeof user, host, sizeof host, &port, resource,
                            sizeof resource) < HTTP_URI_STATUS_OK ||
            (std::strcmp(scheme, "ipp") != 0 && std::strcmp(scheme, "ipps") != 0)) {
            Fail(baseName, "Bad printer URI '" + u->second + "'.");
            return std::nullopt;
        }
        const http_encryption_t encryption = std::strcmp(scheme, "ipps") == 0
                                                 ? HTTP_ENCRYPTION_ALWAYS
                                                 : HTTP_ENCRYPTION_IF_REQUESTED;
        c.http.reset(httpConnect2(host, port, nullptr, AF_UNSPEC, encryption, 1, 30000, nullptr));
        c.resource = resource;
    } else {
        c.http.reset(ConnectLocalServer(baseName));
        c.resource = kSystemResource;
    }
    if (!c.http) {
        Fail(baseName, std::string("Cannot reach the server: ") + cupsLastErrorString());
        return std::nullopt;
    }
    return c;
}

Ipp NewRequest(ipp_op_t op) {
    Ipp request(ippNewRequest(op));
    return request;
}

void AddUser(ipp_t *request) {
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
}

// A request on the system service.
Ipp SystemRequest(ipp_op_t op) {
    Ipp request = NewRequest(op);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "system-uri", nullptr, kSystemUri);
    AddUser(request.get());
    return request;
}

// The resource of a printer name, as PAPPL makes it when it creates the printer: a leading
// digit gets an underscore in front, reserved characters become one underscore, none at the end.
std::string PrinterResource(const std::string &name) {
    std::string path = !name.empty() && name[0] >= '0' && name[0] <= '9' ? "_" : "";
    for (char ch : name) {
        const bool reserved =
            static_cast<unsigned char>(ch) <= ' ' || std::strchr("\177/\\'\"?#", ch) != nullptr;
        const char out = reserved ? '_' : ch;
        if (!(out == '_' && !path.empty() && path.back() == '_')) path += out;
    }
    while (!path.empty() && path.back() == '_')
        path.pop_back();
    return "/ipp/print/" + path;
}

// A request on the printer named `name` on the local server (its URI as PAPPL makes it), or on
// the printer URI of -u.
Ipp PrinterRequest(ipp_op_t op, const CommandLine &command, const std::string &name,
                   std::string &resource) {
    Ipp request = NewRequest(op);
    std::string uri;
    if (auto u = command.values.find('u'); u != command.values.end()) {
        uri = u->second;
    } else {
        resource = PrinterResource(name);
        char assembled[1024];
        httpAssembleURI(HTTP_URI_CODING_ALL, assembled, sizeof assembled, "ipp", nullptr,
                        "localhost", 0, resource.c_str());
        uri = assembled;
    }
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
                 uri.c_str());
    AddUser(request.get());
    return request;
}

Ipp Send(Connection &c, Ipp request, const std::string &resource) {
    return Ipp(cupsDoRequest(c.http.get(), request.release(), resource.c_str()));
}

bool Succeeded(const Ipp &response) {
    return response && ippGetStatusCode(response.get()) < IPP_STATUS_REDIRECTION_OTHER_SITE;
}

// The system's printers and its default printer id (printer-id from the system, which PAPPL
// gives right also for printers added while it runs).
std::vector<SystemPrinter> SystemPrinters(Connection &c, int *defaultId) {
    Ipp request = SystemRequest(IPP_OP_GET_SYSTEM_ATTRIBUTES);
    const char *wanted[] = {"system-configured-printers", "system-default-printer-id"};
    ippAddStrings(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2,
                  nullptr, wanted);
    Ipp response = Send(c, std::move(request), kSystemResource);
    std::vector<SystemPrinter> printers;
    if (defaultId != nullptr)
        *defaultId = ippGetInteger(
            ippFindAttribute(response.get(), "system-default-printer-id", IPP_TAG_INTEGER), 0);
    ipp_attribute_t *list =
        ippFindAttribute(response.get(), "system-configured-printers", IPP_TAG_BEGIN_COLLECTION);
    for (int i = 0; i < ippGetCount(list); ++i) {
        ipp_t *col = ippGetCollection(list, i);
        const char *name =
            ippGetString(ippFindAttribute(col, "printer-name", IPP_TAG_ZERO), 0, nullptr);
        const int id = ippGetInteger(ippFindAttribute(col, "printer-id", IPP_TAG_INTEGER), 0);
        if (name != nullptr && id > 0) printers.push_back({id, name});
    }
    return printers;
}

// The printer's name: -d, or the printer-name of the -u printer.
std::optional<std::string> PrinterName(Connection &c, const CommandLine &command,
                                       const std::string &baseName) {
    if (auto d = command.values.find('d'); d != command.values.end()) return d->second;
    if (command.values.count('u') == 0) {
        Fail(baseName, "Missing '-d PRINTER'.");
        return std::nullopt;
    }
    std::string resource = c.resource;
    Ipp request = PrinterRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, command, "", resource);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                 "printer-name");
    Ipp response = Send(c, std::move(request), resource);
    const char *name =
        ippGetString(ippFindAttribute(response.get(), "printer-name", IPP_TAG_NAME), 0, nullptr);
    if (name == nullptr) {
        Fail(baseName, std::string("No printer at that URI: ") + cupsLastErrorString());
        return std::nullopt;
    }
    return std::string(name);
}

int FindId(const std::vector<SystemPrinter> &printers, const std::string &name) {
    auto it = std::find_if(printers.begin(), printers.end(),
                           [&](const SystemPrinter &p) { return p.name == name; });
    return it == printers.end() ? 0 : it->id;
}

bool SetDefaultPrinter(Connection &c, int id) {
    Ipp request = SystemRequest(IPP_OP_SET_SYSTEM_ATTRIBUTES);
    ippAddInteger(request.get(), IPP_TAG_SYSTEM, IPP_TAG_INTEGER, "system-default-printer-id", id);
    return Succeeded(Send(c, std::move(request), kSystemResource));
}

// PAPPL keeps the id of a deleted default printer: the remaining printer with the lowest id
// takes its place.
int DeletePrinter(Connection &c, const CommandLine &command, const std::string &baseName) {
    const std::optional<std::string> name = PrinterName(c, command, baseName);
    if (!name) return 1;
    int defaultId = 0;
    std::vector<SystemPrinter> printers = SystemPrinters(c, &defaultId);
    const int id = FindId(printers, *name);
    if (id == 0) {
        Fail(baseName, "No printer named '" + *name + "'.");
        return 1;
    }
    Ipp request = SystemRequest(IPP_OP_DELETE_PRINTER);
    ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "printer-id", id);
    if (!Succeeded(Send(c, std::move(request), kSystemResource))) {
        Fail(baseName, std::string("Unable to delete printer: ") + cupsLastErrorString());
        return 1;
    }
    std::erase_if(printers, [&](const SystemPrinter &p) { return p.id == id; });
    if (defaultId == id && !printers.empty())
        SetDefaultPrinter(c, std::min_element(printers.begin(), printers.end(),
                                              [](const SystemPrinter &a, const SystemPrinter &b) {
                                                  return a.id < b.id;
                                              })
                                 ->id);
    return 0;
}

int SetDefault(Connection &c, const CommandLine &command, const std::string &baseName) {
    const std::optional<std::string> name = PrinterName(c, command, baseName);
    if (!name) return 1;
    const int id = FindId(SystemPrinters(c, nullptr), *name);
    if (id == 0) {
        Fail(baseName, "No printer named '" + *name + "'.");
        return 1;
    }
    if (!SetDefaultPrinter(c, id)) {
        Fail(baseName, std::string("Unable to set default printer: ") + cupsLastErrorString());
        return 1;
    }
    return 0;
}

// The values of a keyword, enum, resolution, boolean or range attribute as `-o` takes them.
std::string ValueText(ipp_attribute_t *attr, int i) {
    char text[256];
    switch (ippGetValueTag(attr)) {
    case IPP_TAG_ENUM:
        return ippEnumString(ippGetName(attr), ippGetInteger(attr, i));
    case IPP_TAG_BOOLEAN:
        return ippGetBoolean(attr, i) ? "true" : "false";
    case IPP_TAG_INTEGER:
        return std::to_string(ippGetInteger(attr, i));
    case IPP_TAG_RANGE: {
        int upper = 0;
        const int lower = ippGetRange(attr, i, &upper);
        return std::to_string(lower) + " to " + std::to_string(upper);
    }
    case IPP_TAG_RESOLUTION: {
        ipp_res_t units;
        int y = 0;
        const int x = ippGetResolution(attr, i, &y, &units);
        std::snprintf(text, sizeof text, "%d%s", x, units == IPP_RES_PER_INCH ? "dpi" : "dpcm");
        return text;
    }
    default:
        if (const char *s = ippGetString(attr, i, nullptr)) return s;
        return "";
    }
}

// The printer's default of an option: NAME-default, or the member of media-col-default.
std::string DefaultOf(ipp_t *printer, const std::string &name) {
    if (name == "media-source") {
        ipp_t *col = ippGetCollection(
            ippFindAttribute(printer, "media-col-default", IPP_TAG_BEGIN_COLLECTION), 0);
        ipp_attribute_t *source = ippFindAttribute(col, "media-source", IPP_TAG_ZERO);
        return source ? ValueText(source, 0) : "";
    }
    ipp_attribute_t *d = ippFindAttribute(printer, (name + "-default").c_str(), IPP_TAG_ZERO);
    return d ? ValueText(d, 0) : "";
}

// One option: its supported values, the default marked; a range or boolean on one line.
void PrintOption(ipp_t *printer, const std::string &name) {
    ipp_attribute_t *supported =
        ippFindAttribute(printer, (name + "-supported").c_str(), IPP_TAG_ZERO);
    if (supported == nullptr) return;
    const std::string def = DefaultOf(printer, name);
    const ipp_tag_t tag = ippGetValueTag(supported);
    if (tag == IPP_TAG_BOOLEAN || tag == IPP_TAG_RANGE || name == "print-darkness") {
        const std::string values = tag == IPP_TAG_BOOLEAN ? "true or false"
                                   : tag == IPP_TAG_RANGE ? ValueText(supported, 0)
                                                          : "-100 to 100";
        std::printf("  -o %s=%s%s\n", name.c_str(), values.c_str(),
                    def.empty() ? "" : (" (default " + def + ")").c_str());
        return;
    }
    for (int i = 0; i < ippGetCount(supported); ++i) {
        const std::string value = ValueText(supported, i);
        std::printf("  -o %s=%s%s\n", name.c_str(), value.c_str(),
                    value == def ? " (default)" : "");
    }
}

// The job options the printer takes, its own options among them, then the printer settings
// that modify changes.
int ShowOptions(Connection &c, const CommandLine &command, const std::string &baseName) {
    std::string name;
    if (auto d = command.values.find('d'); d != command.values.end()) {
        name = d->second;
    } else if (command.values.count('u') == 0) {
        Ipp request = NewRequest(IPP_OP_CUPS_GET_DEFAULT);
        AddUser(request.get());
        Ipp response = Send(c, std::move(request), kSystemResource);
        const char *found = ippGetString(
            ippFindAttribute(response.get(), "printer-name", IPP_TAG_NAME), 0, nullptr);
        if (found == nullptr) {
            Fail(baseName, "No default printer available.");
            return 1;
        }
        name = found;
    }
    std::string resource = c.resource;
    Ipp response =
        Send(c, PrinterRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, command, name, resource), resource);
    if (!Succeeded(response)) {
        Fail(baseName, std::string("Unable to get printer options: ") + cupsLastErrorString());
        return 1;
    }
    ipp_t *printer = response.get();
    std::puts("Job options (submit -o NAME=VALUE; modify -o NAME=VALUE sets the default):");
    static const char *const kStandard[] = {"copies",           "media",
                                            "media-source",     "sides",
                                            "print-quality",    "printer-resolution",
                                            "print-darkness",   "orientation-requested",
                                            "print-color-mode", "multiple-document-handling"};
    for (const char *option : kStandard)
        PrintOption(printer, option);
    if (ippGetBoolean(ippFindAttribute(printer, "page-ranges-supported", IPP_TAG_BOOLEAN), 0))
        std::puts("  -o page-ranges=FIRST-LAST");
    for (const VendorOption &v : VendorOptions())
        PrintOption(printer, v.attr);
    std::puts("\nPrinter settings (modify -o NAME=VALUE):");
    ipp_attribute_t *darkness =
        ippFindAttribute(printer, "printer-darkness-configured", IPP_TAG_INTEGER);
    if (darkness != nullptr)
        std::printf("  -o printer-darkness-configured=0 to 100 (now %d)\n",
                    ippGetInteger(darkness, 0));
    std::string sources, ready;
    for (const MediaSource &source : PrinterSources())
        sources += std::string(sources.empty() ? "" : ", ") + source.pwg;
    ipp_attribute_t *readyAttr = ippFindAttribute(printer, "media-ready", IPP_TAG_ZERO);
    for (int i = 0; i < ippGetCount(readyAttr); ++i)
        ready += std::string(i ? "," : "") + ValueText(readyAttr, i);
    std::printf("  -o media-ready=SIZE,SIZE (the paper in %s; now %s)\n", sources.c_str(),
                ready.c_str());
    for (const char *text :
         {"printer-location='LOCATION'", "printer-organization='ORGANIZATION'",
          "printer-organizational-unit='UNIT'", "printer-geo-location='geo:LATITUDE,LONGITUDE'"})
        std::printf("  -o %s\n", text);
    return 0;
}

// The printer's state, its reasons and its unfinished jobs with their messages.
int ShowPrinterStatus(Connection &c, const CommandLine &command, const std::string &baseName) {
    const std::optional<std::string> name = PrinterName(c, command, baseName);
    if (!name) return 1;
    std::string resource = c.resource;
    Ipp request = PrinterRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, command, *name, resource);
    const char *wanted[] = {"printer-state", "printer-state-reasons",
                            "printer-state-change-date-time", "printer-is-accepting-jobs"};
    ippAddStrings(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 4,
                  nullptr, wanted);
    Ipp printer = Send(c, std::move(request), resource);
    if (!Succeeded(printer)) {
        Fail(baseName, "No printer named '" + *name + "': " + cupsLastErrorString());
        return 1;
    }
    ipp_t *p = printer.get();
    const int state = ippGetInteger(ippFindAttribute(p, "printer-state", IPP_TAG_ENUM), 0);
    char since[256] = "";
    const time_t changed = ippDateToTime(
        ippGetDate(ippFindAttribute(p, "printer-state-change-date-time", IPP_TAG_DATE), 0));
    httpGetDateString2(changed, since, sizeof since);
    std::string line = *name + ": " + ippEnumString("printer-state", state) + " since " + since;
    ipp_attribute_t *reasons = ippFindAttribute(p, "printer-state-reasons", IPP_TAG_KEYWORD);
    std::string reasonText;
    for (int i = 0; i < ippGetCount(reasons); ++i) {
        const char *reason = ippGetString(reasons, i, nullptr);
        if (reason != nullptr && std::strcmp(reason, "none") != 0)
            reasonText += std::string(reasonText.empty() ? "" : ", ") + reason;
    }
    if (!reasonText.empty()) line += "; " + reasonText;
    if (!ippGetBoolean(ippFindAttribute(p, "printer-is-accepting-jobs", IPP_TAG_BOOLEAN), 0))
        line += "; not accepting jobs";
    std::printf("%s.\n", line.c_str());

    Ipp jobsRequest = PrinterRequest(IPP_OP_GET_JOBS, command, *name, resource);
    ippAddString(jobsRequest.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr,
                 "not-completed");
    const char *jobAttrs[] = {"job-id", "job-state", "job-state-message"};
    ippAddStrings(jobsRequest.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3,
                  nullptr, jobAttrs);
    Ipp jobs = Send(c, std::move(jobsRequest), resource);
    int id = 0, jobState = 0;
    std::string message;
    auto flush = [&] {
        if (id == 0) return;
        std::printf("  job %d %s%s%s\n", id, ippEnumString("job-state", jobState),
                    message.empty() ? "" : ": ", message.c_str());
        id = jobState = 0;
        message.clear();
    };
    for (ipp_attribute_t *a = ippFirstAttribute(jobs.get()); a; a = ippNextAttribute(jobs.get())) {
        if (ippGetGroupTag(a) != IPP_TAG_JOB || ippGetName(a) == nullptr) {
            flush();
            continue;
        }
        const std::string attr = ippGetName(a);
        if (attr == "job-id") id = ippGetInteger(a, 0);
        if (attr == "job-state") jobState = ippGetInteger(a, 0);
        if (attr == "job-state-message") message = ippGetString(a, 0, nullptr);
    }
    flush();
    return 0;
}

// A file: device URI's path when the file does not exist yet but its directory does.
std::string NewDeviceFile(const CommandLine &command) {
    auto v = command.values.find('v');
    if (v == command.values.end() || command.values.count('u') != 0) return "";
    char scheme[32], user[256], host[256], resource[1024];
    int port = 0;
    if (httpSeparateURI(HTTP_URI_CODING_ALL, v->second.c_str(), scheme, sizeof scheme, user,
                        sizeof user, host, sizeof host, &port, resource,
                        sizeof resource) < HTTP_URI_STATUS_OK ||
        std::strcmp(scheme, "file") != 0)
        return "";
    std::string path = resource;
    if (const std::size_t query = path.find('?'); query != std::string::npos) path.resize(query);
    struct stat info {};
    const std::size_t slash = path.rfind('/');
    if (path.empty() || path.back() == '/' || slash == std::string::npos ||
        lstat(path.c_str(), &info) == 0 || errno != ENOENT)
        return "";
    const std::string dir = slash == 0 ? "/" : path.substr(0, slash);
    return stat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? path : "";
}

// Whether the -o options name media= and no member of media-col.
bool NamesOnlyMediaSize(const CommandLine &command) {
    cups_option_t *options = nullptr;
    int count = 0;
    for (const std::string &text : command.options)
        count = cupsParseOptions(text.c_str(), count, &options);
    bool media = cupsGetOption("media", count, options) != nullptr;
    for (const char *member :
         {"media-source", "media-type", "media-top-offset", "media-left-offset", "media-tracking"})
        if (cupsGetOption(member, count, options) != nullptr) media = false;
    cupsFreeOptions(count, options);
    return media;
}

} // namespace

CommandLine ParseCommandLine(int argc, char *argv[]) {
    CommandLine command;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.size() == 2 && arg[0] == '-' && std::strchr("dhjmnotuv", arg[1])) {
            if (i + 1 >= argc) {
                command.runnable = false;
                break;
            }
            command.values[arg[1]] = argv[++i];
            if (arg[1] == 'o') command.options.push_back(argv[i]);
        } else if (arg == "-a") {
            command.values['a'] = "true";
        } else if (arg[0] == '-' || !command.subcommand.empty() ||
                   std::none_of(std::begin(kSubcommands), std::end(kSubcommands),
                                [&](const char *s) { return arg == s; })) {
            command.runnable = false; // a file, or an option PAPPL reports
        } else {
            command.subcommand = arg;
        }
    }
    return command;
}

std::optional<int> RunOwnSubcommand(const CommandLine &command, const std::string &baseName) {
    const std::string &sub = command.subcommand;
    const bool named = command.values.count('d') || command.values.count('u');
    const bool ours =
        sub == "delete" || sub == "options" || ((sub == "default" || sub == "status") && named);
    if (!ours || !command.runnable || command.values.count('o')) return std::nullopt;
    std::optional<Connection> c = Connect(command, baseName);
    if (!c) return 1;
    if (sub == "delete") return DeletePrinter(*c, command, baseName);
    if (sub == "default") return SetDefault(*c, command, baseName);
    if (sub == "status") return ShowPrinterStatus(*c, command, baseName);
    return ShowOptions(*c, command, baseName);
}

PapplRun BeforePappl(const CommandLine &command, const std::string &baseName) {
    PapplRun run;
    if (command.subcommand == "server") {
        // Only when no server of this name runs: a running server owns its state file.
        if (http_t *http = ConnectLocalServer(baseName)) {
            httpClose(http);
        } else if (!RequeueInterruptedJobs(StateFilePath(baseName))) {
            Fail(baseName, "Cannot rewrite the state file " + StateFilePath(baseName) + ".");
        }
    }
    if (command.subcommand == "modify" && NamesOnlyMediaSize(command))
        run.extraArgs = {"-o", std::string("media-type=") + kPrinterMediaType};
    if (command.subcommand == "add") {
        const std::string path = NewDeviceFile(command);
        if (!path.empty()) {
            const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) {
                close(fd);
                run.createdDevice = path;
            }
        }
    }
    return run;
}

void AfterPappl(const CommandLine &command, const std::string &baseName, const PapplRun &run,
                int status) {
    if (status != 0) {
        if (!run.createdDevice.empty()) unlink(run.createdDevice.c_str());
        return;
    }
    auto d = command.values.find('d');
    if (command.subcommand != "add" || command.values.count('u') || d == command.values.end())
        return;
    std::optional<Connection> c = Connect(command, baseName);
    if (!c) return;
    int defaultId = 0;
    const std::vector<SystemPrinter> printers = SystemPrinters(*c, &defaultId);
    const int id = FindId(printers, d->second);
    if (id != 0 && std::none_of(printers.begin(), printers.end(),
                                [&](const SystemPrinter &p) { return p.id == defaultId; }))
        SetDefaultPrinter(*c, id);
}
