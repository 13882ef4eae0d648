#include "prnt/text_cut.h"

#include <algorithm>
#include <cstring>
#include <vector>

std::string SanitizePjlText(const char *src) {
    std::string out;
    if (src == nullptr) return out;
    for (const char *p = src; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c < 0x20 || c == 0x7F || c == '"') continue;
        out.push_back(*p);
    }
    return out;
}

namespace {
// Decodes one UTF-8 character at `p` (at most `left` bytes): its code point and length, or
// length 0 for bytes that are no character: overlong forms, surrogates, stray continuation
// bytes and cut sequences. Like the C library's UTF-8 locales, the old five- and six-byte forms
// and values above U+10FFFF are read as characters, so a cut is the same whatever locale the
// job ran in.
std::size_t DecodeUtf8(const unsigned char *p, std::size_t left, char32_t &cp) {
    const unsigned char b = p[0];
    std::size_t len;
    char32_t min;
    if (b < 0x80) {
        cp = b;
        return 1;
    } else if (b >= 0xC2 && b <= 0xDF) {
        len = 2, cp = b & 0x1F, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3, cp = b & 0x0F, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF7) {
        len = 4, cp = b & 0x07, min = 0x10000;
    } else if (b >= 0xF8 && b <= 0xFB) {
        len = 5, cp = b & 0x03, min = 0x200000;
    } else if (b >= 0xFC && b <= 0xFD) {
        len = 6, cp = b & 0x01, min = 0x4000000;
    } else {
        return 0;
    }
    if (left < len) return 0;
    for (std::size_t i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < min || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

// Bytes of the UTF-8 form of `cp`.
std::size_t Utf8Length(char32_t cp) {
    return cp < 0x80        ? 1
           : cp < 0x800     ? 2
           : cp < 0x10000   ? 3
           : cp < 0x200000  ? 4
           : cp < 0x4000000 ? 5
                            : 6;
}

// Appends the UTF-8 form of `cp` to `out`.
void EncodeUtf8(char32_t cp, std::string &out) {
    const std::size_t len = Utf8Length(cp);
    if (len == 1) {
        out.push_back(static_cast<char>(cp));
        return;
    }
    static constexpr unsigned char kLead[7] = {0, 0, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};
    out.push_back(static_cast<char>(kLead[len] | (cp >> (6 * (len - 1)))));
    for (std::size_t i = len - 1; i-- > 0;)
        out.push_back(static_cast<char>(0x80 | ((cp >> (6 * i)) & 0x3F)));
}
} // namespace

void GetSubstrend(char *dest, std::size_t n, const char *src) {
    if (dest == nullptr) return;
    dest[0] = '\0';
    if (src == nullptr) return;
    const std::size_t len = std::strlen(src);
    std::size_t start = len > n ? len - n : 0;
    // Never start inside a multibyte UTF-8 character.
    while (start < len && (static_cast<unsigned char>(src[start]) & 0xC0) == 0x80)
        ++start;
    std::memcpy(dest, src + start, len - start);
    dest[len - start] = '\0';
}

namespace {
// Writes the last `n` characters of the UTF-8 text `src` into `dest` (`destSize` bytes),
// dropping leading characters while the bytes do not fit. Returns the byte length, or -1 when
// `src` is not well-formed UTF-8.
int TailToMultibyte(char *dest, std::size_t n, const char *src, std::size_t destSize) {
    std::vector<char32_t> chars;
    const auto *p = reinterpret_cast<const unsigned char *>(src);
    for (std::size_t left = std::strlen(src); left > 0;) {
        char32_t cp;
        const std::size_t len = DecodeUtf8(p, left, cp);
        if (len == 0) return -1;
        chars.push_back(cp);
        p += len;
        left -= len;
    }
    // Keep whole characters from the end, at most n of them, while they fit.
    std::size_t first = chars.size(), bytes = 0;
    while (first > 0 && chars.size() - first < n) {
        const std::size_t b = Utf8Length(chars[first - 1]);
        if (bytes + b > destSize - 1) break;
        bytes += b;
        --first;
    }
    std::string out;
    for (std::size_t i = first; i < chars.size(); ++i)
        EncodeUtf8(chars[i], out);
    std::memcpy(dest, out.c_str(), out.size() + 1);
    return static_cast<int>(out.size());
}
} // namespace

void Getsubtext(char *dest, int n, const char *src, std::size_t destSize) {
    if (dest == nullptr || destSize == 0) return;
    dest[0] = '\0';
    if (src == nullptr || n <= 0) return;
    const int len = TailToMultibyte(dest, static_cast<std::size_t>(n), src, destSize);
    if (len >= 2) return;
    // Conversion failed or gave almost nothing: keep the last 48 bytes instead.
    std::vector<char> tail(49);
    GetSubstrend(tail.data(), std::min<std::size_t>(48, destSize - 1), src);
    std::strcpy(dest, tail.data());
}
