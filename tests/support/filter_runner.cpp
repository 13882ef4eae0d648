#include "tests/support/filter_runner.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

using Clock = std::chrono::steady_clock;

// The environment of a run: a few variables kept, the colour library off and no pause after a
// manual-duplex job unless the call names them, then the call's own variables.
std::vector<std::string> FilterEnvironment(const FilterCall &call) {
    std::vector<std::string> env;
    for (const char *keep : {"PATH", "TMPDIR", "LANG", "LC_ALL", "ASAN_OPTIONS", "UBSAN_OPTIONS",
                             "FAKETIME", "FAKETIME_DONT_FAKE_MONOTONIC"})
        if (const char *v = std::getenv(keep); v && !call.env.count(keep))
            env.push_back(std::string(keep) + "=" + v);
    // A fixed clock for the filter alone (libfaketime's FAKETIME), when whole streams are
    // recorded to be compared with another build's.
    if (const char *v = std::getenv("KELVRA_FILTER_PRELOAD"); v && *v)
        env.push_back(std::string("LD_PRELOAD=") + v);
    if (!call.env.count("KELVRA_CMS_LIBRARY")) env.push_back("KELVRA_CMS_LIBRARY=");
    if (!call.env.count("KELVRA_MANUAL_DUPLEX_PAUSE"))
        env.push_back("KELVRA_MANUAL_DUPLEX_PAUSE=0");
    for (const auto &[k, v] : call.env)
        env.push_back(k + "=" + v);
    return env;
}

// With KELVRA_RECORD_STREAMS=FILE, every job stream of the filter that a test reads is listed in
// FILE by test name, order, FNV-1a hash and size: the lists of two builds show whether a change
// kept every stream.
void RecordStream(const std::string &out) {
    const char *file = std::getenv("KELVRA_RECORD_STREAMS");
    if (file == nullptr || *file == '\0') return;
    const auto *test = ::testing::UnitTest::GetInstance()->current_test_info();
    static thread_local std::string lastTest;
    static thread_local int order = 0;
    const std::string name =
        test ? std::string(test->test_suite_name()) + "." + test->name() : "(no test)";
    order = name == lastTest ? order + 1 : 1;
    lastTest = name;
    uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : out)
        hash = (hash ^ c) * 1099511628211ull;
    std::ofstream(file, std::ios::app)
        << name << " " << order << " " << std::hex << hash << std::dec << " " << out.size() << "\n";
}

// The process state letter of /proc/PID/stat ('R', 'S', 'D', 'Z', ...); 0 when there is no
// such process.
char ProcessState(pid_t pid) {
    const std::string stat = ReadWholeFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')'); // the command name may hold anything
    return close != std::string::npos && close + 2 < stat.size() ? stat[close + 2] : 0;
}

// The hexadecimal signal mask of a /proc/PID/status line such as "SigCgt:"; 0 when absent.
uint64_t StatusMask(const std::string &status, const std::string &key) {
    const size_t at = status.find("\n" + key);
    if (at == std::string::npos) return 0;
    return std::strtoull(status.c_str() + at + 1 + key.size(), nullptr, 16);
}

// Waits for the exit of child `pid` however long it takes.
void ReapBlocking(pid_t pid, int &status) {
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

// Waits up to `timeout` (negative: no limit) for the exit of child `pid`; false when it is
// still running.
bool Reap(pid_t pid, int &status, std::chrono::milliseconds timeout) {
    if (timeout.count() < 0) {
        ReapBlocking(pid, status);
        return true;
    }
    return WaitUntil(timeout, [&] {
        const pid_t r = waitpid(pid, &status, WNOHANG);
        return r == pid || (r < 0 && errno != EINTR);
    });
}

// Milliseconds left until `end` for poll(2): at least 0, -1 for no limit.
int PollTimeout(std::chrono::milliseconds timeout, Clock::time_point end) {
    if (timeout.count() < 0) return -1;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    return static_cast<int>(std::clamp<int64_t>(left.count(), 0, INT32_MAX));
}

} // namespace

FilterProcess::FilterProcess(const FilterCall &call, const ProcessStreams &streams)
    : outPath_(capture_.file("out")), errPath_(capture_.file("err")),
      pipedOut_(streams.output != ProcessStreams::File), isFilter_(call.binary.empty()) {
    // A process that exits early must not kill the test with SIGPIPE on the next write.
    std::signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> argvStore{call.binary.empty() ? KELVRA_FILTER_BIN : call.binary};
    argvStore.insert(argvStore.end(), call.args.begin(), call.args.end());
    std::vector<std::string> envStore = FilterEnvironment(call);

    int inFds[2] = {-1, -1}, outFds[2] = {-1, -1};
    if (streams.pipeInput && pipe2(inFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    if (pipedOut_ && pipe2(outFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    if (pipedOut_ && streams.outputPipeSize > 0 &&
        fcntl(outFds[0], F_SETPIPE_SZ, streams.outputPipeSize) < 0)
        throw std::runtime_error("cannot size the output pipe");
    if (streams.output == ProcessStreams::ClosedPipe) {
        close(outFds[0]);
        outFds[0] = -1;
    }
    const std::string inPath = call.stdinFile.empty() ? "/dev/null" : call.stdinFile;
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        const int in = streams.pipeInput ? inFds[0] : open(inPath.c_str(), O_RDONLY);
        const int out =
            pipedOut_ ? outFds[1] : open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0) _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        // The test ignores SIGPIPE; the process starts with the default actions.
        std::signal(SIGPIPE, SIG_DFL);
        ExecWith(argvStore, envStore);
    }
    if (inFds[0] >= 0) close(inFds[0]);
    stdinFd_ = inFds[1];
    if (outFds[1] >= 0) close(outFds[1]);
    outFd_ = outFds[0];
}

FilterProcess::~FilterProcess() {
    CloseStdin();
    CloseOut();
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGKILL);
        ReapBlocking(pid_, status_);
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

size_t FilterProcess::ReadOut(size_t bytes, std::chrono::milliseconds timeout) {
    if (outFd_ < 0) return 0;
    const auto end = Clock::now() + std::max(timeout, std::chrono::milliseconds(0));
    size_t got = 0;
    char buf[65536];
    while (got < bytes) {
        pollfd pfd{outFd_, POLLIN, 0};
        const int ready = poll(&pfd, 1, PollTimeout(timeout, end));
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

void FilterProcess::CloseOut() {
    if (outFd_ >= 0) close(outFd_);
    outFd_ = -1;
}

bool FilterProcess::Signal(int sig) {
    return pid_ > 0 && !reaped_ && kill(pid_, sig) == 0;
}

bool FilterProcess::WaitUntilCatching(int sig, std::chrono::milliseconds timeout) const {
    const std::string path = "/proc/" + std::to_string(pid_) + "/status";
    return WaitUntil(timeout,
                     [&] { return (StatusMask(ReadWholeFile(path), "SigCgt:") >> (sig - 1)) & 1; });
}

bool FilterProcess::WaitUntilDelivered(int sig, std::chrono::milliseconds timeout) const {
    const std::string path = "/proc/" + std::to_string(pid_) + "/status";
    return WaitUntil(timeout, [&] {
        const std::string status = ReadWholeFile(path);
        const uint64_t pending = StatusMask(status, "SigPnd:") | StatusMask(status, "ShdPnd:");
        return status.empty() || ProcessState(pid_) == 'Z' || ((pending >> (sig - 1)) & 1) == 0;
    });
}

bool FilterProcess::WaitUntilBlockedIn(long nr, long arg0,
                                       std::chrono::milliseconds timeout) const {
    // /proc/PID/syscall answers "running" unless the process sleeps in a system call; then it
    // gives the call's number and its arguments in hex. State 'S' (an interruptible sleep)
    // tells a wait for data or room in a pipe from a short wait for a lock.
    const std::string path = "/proc/" + std::to_string(pid_) + "/syscall";
    return WaitUntil(timeout, [&] {
        std::istringstream call(ReadWholeFile(path));
        long number = -1;
        std::string first;
        if (!(call >> number >> first) || number != nr) return false;
        return std::strtol(first.c_str(), nullptr, 16) == arg0 && ProcessState(pid_) == 'S';
    });
}

bool FilterProcess::WaitForErr(const std::string &needle, std::chrono::milliseconds timeout) const {
    return WaitUntil(timeout, [&] { return Err().find(needle) != std::string::npos; });
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

std::string FilterProcess::Out() const {
    return pipedOut_ ? outData_ : ReadWholeFile(outPath_);
}

std::string FilterProcess::Err() const {
    return ReadWholeFile(errPath_);
}

FilterRun FilterProcess::Finish(std::chrono::milliseconds timeout) {
    FilterRun run;
    CloseStdin();
    // Piped output is read to its end, so that the process is never stuck on a full pipe.
    while (outFd_ >= 0 && ReadOut(SIZE_MAX, timeout) > 0) {
    }
    if (!reaped_) {
        if (!Reap(pid_, status_, timeout)) {
            run.timedOut = true;
            kill(pid_, SIGKILL);
            ReapBlocking(pid_, status_);
        }
        reaped_ = true;
    }
    run.exitCode = WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
    run.out = Out();
    run.err = Err();
    if (isFilter_) RecordStream(run.out);
    return run;
}

FilterRun RunFilterProcess(const FilterCall &call) {
    return FilterProcess(call).Finish(kNoTimeout);
}

bool WaitUntilGone(pid_t pid, std::chrono::milliseconds timeout) {
    return WaitUntil(timeout, [&] {
        const char state = ProcessState(pid);
        return state == 0 || state == 'Z';
    });
}

void ExecWith(std::vector<std::string> &args, std::vector<std::string> &env) {
    std::vector<char *> argv, envp;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
}

std::vector<std::string> FilterArgs(const std::string &options, const std::string &file,
                                    const std::string &title) {
    std::vector<std::string> args{"1", "tester", title, "1", options};
    if (!file.empty()) args.push_back(file);
    return args;
}

std::string FixturePPD(const std::string &name) {
    return std::string(KELVRA_FIXTURES_DIR) + "/ppd/" + name;
}

std::string ReadWholeFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}

void WriteWholeFile(const std::string &path, const std::string &data) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}

std::vector<std::string> DirEntries(const std::string &path) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto &e : std::filesystem::directory_iterator(path, ec))
        names.push_back(e.path().filename().string());
    return names;
}

TempDir::TempDir() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/kelvra-test-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

size_t CountOf(const std::string &haystack, const std::string &needle) {
    size_t count = 0;
    for (size_t pos = haystack.find(needle); pos != std::string::npos;
         pos = haystack.find(needle, pos + needle.size()))
        ++count;
    return count;
}

std::string Joined(const std::vector<std::string> &tokens) {
    std::string text;
    for (const std::string &t : tokens)
        text.append(text.empty() ? "" : " ").append(t);
    return text;
}
