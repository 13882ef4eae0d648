#include "tests/support/pdf_builder.h"

#include <cstdio>

std::string PdfOfObjects(const std::vector<std::string> &objects) {
    std::string pdf = "%PDF-1.5\n", xref;
    for (size_t i = 0; i < objects.size(); ++i) {
        char offset[32];
        std::snprintf(offset, sizeof offset, "%010zu 00000 n \n", pdf.size());
        xref += offset;
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::string n = std::to_string(objects.size() + 1), start = std::to_string(pdf.size());
    return pdf + "xref\n0 " + n + "\n0000000000 65535 f \n" + xref + "trailer\n<< /Size " + n +
           " /Root 1 0 R >>\nstartxref\n" + start + "\n%%EOF\n";
}
