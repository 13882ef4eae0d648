#include "filter/signals.h"

#include <cerrno>
#include <cstring>
#include <sys/time.h>
#include <unistd.h>

volatile sig_atomic_t Canceled = 0;
volatile sig_atomic_t g_ismiddlepage = 1;

namespace {
std::atomic<std::atomic<bool> *> gCancelTarget{nullptr};
volatile sig_atomic_t gConverterGroup = 0;
static_assert(std::atomic<std::atomic<bool> *>::is_always_lock_free &&
              std::atomic<bool>::is_always_lock_free);
} // namespace

void CancelJob(int) {
    Canceled = 1;
    if (std::atomic<bool> *flag = gCancelTarget.load()) flag->store(true);
    // A converter that is still rendering stops too, so the job reads the end of its output.
    if (const int group = gConverterGroup; group > 0) kill(-group, SIGTERM);
}

void SetConverterGroup(int pgid) {
    gConverterGroup = pgid;
}

void SetCancelTarget(std::atomic<bool> *flag) {
    gCancelTarget.store(flag);
    if (flag != nullptr && Canceled) flag->store(true);
}

// The printer drops a connection that stays silent too long while a page renders; two zero
// bytes between commands keep it open. Written with write(2), which is async-signal-safe,
// and never while a command is being written (g_ismiddlepage) so no frame is split.
void SendDummyCommand(int) {
    if (g_ismiddlepage) return;
    const int savedErrno = errno;
    static constexpr char kZeros[2] = {0, 0};
    ssize_t ignored = write(STDOUT_FILENO, kZeros, sizeof kZeros);
    (void)ignored;
    errno = savedErrno;
}

void InstallJobSignals() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    sigemptyset(&action.sa_mask);
    action.sa_handler = CancelJob;
    sigaction(SIGTERM, &action, nullptr);
    action.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &action, nullptr);
}

void StartKeepAlive() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    sigemptyset(&action.sa_mask);
    action.sa_handler = SendDummyCommand;
    action.sa_flags = SA_RESTART;
    sigaction(SIGALRM, &action, nullptr);
    struct itimerval timer;
    timer.it_value.tv_sec = 10;
    timer.it_value.tv_usec = 0;
    timer.it_interval.tv_sec = 10;
    timer.it_interval.tv_usec = 0;
    setitimer(ITIMER_REAL, &timer, nullptr);
}
