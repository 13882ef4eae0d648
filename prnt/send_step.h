// Helpers shared by the printer operations: send one item and, when the send fails, put the
// step's message in front of the job's error text.
#pragma once

#include "common/last_error.h"
#include "common/sink.h"
#include "prnt/prnt.h"

#include <cstring>

// Sends `count` bytes; on failure records `failMsg` and returns false.
inline bool SendStep(PrntStream &s, const void *data, int count, int bCache, const char *failMsg) {
    if (s.sink.Send(data, count, bCache) == 1) return true;
    s.error.Prepend(failMsg);
    return false;
}

// Sends a fixed text or frame with the length of its text.
inline bool SendText(PrntStream &s, const char *text, int bCache, const char *failMsg) {
    return SendStep(s, text, static_cast<int>(std::strlen(text)), bCache, failMsg);
}

// Sends a frame record (its whole byte array).
template <typename Frame>
inline bool SendFrame(PrntStream &s, const Frame &frame, int bCache, const char *failMsg) {
    return SendStep(s, frame.bytes, static_cast<int>(sizeof frame.bytes), bCache, failMsg);
}

// The QV and Mirodel models: no separators, the colour library's bitmaps.
inline bool IsLibraryGroup(const JobSettings &settings) {
    return settings.group == ModelGroup::QV || settings.group == ModelGroup::Mirodel;
}
