#include "tests/app/app_server.h"

#include <gtest/gtest.h>

#include <cups/raster.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

int FreeLoopbackPort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr *>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    close(s);
    return port;
}

namespace {

std::string ReadAll(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

} // namespace

AppServer::AppServer(const AppServerSetup &setup)
    : name_("kelvra-app-test-" + std::filesystem::path(dir_.path()).filename().string()),
      wrapper_(setup.wrapper), env_(setup.env), port_(FreeLoopbackPort()) {
    for (char &c : name_)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '-';
    program_ = dir_.file(name_);
    if (symlink(KELVRA_APP_BIN, program_.c_str()) != 0) return;
    options_ = {{"server-port", std::to_string(port_)}, {"listen-hostname", "localhost"},
                {"server-options", "no-tls"},           {"spool-directory", dir_.file("spool")},
                {"log-file", dir_.file("server.log")},  {"log-level", "debug"}};
    for (const auto &[k, v] : setup.options)
        options_[k] = v;
    Start();
}

bool AppServer::Start() {
    ok_ = false;
    std::vector<std::string> args = wrapper_;
    args.insert(args.end(), {program_, "server"});
    for (const auto &[k, v] : options_)
        if (!v.empty()) args.insert(args.end(), {"-o", k + "=" + v});
    std::vector<std::string> env;
    for (const auto &[k, v] : Env())
        env.push_back(k + "=" + v);
    for (const auto &[k, v] : env_)
        env.push_back(k + "=" + v);
    if (const char *path = std::getenv("PATH")) env.push_back(std::string("PATH=") + path);
    pid_ = fork();
    if (pid_ == 0) {
        const int out = open(dir_.file("server.out").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        dup2(out, 1);
        dup2(out, 2);
        ExecWith(args, env);
    }
    // Up when it answers IPP on its socket, as its sub-commands reach it.
    const std::string socket = getuid() == 0
                                   ? "/run/" + name_ + ".sock"
                                   : dir_.file(name_ + std::to_string(getuid()) + ".sock");
    for (int i = 0; i < 200 && pid_ > 0 && !ok_; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        IppPtr request(ippNewRequest(IPP_OP_GET_PRINTERS));
        ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "system-uri", nullptr,
                     "ipp://localhost/ipp/system");
        http_t *http = httpConnect2(socket.c_str(), 0, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1,
                                    1000, nullptr);
        if (http == nullptr) continue;
        IppPtr response(cupsDoRequest(http, request.release(), "/ipp/system"));
        httpClose(http);
        ok_ = response != nullptr &&
              ippGetStatusCode(response.get()) < IPP_STATUS_REDIRECTION_OTHER_SITE;
    }
    return ok_;
}

AppServer::~AppServer() {
    if (pid_ > 0) Stop();
    RemoveRootFiles();
}

double AppServer::Stop(bool terminate) {
    if (pid_ <= 0) return 0;
    const auto start = std::chrono::steady_clock::now();
    if (terminate) kill(pid_, SIGTERM);
    int status = 0;
    bool exited = false;
    for (int i = 0; i < 1500 && !exited; ++i) {
        exited = waitpid(pid_, &status, WNOHANG) == pid_;
        if (!exited) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (exited) {
        CheckSanitizerReports();
    } else {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    ok_ = false;
    return seconds;
}

// Running as root, the server kept its state and socket outside the temporary directory.
void AppServer::RemoveRootFiles() const {
    if (getuid() != 0) return;
    unlink(("/var/lib/" + name_ + ".state").c_str());
    unlink(("/run/" + name_ + ".sock").c_str());
}

// The server and its sub-commands find each other through the socket in TMPDIR.
std::map<std::string, std::string> AppServer::Env() const {
    return {{"HOME", dir_.path()},
            {"XDG_CONFIG_HOME", dir_.path()},
            {"TMPDIR", dir_.path()},
            {"KELVRA_CMS_LIBRARY", KELVRA_CMSLIB_BIN},
            {"LSAN_OPTIONS", "suppressions=" KELVRA_APP_LSAN_SUPP}};
}

// In a sanitizer build, a report from the server fails the test that used it.
void AppServer::CheckSanitizerReports() const {
    const std::string out = ReadAll(dir_.file("server.out"));
    for (const char *report : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"})
        if (out.find(report) != std::string::npos) ADD_FAILURE() << "the server reported:\n" << out;
}

// PAPPL moves a full log to NAME.O and starts it again.
std::string AppServer::Log() const {
    return ReadAll(dir_.file("server.log.O")) + ReadAll(dir_.file("server.log")) +
           ReadAll(dir_.file("server.out"));
}

std::string AppServer::Output() const {
    return ReadAll(dir_.file("server.out"));
}

std::string AppServer::Uri(const std::string &printer) const {
    return "ipp://localhost:" + std::to_string(port_) + "/ipp/print/" + printer;
}

FilterRun AppServer::Run(const std::vector<std::string> &args,
                         const std::map<std::string, std::string> &env) const {
    FilterCall call;
    std::vector<std::string> command = wrapper_;
    command.push_back(program_);
    call.binary = command[0];
    call.args.assign(command.begin() + 1, command.end());
    call.args.insert(call.args.end(), args.begin(), args.end());
    call.env = Env();
    for (const auto &[k, v] : env)
        call.env[k] = v;
    return RunFilterProcess(call);
}

bool AppServer::AddPrinter(const std::string &name, const std::string &driver,
                           const std::string &uri) const {
    std::string device = uri;
    if (device.empty()) {
        mkdir(OutputDir(name).c_str(), 0700);
        device = "file://" + OutputDir(name);
    }
    return Run({"add", "-d", name, "-m", driver, "-v", device}).exitCode == 0;
}

// The printer's URI and the user come first in the operation group.
IppPtr AppServer::NewRequest(ipp_op_t op, const std::string &printer) const {
    IppPtr request(ippNewRequest(op));
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
                 Uri(printer).c_str());
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 "tester");
    return request;
}

IppPtr AppServer::Request(const std::string &printer, IppPtr request,
                          const std::string &file) const {
    http_t *http = httpConnect2("localhost", port_, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1,
                                30000, nullptr);
    if (http == nullptr) return nullptr;
    const std::string resource = ResourceOf(printer);
    IppPtr response(
        file.empty() ? cupsDoRequest(http, request.release(), resource.c_str())
                     : cupsDoFileRequest(http, request.release(), resource.c_str(), file.c_str()));
    httpClose(http);
    return response;
}

// One GET (`form` empty) or form POST on a connection of its own: the body of a 200 answer,
// else "".
std::string AppServer::Http(const std::string &path, const std::string &form,
                            const std::string &language) const {
    http_t *http = httpConnect2("localhost", port_, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1,
                                30000, nullptr);
    if (http == nullptr) return "";
    httpClearFields(http);
    if (!language.empty()) httpSetField(http, HTTP_FIELD_ACCEPT_LANGUAGE, language.c_str());
    bool sent;
    if (form.empty()) {
        sent = httpGet(http, path.c_str()) == 0;
    } else {
        httpSetField(http, HTTP_FIELD_CONTENT_TYPE, "application/x-www-form-urlencoded");
        httpSetLength(http, form.size());
        sent = httpPost(http, path.c_str()) == 0 &&
               httpWrite2(http, form.data(), form.size()) == static_cast<ssize_t>(form.size());
    }
    std::string body;
    http_status_t status = HTTP_STATUS_ERROR;
    if (sent) {
        while ((status = httpUpdate(http)) == HTTP_STATUS_CONTINUE) {
        }
        char buf[8192];
        ssize_t n;
        while ((n = httpRead2(http, buf, sizeof buf)) > 0)
            body.append(buf, static_cast<std::size_t>(n));
    }
    httpClose(http);
    return status == HTTP_STATUS_OK ? body : "";
}

IppPtr AppServer::PrinterAttributes(const std::string &printer) const {
    return Request(printer, NewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, printer));
}

// The submit sub-command answers "<printer>-<job id>".
int AppServer::Submit(const std::string &printer, const std::string &file,
                      const std::vector<std::string> &options) const {
    std::vector<std::string> args = {"submit", "-d", printer};
    for (const std::string &o : options) {
        args.push_back("-o");
        args.push_back(o);
    }
    args.push_back(file);
    const FilterRun run = Run(args);
    const std::size_t dash = run.out.rfind('-');
    return run.exitCode == 0 && dash != std::string::npos ? std::atoi(run.out.c_str() + dash + 1)
                                                          : 0;
}

int AppServer::PrintRaster(const std::string &printer, const std::string &file,
                           const std::map<std::string, std::string> &keywords,
                           const char *format) const {
    IppPtr request = NewRequest(IPP_OP_PRINT_JOB, printer);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr,
                 format);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, "raster");
    for (const auto &[k, v] : keywords)
        ippAddString(request.get(), IPP_TAG_JOB, IPP_TAG_KEYWORD, k.c_str(), nullptr, v.c_str());
    IppPtr response = Request(printer, std::move(request), file);
    return ippGetInteger(ippFindAttribute(response.get(), "job-id", IPP_TAG_INTEGER), 0);
}

http_t *AppServer::StartStreamedRaster(const std::string &printer,
                                       const std::string &jobName) const {
    http_t *http = httpConnect2("localhost", port_, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1,
                                30000, nullptr);
    if (http == nullptr) return nullptr;
    IppPtr request = NewRequest(IPP_OP_PRINT_JOB, printer);
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr,
                 "image/pwg-raster");
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr,
                 jobName.c_str());
    if (cupsSendRequest(http, request.get(), ResourceOf(printer).c_str(), CUPS_LENGTH_VARIABLE) !=
        HTTP_STATUS_CONTINUE) {
        httpClose(http);
        return nullptr;
    }
    return http;
}

IppPtr AppServer::JobAttributes(const std::string &printer, int jobId) const {
    IppPtr request = NewRequest(IPP_OP_GET_JOB_ATTRIBUTES, printer);
    ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", jobId);
    return Request(printer, std::move(request));
}

bool AppServer::CancelJob(const std::string &printer, int jobId) const {
    IppPtr request = NewRequest(IPP_OP_CANCEL_JOB, printer);
    ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", jobId);
    IppPtr response = Request(printer, std::move(request));
    return response && ippGetStatusCode(response.get()) == IPP_STATUS_OK;
}

int AppServer::WaitJob(const std::string &printer, int jobId, std::string *message,
                       std::chrono::seconds timeout) const {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        IppPtr response = JobAttributes(printer, jobId);
        const int state =
            ippGetInteger(ippFindAttribute(response.get(), "job-state", IPP_TAG_ENUM), 0);
        if (state >= IPP_JSTATE_CANCELED) {
            if (message != nullptr) {
                const char *text = ippGetString(
                    ippFindAttribute(response.get(), "job-state-message", IPP_TAG_TEXT), 0,
                    nullptr);
                *message = text ? text : "";
            }
            return state;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return 0;
}

void WriteRaster(const std::string &path, const char *media, int pages, int dpi, cups_mode_t mode) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    cups_raster_t *ras = cupsRasterOpen(fd, mode);
    for (int p = 1; p <= pages; ++p) {
        cups_page_header2_t h;
        cupsRasterInitPWGHeader(&h, pwgMediaForPWG(media), "sgray_8", dpi, dpi, "one-sided",
                                "normal");
        h.cupsInteger[CUPS_RASTER_PWG_TotalPageCount] = static_cast<unsigned>(pages);
        cupsRasterWriteHeader2(ras, &h);
        std::vector<unsigned char> line(h.cupsBytesPerLine);
        for (unsigned y = 0; y < h.cupsHeight; ++y) {
            std::fill(line.begin(), line.end(), y < unsigned(p) * 100 ? 0 : 255);
            cupsRasterWritePixels(ras, line.data(), h.cupsBytesPerLine);
        }
    }
    cupsRasterClose(ras);
    close(fd);
}

std::string Ghostscript(const std::vector<std::string> &args) {
    FilterCall gs;
    gs.binary = KELVRA_GS_BIN;
    gs.args = {"-q", "-dNOPAUSE", "-dBATCH", "-dSAFER"};
    gs.args.insert(gs.args.end(), args.begin(), args.end());
    const FilterRun run = RunFilterProcess(gs);
    return run.exitCode == 0 ? "" : "gs failed: " + run.err;
}

std::string SessionToken(const std::string &page) {
    const std::string key = "name=\"session\" value=\"";
    const std::size_t at = page.find(key);
    if (at == std::string::npos) return "";
    return page.substr(at + key.size(), page.find('"', at + key.size()) - at - key.size());
}
