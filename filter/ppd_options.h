// Reading one option default from the queue's PPD. Shared by the filter's switches and
// locked printing.
#pragma once

#include <cstddef>

#include <cups/ppd.h>

// Size of the buffer GetSelectOption fills: a default choice is cut to 40 characters.
constexpr std::size_t kSelectOptionValueSize = 41;

// Copies the PPD default choice of option `opt_str` into `opt_value` (at least
// kSelectOptionValueSize bytes; at most 40 characters and a terminator are written).
// Leaves `opt_value` untouched and returns false when an argument is missing or the option
// is not in the PPD; returns true when a value was copied.
bool GetSelectOption(ppd_file_t *ppd, const char *opt_str, char *opt_value);
