// The error channel of a job's printer operations: newest message first, older text behind
// it, never more than kLastErrorSize - 1 bytes.
#pragma once

#include <cstddef>

constexpr int kLastErrorSize = 1024;

class ErrorText {
  public:
    // Puts `msg` in front of the current text. When the combined text is longer than the
    // buffer holds, the end (the oldest text) is dropped, cut at a UTF-8 character boundary.
    // `msg` may point into the text itself.
    void Prepend(const char *msg);
    // Replaces the text with `msg` (cut like Prepend).
    void Set(const char *msg);
    const char *c_str() const { return text_; }

  private:
    void StoreCut(const char *data, std::size_t len);
    char text_[kLastErrorSize] = {};
};
