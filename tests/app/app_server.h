// A private kelvra-printer-app server for a test: a free loopback port, TLS off, its own spool
// directory and log under a temporary directory, and a name of its own (the program is run
// through a symlink, and the server names its state file and socket after the name it was
// started under: as root they are /var/lib/NAME.state and /run/NAME.sock, removed again by the
// destructor). Stopped with SIGTERM, then SIGKILL (its shutdown sub-command can take a
// minute). Printers print to file: devices in the temporary directory; the test reads their
// job streams back.
#pragma once

#include <cups/cups.h>
#include <cups/raster.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/filter_runner.h"

struct IppDeleter {
    void operator()(ipp_t *ipp) const { ippDelete(ipp); }
};
using IppPtr = std::unique_ptr<ipp_t, IppDeleter>;

// A server unlike the default one: server options replacing the defaults of the same name (""
// leaves one out), a command the server and its sub-commands run under (ip netns exec NS), and
// variables added to the server's environment.
struct AppServerSetup {
    std::map<std::string, std::string> options;
    std::vector<std::string> wrapper;
    std::map<std::string, std::string> env = {};
};

// A loopback port nobody listens on right now.
int FreeLoopbackPort();

class AppServer {
  public:
    // Starts the server and waits until it answers on its UNIX socket; `ok()` says whether it
    // did.
    explicit AppServer(const AppServerSetup &setup = {});
    ~AppServer();
    // Stops the server with SIGTERM (without: waits for it to stop by itself; SIGKILL after
    // 15 s); returns the seconds it took to exit (more than 15 when it had to be killed).
    double Stop(bool terminate = true);
    // Starts it again under the same name, port and directories; false when it does not answer.
    bool Start();
    AppServer(const AppServer &) = delete;
    AppServer &operator=(const AppServer &) = delete;

    bool ok() const { return ok_; }
    int port() const { return port_; }
    const std::string &dir() const { return dir_.path(); }
    std::string Log() const;
    // What the server wrote to its standard output and error.
    std::string Output() const;

    // Runs a sub-command of the program against this server.
    // `env` adds to or replaces the server's environment.
    FilterRun Run(const std::vector<std::string> &args,
                  const std::map<std::string, std::string> &env = {}) const;
    // Adds printer `name` with `driver` on the device URI (default: a file: directory of its
    // own, OutputDir(name)).
    bool AddPrinter(const std::string &name, const std::string &driver,
                    const std::string &uri = "") const;
    std::string OutputDir(const std::string &name) const { return dir_.file("out-" + name); }
    // ipp://localhost:PORT/ipp/print/NAME, and the web interface's http://localhost:PORT.
    std::string Uri(const std::string &printer) const;
    std::string WebRoot() const { return "http://localhost:" + std::to_string(port_); }

    // A request on the printer's URI, and its answer (with a document when `file` is given).
    IppPtr NewRequest(ipp_op_t op, const std::string &printer) const;
    IppPtr Request(const std::string &printer, IppPtr request, const std::string &file = "") const;
    IppPtr PrinterAttributes(const std::string &printer) const;
    // Prints a file with Print-Job and job attributes given as name=value texts (integers,
    // keywords and ranges as the submit sub-command reads them); returns the job id or 0.
    int Submit(const std::string &printer, const std::string &file,
               const std::vector<std::string> &options = {}) const;
    // Prints a raster document (`format` image/pwg-raster or image/urf) with Print-Job (the
    // document is streamed to the driver) and keyword job attributes; returns the job id or 0.
    int PrintRaster(const std::string &printer, const std::string &file,
                    const std::map<std::string, std::string> &keywords = {},
                    const char *format = "image/pwg-raster") const;
    // Starts a Print-Job of a PWG raster document named `jobName` whose bytes the caller then
    // sends in pieces (cupsWriteRequestData, httpFlushWrite) before reading the answer
    // (cupsGetResponse on ResourceOf(printer)); null when the server cannot be reached.
    http_t *StartStreamedRaster(const std::string &printer, const std::string &jobName) const;
    static std::string ResourceOf(const std::string &printer) { return "/ipp/print/" + printer; }
    // The job's attributes; Cancel-Job.
    IppPtr JobAttributes(const std::string &printer, int jobId) const;
    bool CancelJob(const std::string &printer, int jobId) const;
    // Waits until the job is completed, aborted or cancelled; returns its state (0 on timeout)
    // and its job-state-message.
    int WaitJob(const std::string &printer, int jobId, std::string *message = nullptr,
                std::chrono::seconds timeout = std::chrono::seconds(120)) const;

    // The body of a page or file of the web server (with Accept-Language `language` when
    // given); "" unless it answers 200.
    std::string HttpGet(const std::string &path, const std::string &language = "") const {
        return Http(path, "", language);
    }
    // Posts an urlencoded form to a page; its body, "" unless it answers 200.
    std::string HttpPost(const std::string &path, const std::string &form) const {
        return Http(path, form, "");
    }

  private:
    std::string Http(const std::string &path, const std::string &form,
                     const std::string &language) const;
    std::map<std::string, std::string> Env() const;
    void RemoveRootFiles() const;
    void CheckSanitizerReports() const;

    TempDir dir_;
    std::string name_;                           // the server's program name
    std::string program_;                        // the symlink it runs through
    std::vector<std::string> wrapper_;           // what it runs under
    std::map<std::string, std::string> env_;     // added to the server's environment
    std::map<std::string, std::string> options_; // its server options
    int port_ = 0;
    pid_t pid_ = -1;
    bool ok_ = false;
};

// Runs Ghostscript (-q -dNOPAUSE -dBATCH -dSAFER and `args`); "" when it succeeded, else
// its error output.
std::string Ghostscript(const std::vector<std::string> &args);

// The form token of a web page (PAPPL checks it on every form post); "" when it has none.
std::string SessionToken(const std::string &page);

// Writes a raster file as a client makes it (cupsRasterInitPWGHeader: A4 is 595 x 841 points):
// `pages` pages of 8-bit sGray at `dpi` whose page p has a black bar of p * 100 lines at its
// top. PWG raster names each page's media; Apple raster (CUPS_RASTER_WRITE_APPLE) does not.
void WriteRaster(const std::string &path, const char *media, int pages, int dpi,
                 cups_mode_t mode = CUPS_RASTER_WRITE_PWG);
