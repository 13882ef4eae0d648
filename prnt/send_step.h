// Helpers shared by the printer operations: send one item and, when the send fails, put
// the step's message in front of prntLastError.
#pragma once

#include "common/last_error.h"
#include "common/sink.h"

#include <cstring>

// Sends `count` bytes; on failure records `failMsg` and returns false.
inline bool SendStep(const void *data, int count, int bCache, const char *failMsg) {
    if (SendDataToFile(data, count, bCache) == 1) return true;
    PrependLastError(failMsg);
    return false;
}

// Sends a fixed text or frame with the length of its text.
inline bool SendText(const char *text, int bCache, const char *failMsg) {
    return SendStep(text, static_cast<int>(std::strlen(text)), bCache, failMsg);
}

// Sends a frame record (its whole byte array).
template <typename Frame>
inline bool SendFrame(const Frame &frame, int bCache, const char *failMsg) {
    return SendStep(frame.bytes, static_cast<int>(sizeof frame.bytes), bCache, failMsg);
}
