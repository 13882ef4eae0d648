#include "prnt/text_cut.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
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

int char_to_wchar(wchar_t *pDest, std::size_t destCount, const char *pSrc) {
    if (pDest == nullptr || pSrc == nullptr || destCount == 0) return -1;
    const std::size_t n = std::mbstowcs(pDest, pSrc, destCount);
    if (n == static_cast<std::size_t>(-1) || n >= destCount) {
        pDest[0] = L'\0';
        return -1;
    }
    return static_cast<int>(n);
}

int wchar_to_char(char *pDest, std::size_t destSize, const wchar_t *pSrc) {
    if (pDest == nullptr || pSrc == nullptr || destSize == 0) return -1;
    const std::size_t n = std::wcstombs(pDest, pSrc, destSize);
    if (n == static_cast<std::size_t>(-1) || n >= destSize) {
        pDest[0] = '\0';
        return -1;
    }
    return static_cast<int>(n);
}

void GetSubwstrend(wchar_t *dest, std::size_t n, const wchar_t *src) {
    if (dest == nullptr) return;
    dest[0] = L'\0';
    if (src == nullptr) return;
    const std::size_t len = std::wcslen(src);
    const wchar_t *start = len > n ? src + (len - n) : src;
    std::wmemcpy(dest, start, std::min(len, n));
    dest[std::min(len, n)] = L'\0';
}

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
// Converts the last `n` characters of `src` into `dest` (`destSize` bytes), dropping
// leading characters while the bytes do not fit. Returns the byte length or -1.
int TailToMultibyte(char *dest, std::size_t n, const char *src, std::size_t destSize) {
    const std::size_t wlen = std::mbstowcs(nullptr, src, 0);
    if (wlen == static_cast<std::size_t>(-1)) return -1;
    std::vector<wchar_t> wide(wlen + 1);
    if (char_to_wchar(wide.data(), wide.size(), src) < 0) return -1;
    std::vector<wchar_t> tail(std::min(wlen, n) + 1);
    GetSubwstrend(tail.data(), n, wide.data());
    // Keep whole characters from the end while they fit into destSize - 1 bytes.
    std::size_t count = std::wcslen(tail.data());
    std::size_t bytes = 0;
    std::size_t first = count;
    char mb[MB_LEN_MAX];
    while (first > 0) {
        std::mbstate_t st{};
        const std::size_t b = std::wcrtomb(mb, tail[first - 1], &st);
        if (b == static_cast<std::size_t>(-1)) return -1;
        if (bytes + b > destSize - 1) break;
        bytes += b;
        --first;
    }
    return wchar_to_char(dest, destSize, tail.data() + first);
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
