// Locked (PIN) printing: whether a job is held at the printer until its PIN is entered.
#pragma once

#include <cstddef>

#include <cups/ppd.h>

class QueueOptions;

// Tells whether the job is a locked print job from its options with the queue's defaults and
// then appends the PIN, one digit of each of PinNum1-PinNum4, to `pinpasswd` (`pinSize` bytes
// in all). The form with an option string resolves it against the PPD first.
bool ispinPrint(const QueueOptions &options, char *pinpasswd, std::size_t pinSize);
bool ispinPrint(const char *parameter, char *pinpasswd, std::size_t pinSize, ppd_file_t *ppd);
