#include "tests/fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

extern "C" void __sanitizer_set_report_fd(void *fd) __attribute__((weak));

namespace {
int gReportFd = -1; // private copy of standard error for reports, once set up
} // namespace

uint8_t FuzzReader::U8() {
    return pos_ < size_ ? data_[pos_++] : 0;
}

uint16_t FuzzReader::U16() {
    const uint16_t lo = U8();
    return static_cast<uint16_t>(lo | (U8() << 8));
}

uint32_t FuzzReader::U32() {
    const uint32_t lo = U16();
    return lo | (static_cast<uint32_t>(U16()) << 16);
}

std::string FuzzReader::Text(size_t max) {
    std::string s;
    while (pos_ < size_ && s.size() < max) {
        const char c = static_cast<char>(data_[pos_++]);
        if (c == '\0') break;
        s.push_back(c);
    }
    return s;
}

std::string FuzzReader::Rest() {
    std::string s(reinterpret_cast<const char *>(data_ + pos_), size_ - pos_);
    pos_ = size_;
    return s;
}

Silence::Silence(int fd) : fd_(fd), saved_(fd >= 0 ? dup(fd) : -1) {
    if (fd_ < 0) return;
    std::fflush(nullptr);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        dup2(null, fd_);
        close(null);
    }
}

Silence::~Silence() {
    if (fd_ < 0) return;
    std::fflush(nullptr);
    if (saved_ >= 0) {
        dup2(saved_, fd_);
        close(saved_);
    }
}

void KeepSanitizerReportsVisible() {
    if (gReportFd >= 0) return;
    gReportFd = dup(STDERR_FILENO);
    if (gReportFd >= 0 && __sanitizer_set_report_fd != nullptr)
        __sanitizer_set_report_fd(reinterpret_cast<void *>(static_cast<intptr_t>(gReportFd)));
}

void FuzzFail(const char *what, const std::string &detail) {
    dprintf(gReportFd >= 0 ? gReportFd : STDERR_FILENO, "fuzz invariant broken: %s\n%s\n", what,
            detail.c_str());
    std::abort();
}
