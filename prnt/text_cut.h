// Text handling for the PJL job ticket: removal of characters that could end a PJL line
// early, and the tail-keeping cut of user names, titles and host names. Job names and user
// names from CUPS are UTF-8 whatever the process's locale says, so the cut reads UTF-8.
#pragma once

#include <cstddef>
#include <string>

// Returns `src` without double quotes and control characters (CR, LF, ESC, other bytes
// below 0x20, and DEL), so that the text can stand inside a quoted PJL value.
std::string SanitizePjlText(const char *src);

// Writes the last `n` bytes of `src` into `dest` (room for n + 1), starting at a UTF-8
// character boundary.
void GetSubstrend(char *dest, std::size_t n, const char *src);

// Writes the last `n` characters of the UTF-8 text `src` into `dest` (`destSize` bytes). When
// the characters take more bytes than `dest` holds, leading characters are dropped until they
// fit. When `src` is not well-formed UTF-8 or the cut gives fewer than 2 bytes, `dest` gets
// instead the last 48 bytes of `src` (starting at a UTF-8 character boundary).
void Getsubtext(char *dest, int n, const char *src, std::size_t destSize);
