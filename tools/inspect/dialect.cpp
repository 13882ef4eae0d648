// Tells the dialect of a job stream from its first bytes.
#include "tools/inspect/inspect.h"

#include <cstring>

namespace {

// The universal exit of platform C carries 0xFF where the standard one has '%'.
constexpr uint8_t kUelC[] = {0x1B, 0xFF, '-', '1', '2', '3', '4', '5', 'X'};
constexpr uint8_t kUel[] = {0x1B, '%', '-', '1', '2', '3', '4', '5', 'X'};

bool StartsWith(Bytes in, size_t at, const void *what, size_t n) {
    return in.size() >= at + n && std::memcmp(in.data() + at, what, n) == 0;
}

} // namespace

// Platform C opens with its own universal exit; platform M with the standard one and "JZJZ";
// platform Z with the standard one and a PJL header.
char DetectDialect(Bytes in) {
    if (StartsWith(in, 0, kUelC, sizeof kUelC)) return 'C';
    if (StartsWith(in, 0, kUel, sizeof kUel)) {
        if (StartsWith(in, sizeof kUel, "JZJZ", 4)) return 'M';
        if (StartsWith(in, sizeof kUel, "@PJL", 4)) return 'Z';
    }
    return 0;
}
