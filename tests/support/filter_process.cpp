#include "tests/support/filter_process.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPoll = std::chrono::milliseconds(10);

std::string ReadWholeFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}

off_t FileSize(const std::string &path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_size : 0;
}

// Polls `done` until it holds or the timeout passes.
template <typename Pred> bool PollUntil(std::chrono::milliseconds timeout, Pred done) {
    const auto end = Clock::now() + timeout;
    for (;;) {
        if (done()) return true;
        if (Clock::now() >= end) return false;
        std::this_thread::sleep_for(kPoll);
    }
}

// The environment of RunFilterProcess: a few variables kept, the colour library off unless
// the call names one, then the call's own variables.
std::vector<std::string> FilterEnvironment(const FilterCall &call) {
    std::vector<std::string> env;
    for (const char *keep : {"PATH", "TMPDIR", "LANG", "LC_ALL", "ASAN_OPTIONS", "UBSAN_OPTIONS"})
        if (const char *v = std::getenv(keep); v && !call.env.count(keep))
            env.push_back(std::string(keep) + "=" + v);
    if (!call.env.count("KELVRA_CMS_LIBRARY")) env.push_back("KELVRA_CMS_LIBRARY=");
    for (const auto &[k, v] : call.env)
        env.push_back(k + "=" + v);
    return env;
}

} // namespace

FilterProcess::FilterProcess(const FilterCall &call, bool pipeOutput)
    : capture_(std::make_unique<TempDir>()) {
    // A filter that exits early must not kill the test with SIGPIPE on the next write.
    std::signal(SIGPIPE, SIG_IGN);
    outPath_ = capture_->file("out");
    errPath_ = capture_->file("err");
    std::vector<std::string> argvStore{call.binary.empty() ? KELVRA_FILTER_BIN : call.binary};
    argvStore.insert(argvStore.end(), call.args.begin(), call.args.end());
    std::vector<std::string> envStore = FilterEnvironment(call);

    int fds[2] = {-1, -1}, outFds[2] = {-1, -1};
    if (call.stdinFile.empty() && pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    if (pipeOutput && pipe2(outFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        int in = call.stdinFile.empty() ? fds[0] : open(call.stdinFile.c_str(), O_RDONLY);
        int out =
            pipeOutput ? outFds[1] : open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0) _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        // The test ignores SIGPIPE; the filter starts with the default actions.
        std::signal(SIGPIPE, SIG_DFL);
        ExecWith(argvStore, envStore);
    }
    if (fds[0] >= 0) close(fds[0]);
    stdinFd_ = fds[1];
    if (outFds[1] >= 0) close(outFds[1]);
    outFd_ = outFds[0];
}

FilterProcess::~FilterProcess() {
    CloseStdin();
    if (outFd_ >= 0) close(outFd_);
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGKILL);
        while (waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
        }
    }
}

bool FilterProcess::Write(const std::string &bytes) {
    const char *p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        if (stdinFd_ < 0) return false;
        const ssize_t n = write(stdinFd_, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

void FilterProcess::CloseStdin() {
    if (stdinFd_ >= 0) close(stdinFd_);
    stdinFd_ = -1;
}

bool FilterProcess::Signal(int sig) {
    return pid_ > 0 && !reaped_ && kill(pid_, sig) == 0;
}

bool FilterProcess::WaitUntilCatching(int sig, std::chrono::milliseconds timeout) {
    const std::string statusPath = "/proc/" + std::to_string(pid_) + "/status";
    return PollUntil(timeout, [&] {
        std::ifstream in(statusPath);
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind("SigCgt:", 0) != 0) continue;
            const unsigned long long mask = std::strtoull(line.c_str() + 7, nullptr, 16);
            return ((mask >> (sig - 1)) & 1u) != 0;
        }
        return false;
    });
}

bool FilterProcess::WaitUntilInputDrained(std::chrono::milliseconds timeout) {
    return PollUntil(timeout, [&] {
        int pending = 0;
        return stdinFd_ >= 0 && ioctl(stdinFd_, FIONREAD, &pending) == 0 && pending == 0;
    });
}

bool FilterProcess::WaitForErr(const std::string &needle, std::chrono::milliseconds timeout) {
    return PollUntil(timeout, [&] { return Err().find(needle) != std::string::npos; });
}

bool FilterProcess::WaitForOutQuiet(std::chrono::milliseconds quiet,
                                    std::chrono::milliseconds timeout) {
    off_t last = -1;
    auto since = Clock::now();
    return PollUntil(timeout, [&] {
        const off_t size = FileSize(outPath_);
        if (size != last) {
            last = size;
            since = Clock::now();
            return false;
        }
        return size > 0 && Clock::now() - since >= quiet;
    });
}

std::vector<pid_t> FilterProcess::Children() const {
    std::vector<pid_t> children;
    std::error_code ec;
    for (const auto &entry : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string stat = ReadWholeFile(entry.path().string() + "/stat");
        const size_t close = stat.rfind(')');
        if (close == std::string::npos) continue;
        // After the command name: " state ppid ...".
        std::istringstream rest(stat.substr(close + 1));
        std::string state;
        long ppid = 0;
        if (rest >> state >> ppid && ppid == pid_) children.push_back(std::stoi(name));
    }
    return children;
}

size_t FilterProcess::ReadOut(size_t bytes, std::chrono::milliseconds timeout) {
    if (outFd_ < 0) return 0;
    const auto end = Clock::now() + timeout;
    size_t got = 0;
    char buf[65536];
    while (got < bytes) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0) break;
        pollfd pfd{outFd_, POLLIN, 0};
        const int ready = poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        const ssize_t n = read(outFd_, buf, std::min(sizeof buf, bytes - got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        outData_.append(buf, static_cast<size_t>(n));
        got += static_cast<size_t>(n);
    }
    return got;
}

std::string FilterProcess::Out() const {
    return outFd_ >= 0 ? outData_ : ReadWholeFile(outPath_);
}
std::string FilterProcess::Err() const {
    return ReadWholeFile(errPath_);
}

FilterRun FilterProcess::Finish(std::chrono::milliseconds timeout) {
    CloseStdin();
    // Piped output is read to its end, so that the filter is never stuck on a full pipe.
    while (outFd_ >= 0 && ReadOut(SIZE_MAX, timeout) > 0) {
    }
    if (!reaped_) {
        const bool exited = PollUntil(timeout, [&] {
            const pid_t r = waitpid(pid_, &status_, WNOHANG);
            return r == pid_ || (r < 0 && errno != EINTR);
        });
        if (!exited) {
            kill(pid_, SIGKILL);
            while (waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
            }
        }
        reaped_ = true;
    }
    FilterRun run;
    run.exitCode = WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
    run.out = Out();
    run.err = Err();
    return run;
}
