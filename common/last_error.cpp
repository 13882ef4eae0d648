#include "common/last_error.h"

#include <cstring>
#include <string>

// Keeps at most kLastErrorSize - 1 bytes, never ending inside a multibyte UTF-8 character.
void ErrorText::StoreCut(const char *data, std::size_t len) {
    if (len > static_cast<std::size_t>(kLastErrorSize - 1)) {
        len = kLastErrorSize - 1;
        // Step back over continuation bytes so the cut lands on a character boundary.
        while (len > 0 && (static_cast<unsigned char>(data[len]) & 0xC0) == 0x80)
            --len;
    }
    std::memmove(text_, data, len);
    text_[len] = '\0';
}

void ErrorText::Prepend(const char *msg) {
    std::string text = msg != nullptr ? msg : "";
    text.append(text_, strnlen(text_, kLastErrorSize));
    StoreCut(text.data(), text.size());
}

void ErrorText::Set(const char *msg) {
    const std::string text = msg != nullptr ? msg : "";
    StoreCut(text.data(), text.size());
}
