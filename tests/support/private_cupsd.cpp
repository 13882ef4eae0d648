#include "tests/support/private_cupsd.h"

#include <cups/cups.h>

#include <csignal>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

const std::string kScript = std::string(KELVRA_SOURCE_DIR) + "/tests/support/private_cupsd.sh";

struct IppFree {
    void operator()(ipp_t *ipp) const { ippDelete(ipp); }
};

} // namespace

std::string FindOnPath(const std::string &program) {
    const char *path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
}

int LpJobId(const std::string &lpOutput) {
    const std::string lead = "request id is ";
    const size_t at = lpOutput.find(lead);
    if (at == std::string::npos) return 0;
    const size_t end = lpOutput.find(' ', at + lead.size());
    const size_t dash = lpOutput.rfind('-', end);
    if (end == std::string::npos || dash == std::string::npos || dash < at) return 0;
    return std::atoi(lpOutput.c_str() + dash + 1);
}

PrivateCupsd::PrivateCupsd() {
    FilterCall prepare;
    prepare.binary = kScript;
    prepare.args = {"prepare", dir_.path()};
    if (RunFilterProcess(prepare).exitCode != 0) return;
    std::vector<std::string> args = {kScript, "run", dir_.path()};
    std::vector<std::string> env;
    if (const char *path = std::getenv("PATH")) env.push_back(std::string("PATH=") + path);
    pid_ = fork();
    if (pid_ == 0) ExecWith(args, env); // the script becomes cupsd
    // Up when it answers on its socket.
    for (int i = 0; i < 100 && pid_ > 0 && !ok_; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ok_ = Client("lpstat", {"-r"}).out.find("is running") != std::string::npos;
    }
}

PrivateCupsd::~PrivateCupsd() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid_, &status, WNOHANG) == pid_) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
}

std::string PrivateCupsd::Log() const {
    return ReadWholeFile(dir_.file("log/cupsd-t")) + ReadWholeFile(dir_.file("log/error_log")) +
           ReadWholeFile(dir_.file("log/cupsd.stderr"));
}

FilterRun PrivateCupsd::Client(const std::string &program,
                               const std::vector<std::string> &args) const {
    FilterCall call;
    call.binary = FindOnPath(program);
    call.args = args;
    // HOME keeps the user's client.conf and credentials out.
    call.env = {{"CUPS_SERVER", socket()}, {"HOME", dir_.path()}};
    return RunFilterProcess(call);
}

int PrivateCupsd::WaitJob(int id, std::string *reasons, std::chrono::seconds timeout) const {
    const auto end = std::chrono::steady_clock::now() + timeout;
    const std::string uri = "ipp://localhost/jobs/" + std::to_string(id);
    while (std::chrono::steady_clock::now() < end) {
        http_t *http = httpConnect2(socket().c_str(), 0, nullptr, AF_LOCAL, HTTP_ENCRYPTION_NEVER,
                                    1, 5000, nullptr);
        if (http == nullptr) return 0;
        ipp_t *request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.c_str());
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                     cupsUser());
        std::unique_ptr<ipp_t, IppFree> response(cupsDoRequest(http, request, "/jobs/"));
        httpClose(http);
        const int state =
            ippGetInteger(ippFindAttribute(response.get(), "job-state", IPP_TAG_ENUM), 0);
        std::string why;
        if (ipp_attribute_t *r =
                ippFindAttribute(response.get(), "job-state-reasons", IPP_TAG_KEYWORD)) {
            char text[1024];
            ippAttributeString(r, text, sizeof text);
            why = text;
        }
        // A failing backend stops the queue and leaves its job pending, or holds the job.
        if (state >= IPP_JSTATE_STOPPED || state == IPP_JSTATE_HELD ||
            why.find("printer-stopped") != std::string::npos) {
            if (reasons != nullptr) *reasons = why;
            return state;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return 0;
}
