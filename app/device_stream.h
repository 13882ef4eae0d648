// Where a job's printer stream and spool files go in the Printer Application: the PAPPL device
// of the job's printer (file:, socket:, usb:) and files in the server's spool directory.
#pragma once

#include <pappl/pappl.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "common/sink.h"

// The printer stream over papplDeviceWrite. A failed device write fails the job's stream for
// good (reported as EPIPE: the core stops the job without a job end). With keep-alive, two zero
// bytes go out every 10 s while the stream waits between commands, as the CUPS filter sends them.
class DeviceStream : public StreamWriter {
  public:
    DeviceStream(pappl_device_t *device, bool keepAlive);
    ~DeviceStream() override;
    DeviceStream(const DeviceStream &) = delete;
    DeviceStream &operator=(const DeviceStream &) = delete;

    int Write(const uint8_t *data, std::size_t count) override;
    void SetBetweenCommands(bool between) override;
    // Hands buffered bytes to the device (at page start, page end and job end).
    void Flush();
    bool Failed() const;

  private:
    void KeepAlive();

    pappl_device_t *device_;
    bool keepAliveWanted_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool between_ = false;
    bool stop_ = false;
    bool failed_ = false;
    std::chrono::steady_clock::time_point lastWrite_;
    std::thread keepAlive_;
};

// Spool files in the server's spool directory, removed from the directory as soon as they are
// made: they live as long as their descriptor and never outlive the job, however it ends.
class SpoolDirFiles : public SpoolFiles {
  public:
    explicit SpoolDirFiles(std::string dir) : dir_(std::move(dir)) {}
    int Create(std::string &name) override;
    void Remove(int fd) override;

  private:
    std::string dir_;
};
