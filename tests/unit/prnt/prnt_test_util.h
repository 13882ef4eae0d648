// Shared helpers of the command-stream tests: capture of standard output into a temporary
// file, a write counter that can make the n-th write to standard output fail, reset of
// the job globals, and byte-string builders.
#pragma once

#include "common/globals.h"
#include "common/last_error.h"
#include "common/sink.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

namespace prnt_test {

// Bytes from a hex text such as "0B 04 16 DB".
inline std::string Hex(const char *text) {
    std::string out;
    const char *p = text;
    while (*p != '\0') {
        if (*p == ' ') {
            ++p;
            continue;
        }
        char *end = nullptr;
        out.push_back(static_cast<char>(std::strtoul(p, &end, 16)));
        p = end;
    }
    return out;
}

// Renders bytes as hex for failure messages.
inline std::string ToHex(const std::string &bytes) {
    std::string out;
    char b[4];
    for (unsigned char c : bytes) {
        std::snprintf(b, sizeof b, "%02X ", c);
        out += b;
    }
    return out;
}

// Sizes of the writes to standard output made through the sink since the last reset, and
// the number of the write that should fail (0: none).
inline std::vector<std::size_t> gStdoutWrites;
inline int gFailWriteNumber = 0;

inline ssize_t CountingWrite(int fd, const void *buf, std::size_t n) {
    if (fd == STDOUT_FILENO) {
        if (static_cast<int>(gStdoutWrites.size()) + 1 == gFailWriteNumber) {
            gStdoutWrites.push_back(0);
            errno = EIO;
            return -1;
        }
        gStdoutWrites.push_back(n);
    }
    return ::write(fd, buf, n);
}

// Standard output goes to a temporary file while the object lives.
class StdoutCapture {
  public:
    StdoutCapture() {
        char path[] = "/tmp/kelvra_prnt_XXXXXX";
        fd_ = mkstemp(path);
        unlink(path);
        std::fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        dup2(fd_, STDOUT_FILENO);
    }
    ~StdoutCapture() {
        std::fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
        close(fd_);
    }
    std::string Bytes() const {
        std::fflush(stdout);
        std::string out;
        char buf[65536];
        off_t off = 0;
        ssize_t n;
        while ((n = pread(fd_, buf, sizeof buf, off)) > 0) {
            out.append(buf, static_cast<std::size_t>(n));
            off += n;
        }
        return out;
    }

  private:
    int fd_ = -1;
    int saved_ = -1;
};

// Runs `f` with standard output captured and returns what was written. Assertions belong
// after the call: the test framework itself reports on standard output.
template <typename F> std::string CaptureStdout(F &&f) {
    StdoutCapture cap;
    f();
    return cap.Bytes();
}

// Job globals as at the start of a job of `model`, output to the device only.
inline void ResetJob(const char *model) {
    std::snprintf(gPPDFile, sizeof gPPDFile, "%s", model);
    g_page = 1;
    IsManDuplex = 0;
    BlankSuppressflag = 0;
    Color_bit = 1;
    gSendDataToDevice = 1;
    gTempDataFile = gCollateFile = gManualDuplexOddFile = gManualDuplexEvenFile = 0;
    gImageCoverage = 0;
    gImageChecksum = 0;
    gStdoutBroken = 0;
    SetLastError("");
    gStdoutWrites.clear();
    gFailWriteNumber = 0;
    gSinkWrite = CountingWrite;
}

constexpr const char *kPlainModel = "Kelvra K10 Series"; // neither QV nor Mirodel
constexpr const char *kQVModel = "Kelvra QV66ADN Series";
constexpr const char *kMirodelModel = "Mirodel R70-pp Series";
constexpr const char *kR18Model = "Kelvra R18 Series";
constexpr const char *kV72Model = "Kelvra V20-V22 Series";

// Prefix of `bytes` made of its first `writes` sink writes (sizes from a recorded run).
inline std::string FirstWrites(const std::string &bytes, const std::vector<std::size_t> &sizes,
                               std::size_t writes) {
    std::size_t len = 0;
    for (std::size_t i = 0; i < writes && i < sizes.size(); ++i)
        len += sizes[i];
    return bytes.substr(0, len);
}

} // namespace prnt_test
