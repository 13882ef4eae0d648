// Locked (PIN) printing: whether a job is held at the printer until its PIN is entered.
#pragma once

#include <cstddef>

#include <cups/ppd.h>

// Tells whether the job is a locked print job from its option string (falling back to the PPD
// defaults) and then appends the PIN to `pinpasswd` (`pinSize` bytes in all).
bool ispinPrint(const char *parameter, char *pinpasswd, std::size_t pinSize, ppd_file_t *ppd);
