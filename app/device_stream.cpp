#include "app/device_stream.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {
constexpr auto kKeepAliveInterval = std::chrono::seconds(10);
constexpr uint8_t kZeroPair[2] = {0, 0};
} // namespace

DeviceStream::DeviceStream(pappl_device_t *device, bool keepAlive)
    : device_(device), keepAliveWanted_(keepAlive) {}

DeviceStream::~DeviceStream() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (keepAlive_.joinable()) keepAlive_.join();
}

// The keep-alive starts with the job's first bytes, as the filter arms it on its first write.
int DeviceStream::Write(const uint8_t *data, std::size_t count) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failed_) return EPIPE;
    while (count > 0) {
        const ssize_t n = papplDeviceWrite(device_, data, count);
        if (n <= 0) {
            failed_ = true;
            return EPIPE;
        }
        data += n;
        count -= static_cast<std::size_t>(n);
    }
    lastWrite_ = std::chrono::steady_clock::now();
    if (keepAliveWanted_ && !keepAlive_.joinable())
        keepAlive_ = std::thread([this] { KeepAlive(); });
    return 0;
}

void DeviceStream::SetBetweenCommands(bool between) {
    std::lock_guard<std::mutex> lock(mutex_);
    between_ = between;
}

void DeviceStream::Flush() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!failed_) papplDeviceFlush(device_);
}

bool DeviceStream::Failed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failed_;
}

// Writes the zero pair (and hands it to the device at once) whenever the stream has been quiet
// for the interval between two commands.
void DeviceStream::KeepAlive() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        wake_.wait_until(lock, lastWrite_ + kKeepAliveInterval, [this] { return stop_; });
        if (stop_ || failed_) break;
        if (!between_ || std::chrono::steady_clock::now() < lastWrite_ + kKeepAliveInterval)
            continue;
        if (papplDeviceWrite(device_, kZeroPair, sizeof kZeroPair) != sizeof kZeroPair) {
            failed_ = true;
            break;
        }
        papplDeviceFlush(device_);
        lastWrite_ = std::chrono::steady_clock::now();
    }
}

// Close-on-exec: the PDF converter started during the job must not inherit the spools.
int SpoolDirFiles::Create(std::string &name) {
    std::string pattern = dir_ + "/kelvra-spool-XXXXXX";
    std::vector<char> path(pattern.begin(), pattern.end());
    path.push_back('\0');
    const int fd = mkostemp(path.data(), O_CLOEXEC);
    name = path.data();
    if (fd < 0) return -1;
    unlink(path.data());
    return fd;
}

void SpoolDirFiles::Remove(int fd) {
    close(fd);
}
