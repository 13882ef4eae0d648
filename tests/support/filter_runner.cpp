#include "tests/support/filter_runner.h"

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string ReadAll(int fd) {
    std::string data;
    char buf[65536];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        data.append(buf, static_cast<size_t>(n));
    }
    return data;
}

std::string ReadFile(const std::string &path) {
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return {};
    std::string data = ReadAll(fd);
    close(fd);
    return data;
}

} // namespace

FilterRun RunFilterProcess(const FilterCall &call) {
    TempDir capture;
    const std::string outPath = capture.file("out"), errPath = capture.file("err");
    std::string binary = call.binary.empty() ? KELVRA_FILTER_BIN : call.binary;
    std::vector<std::string> argvStore{binary};
    argvStore.insert(argvStore.end(), call.args.begin(), call.args.end());
    std::vector<std::string> envStore;
    for (const char *keep : {"PATH", "TMPDIR", "LANG", "LC_ALL", "ASAN_OPTIONS", "UBSAN_OPTIONS"})
        if (const char *v = std::getenv(keep); v && !call.env.count(keep))
            envStore.push_back(std::string(keep) + "=" + v);
    if (!call.env.count("KELVRA_CMS_LIBRARY")) envStore.push_back("KELVRA_CMS_LIBRARY=");
    for (const auto &[k, v] : call.env)
        envStore.push_back(k + "=" + v);

    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        int in = open(call.stdinFile.empty() ? "/dev/null" : call.stdinFile.c_str(), O_RDONLY);
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0) _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        ExecWith(argvStore, envStore);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    FilterRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = ReadFile(outPath);
    run.err = ReadFile(errPath);
    return run;
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

std::vector<std::string> TempDir::entries() const {
    std::vector<std::string> names;
    for (const auto &e : std::filesystem::directory_iterator(path_))
        names.push_back(e.path().filename().string());
    return names;
}

size_t CountOf(const std::string &haystack, const std::string &needle) {
    size_t count = 0;
    for (size_t pos = haystack.find(needle); pos != std::string::npos;
         pos = haystack.find(needle, pos + needle.size()))
        ++count;
    return count;
}
