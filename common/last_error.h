// The error channel of the printer command stream: newest message first, older text
// behind it, never more than kLastErrorSize - 1 characters.
#pragma once

// Puts `msg` in front of the current contents of prntLastError. When the combined text
// is longer than the buffer holds, the end (the oldest text) is dropped, cut at a UTF-8
// character boundary. `msg` may point into prntLastError itself.
void PrependLastError(const char *msg);

// Replaces the contents of prntLastError with `msg` (cut like PrependLastError).
void SetLastError(const char *msg);
