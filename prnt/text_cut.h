// Text handling for the PJL job ticket: removal of characters that could end a PJL line
// early, and the tail-keeping cut of user names, titles and host names. Conversions use
// the process's locale (set from the environment at start-up).
#pragma once

#include <cstddef>
#include <string>

// Returns `src` without double quotes and control characters (CR, LF, ESC, other bytes
// below 0x20, and DEL), so that the text can stand inside a quoted PJL value.
std::string SanitizePjlText(const char *src);

// Converts `pSrc` to wide characters into `pDest` (room for `destCount` wide characters
// including the terminator). Returns the number converted, or -1 when the text is not
// valid in the locale or does not fit.
int char_to_wchar(wchar_t *pDest, std::size_t destCount, const char *pSrc);
// Converts `pSrc` to multibyte characters into `pDest` (`destSize` bytes including the
// terminator). Returns the byte length, or -1 when a character cannot be converted or
// the text does not fit.
int wchar_to_char(char *pDest, std::size_t destSize, const wchar_t *pSrc);

// Writes the last `n` wide characters of `src` into `dest` (room for n + 1).
void GetSubwstrend(wchar_t *dest, std::size_t n, const wchar_t *src);
// Writes the last `n` bytes of `src` into `dest` (room for n + 1), starting at a UTF-8
// character boundary.
void GetSubstrend(char *dest, std::size_t n, const char *src);

// Writes the last `n` characters of `src` into `dest` (`destSize` bytes). When the
// characters take more bytes than `dest` holds, leading characters are dropped until
// they fit. When the conversion gives fewer than 2 bytes, `dest` gets instead the last 48
// bytes of `src` (whole characters only).
void Getsubtext(char *dest, int n, const char *src, std::size_t destSize);
