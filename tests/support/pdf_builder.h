// Small PDF files made in the tests: objects numbered from 1 (the first the catalogue) with a
// cross-reference table whose offsets are right.
#pragma once

#include <string>
#include <vector>

std::string PdfOfObjects(const std::vector<std::string> &objects);
