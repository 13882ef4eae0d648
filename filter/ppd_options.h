// Reading one option default from the queue's PPD file (the file named by the PPD
// environment variable). Shared by the filter's switches and the locked-print ticket.
#pragma once

#include <cstddef>

// Size of the buffer GetSelectOption fills: a default choice is cut to 40 characters.
constexpr std::size_t kSelectOptionValueSize = 41;

// Copies the PPD default choice of option `opt_str` into `opt_value` (at least
// kSelectOptionValueSize bytes; at most 40 characters and a terminator are written).
// Leaves `opt_value` untouched and returns false when an argument is missing, the PPD
// cannot be opened or the option is not in it; returns true when a value was copied.
bool GetSelectOption(const char *opt_str, char *opt_value);
