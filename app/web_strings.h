// The English texts of the web interface for what PAPPL cannot name itself: the vendor
// attributes and their values, and the paper sizes by their PPD texts. PAPPL merges them with
// its own texts of each language.
#pragma once

#include <string>

// The "en.strings" resource ("key" = "text"; lines).
std::string EnglishStrings();
