#include "common/last_error.h"

#include "common/globals.h"

#include <cstring>
#include <string>

namespace {
// Copies `text` into prntLastError, keeping at most kLastErrorSize - 1 bytes and never
// ending inside a multibyte UTF-8 character.
void StoreCut(const std::string &text) {
    std::size_t len = text.size();
    if (len > static_cast<std::size_t>(kLastErrorSize - 1)) {
        len = kLastErrorSize - 1;
        // Step back over continuation bytes so the cut lands on a character boundary.
        while (len > 0 && (static_cast<unsigned char>(text[len]) & 0xC0) == 0x80)
            --len;
    }
    std::memcpy(prntLastError, text.data(), len);
    prntLastError[len] = '\0';
}
} // namespace

void PrependLastError(const char *msg) {
    std::string text = msg != nullptr ? msg : "";
    text.append(prntLastError, strnlen(prntLastError, kLastErrorSize));
    StoreCut(text);
}

void SetLastError(const char *msg) {
    StoreCut(msg != nullptr ? msg : "");
}
