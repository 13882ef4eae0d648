#include "common/child_process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

int StartChildProcess(ChildProcess &child, const std::vector<std::string> &args,
                      const std::string &tmpRoot, int errFd,
                      const std::vector<std::string> &extraEnv) {
    if (args.empty()) return EINVAL;
    std::string pattern = tmpRoot + "/kelvra-gs-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) child.workDir = pattern;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        const int err = errno;
        FinishChildProcess(child, false);
        return err;
    }
    // The caller's environment with TMPDIR pointing at the private directory.
    std::vector<std::string> env;
    auto replaced = [&extraEnv](const char *e) {
        for (const std::string &x : extraEnv)
            if (std::strncmp(e, x.c_str(), x.find('=') + 1) == 0) return true;
        return false;
    };
    for (char **e = environ; e && *e; ++e)
        if ((child.workDir.empty() || std::strncmp(*e, "TMPDIR=", 7) != 0) && !replaced(*e))
            env.emplace_back(*e);
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    if (!child.workDir.empty()) env.push_back("TMPDIR=" + child.workDir);
    std::vector<char *> argv, envp;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    for (const std::string &e : env)
        envp.push_back(const_cast<char *>(e.c_str()));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    if (errFd >= 0) posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // The front end may ignore SIGPIPE or block signals in its threads; the child starts clean,
    // so that it ends when its reader goes away or it is told to stop.
    sigset_t defaults, none;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGTERM);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF |
                                        POSIX_SPAWN_SETSIGMASK);
    posix_spawnattr_setpgroup(&attr, 0);
    const int err = posix_spawn(&child.pid, argv[0], &actions, &attr, argv.data(), envp.data());
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (err != 0) {
        close(fds[0]);
        child.pid = -1;
        FinishChildProcess(child, false);
        return err;
    }
    child.outFd = fds[0];
    return 0;
}

int FinishChildProcess(ChildProcess &child, bool stop) {
    if (child.outFd >= 0) close(child.outFd);
    child.outFd = -1;
    int status = -1;
    if (child.pid > 0) {
        if (stop) kill(-child.pid, SIGTERM); // the whole process group
        while (waitpid(child.pid, &status, 0) < 0) {
            if (errno != EINTR) {
                status = -1;
                break;
            }
        }
        if (stop) kill(-child.pid, SIGKILL); // anything of the group still running
        child.pid = -1;
    }
    std::error_code ec;
    if (!child.workDir.empty()) std::filesystem::remove_all(child.workDir, ec);
    child.workDir.clear();
    return status;
}
