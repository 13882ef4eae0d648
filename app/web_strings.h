// The English texts of the web interface for what PAPPL cannot name itself: the vendor
// attributes and their values, and the paper sizes by their PPD texts. PAPPL merges them with
// its own texts of each language.
#pragma once

#include <pappl/pappl.h>

#include <string>

// The "en.strings" resource ("key" = "text"; lines).
std::string EnglishStrings();

// Registers `strings` (kept by the caller while the system runs) as the texts of every
// language of PAPPL's web interface: better than the attribute names where no translation
// exists. Each file is served at /kelvra-LANGUAGE.strings.
void AddWebStrings(pappl_system_t *system, const std::string &strings);
