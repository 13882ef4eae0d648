#include "app/local_server.h"

#include <pappl/pappl.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Debian builds PAPPL with its state under /var and its sockets in /run.
constexpr const char *kRootStateDir = "/var/lib";
constexpr const char *kRootSocketDir = "/run";

// IPP job states as PAPPL writes them into the state file.
constexpr const char *kPending = "3";
constexpr const char *kProcessing = "5";
constexpr const char *kStopped = "6";

// The directory named by the variable when it is set and can be entered.
const char *UsableDir(const char *variable) {
    const char *dir = std::getenv(variable);
    return dir != nullptr && *dir && access(dir, X_OK) == 0 ? dir : nullptr;
}

// Rewrites the state="..." value of one "Job" line from processing or stopped to pending. The
// line is NAME="VALUE" pairs with backslash escapes, as PAPPL writes them.
bool RequeueJobLine(std::string &line) {
    std::size_t i = 4; // after "Job "
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ')
            ++i;
        const std::size_t eq = line.find('=', i);
        if (eq == std::string::npos || eq + 1 >= line.size() || line[eq + 1] != '"') return false;
        const std::string key = line.substr(i, eq - i);
        std::size_t end = eq + 2;
        while (end < line.size() && line[end] != '"')
            end += line[end] == '\\' ? 2 : 1;
        if (end >= line.size()) return false;
        const std::size_t start = eq + 2;
        const std::string value = line.substr(start, end - start);
        if (key == "state" && (value == kProcessing || value == kStopped)) {
            line = line.substr(0, start) + kPending + line.substr(end);
            return true;
        }
        i = end + 1;
    }
    return false;
}

// Writes `text` over `path` through a new file beside it, with the old file's permissions.
bool ReplaceFile(const std::string &path, const std::string &text) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return false;
    std::string temp = path + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) return false;
    bool ok = fchmod(fd, info.st_mode & 07777) == 0;
    for (std::size_t done = 0; ok && done < text.size();) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        ok = n > 0;
        if (ok) done += static_cast<std::size_t>(n);
    }
    ok = close(fd) == 0 && ok;
    if (ok && rename(temp.c_str(), path.c_str()) == 0) return true;
    unlink(temp.c_str());
    return false;
}

} // namespace

std::string StateFilePath(const std::string &baseName) {
    if (const char *snap = std::getenv("SNAP_COMMON"); snap != nullptr) {
        if (access(snap, X_OK) == 0) return std::string(snap) + "/" + baseName + ".state";
    } else if (getuid() == 0) {
        return std::string(kRootStateDir) + "/" + baseName + ".state";
    } else if (const char *config = UsableDir("XDG_CONFIG_HOME")) {
        return std::string(config) + "/" + baseName + ".state";
    } else if (const char *home = std::getenv("HOME"); home != nullptr && *home) {
        return std::string(home) + "/.config/" + baseName + ".state";
    }
    return std::string(papplGetTempDir()) + "/" + baseName + std::to_string(getuid()) + ".state";
}

std::string SocketPath(const std::string &baseName, uid_t uid) {
    if (uid != 0)
        return std::string(papplGetTempDir()) + "/" + baseName + std::to_string(uid) + ".sock";
    if (const char *snap = std::getenv("SNAP_COMMON"))
        return std::string(snap) + "/" + baseName + ".sock";
    return std::string(kRootSocketDir) + "/" + baseName + ".sock";
}

http_t *ConnectLocalServer(const std::string &baseName) {
    std::vector<uid_t> owners = {getuid()};
    if (getuid() != 0) owners.push_back(0);
    for (uid_t uid : owners) {
        const std::string path = SocketPath(baseName, uid);
        if (http_t *http = httpConnect2(path.c_str(), 0, nullptr, AF_UNSPEC,
                                        HTTP_ENCRYPTION_IF_REQUESTED, 1, 30000, nullptr))
            return http;
    }
    return nullptr;
}

// A compressed state file (PAPPL never writes one) is left alone.
bool RequeueInterruptedJobs(const std::string &stateFile) {
    std::ifstream in(stateFile, std::ios::binary);
    if (!in) return true;
    std::ostringstream text;
    bool changed = false;
    std::string line;
    while (std::getline(in, line)) {
        if (text.tellp() == 0 && line.size() >= 2 && static_cast<unsigned char>(line[0]) == 0x1f &&
            static_cast<unsigned char>(line[1]) == 0x8b)
            return true;
        if (line.rfind("Job ", 0) == 0 && RequeueJobLine(line)) changed = true;
        text << line << '\n';
    }
    return !changed || ReplaceFile(stateFile, text.str());
}
