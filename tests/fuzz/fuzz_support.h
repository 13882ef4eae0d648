// Helpers shared by the libFuzzer targets: a reader that takes typed values off the front
// of the fuzz input, and stdout/stderr silencing around calls that print a lot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Takes values off the front of the input; past the end every read gives zeros/empty.
class FuzzReader {
  public:
    FuzzReader(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    uint8_t U8();
    uint16_t U16();
    uint32_t U32();
    // Bytes up to (not including) the next NUL, or up to `max` bytes, or to the end.
    std::string Text(size_t max = 4096);
    // Everything not yet read.
    std::string Rest();
    const uint8_t *Data() const { return data_ + pos_; }
    size_t Left() const { return size_ - pos_; }

  private:
    const uint8_t *data_;
    size_t size_;
    size_t pos_ = 0;
};

// Points a descriptor at /dev/null for the lifetime of the object and puts it back after.
class Silence {
  public:
    explicit Silence(int fd);
    ~Silence();
    Silence(const Silence &) = delete;
    Silence &operator=(const Silence &) = delete;

  private:
    int fd_;
    int saved_;
};

// Directs sanitizer reports to a private copy of standard error, so that a target may send
// its own standard error to /dev/null and a crash report still reaches the terminal.
void KeepSanitizerReportsVisible();

// Aborts with a message: the targets' way to report a broken invariant as a crash.
[[noreturn]] void FuzzFail(const char *what, const std::string &detail = "");
