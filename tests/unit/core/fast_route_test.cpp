#include "core/fast_route.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "tests/support/filter_runner.h"
#include "tests/support/pdf_builder.h"

namespace {

// A stream object holding `data`, Flate-compressed as an object stream when `objStm`.
std::string Stream(const std::string &data, bool objStm) {
    std::string body = data, dict = "<< /Length ";
    if (objStm) {
        uLongf size = compressBound(data.size());
        body.resize(size);
        compress(reinterpret_cast<Bytef *>(body.data()), &size,
                 reinterpret_cast<const Bytef *>(data.data()), data.size());
        body.resize(size);
        dict = "<< /Type /ObjStm /N 1 /First 4 /Filter /FlateDecode /Length ";
    }
    return dict + std::to_string(body.size()) + " >>\nstream\n" + body + "\nendstream";
}

} // namespace

// A PDF whose graphics states set a transfer function or halftone keeps the 8-bit route, where
// the dictionary is plain or inside a compressed object stream; names inside other streams'
// data, longer names and unreadable files are told apart.
TEST(FastRoutePdfCheck, TransferFunctionsAndHalftonesAreFoundWhereDictionariesLive) {
    const std::string catalogue = "<< /Type /Catalog /Pages 2 0 R >>";
    struct Case {
        const char *what;
        std::string pdf;
        bool sets;
    } cases[] = {
        {"plain", PdfOfObjects({catalogue, "<< /Type /ExtGState /LW 2 >>"}), false},
        {"TR in a dictionary", PdfOfObjects({catalogue, "<< /Type /ExtGState /TR /Identity >>"}),
         true},
        {"TR2 with CRLF", PdfOfObjects({catalogue, "<</Type/ExtGState/TR2/Default>>\r\n"}), true},
        {"HT in an object stream",
         PdfOfObjects({catalogue, Stream("3 0 << /Type /ExtGState /HT 7 0 R >>", true)}), true},
        {"object stream without",
         PdfOfObjects({catalogue, Stream("3 0 << /LW 1 /TRef 2 >>", true)}), false},
        {"a content stream's text", PdfOfObjects({catalogue, Stream("/TR 1 Tf /HT gs", false)}),
         false},
        {"HTP after a stream",
         PdfOfObjects({catalogue, Stream("q Q", false), "<< /Type /ExtGState /HTP [0 0] >>"}),
         true},
    };
    TempDir dir;
    for (const Case &c : cases) {
        const std::string path = dir.file("doc.pdf");
        WriteWholeFile(path, c.pdf);
        EXPECT_EQ(SetsTransferOrHalftone(path.c_str()), c.sets) << c.what;
    }
    EXPECT_TRUE(SetsTransferOrHalftone(dir.file("missing.pdf").c_str()));
}
