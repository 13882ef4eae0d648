// kelvra-inspect on hand-assembled streams of the three dialects: the listing, the decoded
// page bitmaps, the page files, and the exit status and error offsets of corrupted copies.
#include "tests/support/filter_runner.h"
#include "tests/support/inspect_runner.h"
#include "tests/unit/tools/stream_builder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

using namespace sb;
using wire::Band;
using wire::PageSpec;
using wire::RasterImage;

namespace {

// Writes a stream into the temporary directory and runs the inspector on it with --json.
InspectRun Inspect(const TempDir &dir, const Buf &bytes, const std::vector<std::string> &extra = {},
                   const std::string &name = "job.bin") {
    const std::string path = dir.file(name);
    EXPECT_TRUE(WriteFile(path, bytes));
    return InspectJson(path, extra);
}

std::vector<int64_t> ErrorOffsets(const InspectRun &r) {
    std::vector<int64_t> v;
    for (const Json &e : r.json["errors"].arr)
        v.push_back(e["offset"].asInt());
    return v;
}

std::string Dump(const InspectRun &r) {
    return "stdout:\n" + r.out + "\nstderr:\n" + r.err;
}

std::vector<TestPage> TwoPages(int bpp = 1) {
    return {PatternPage(608, 700, bpp, 1), PatternPage(608, 512, bpp, 2)};
}

struct DialectCase {
    const char *name;
    char dialect;
    std::function<Stream(const std::vector<TestPage> &)> build;
    std::vector<std::string> pageItems; // names of the items of page 1, in order
};

const DialectCase kDialects[] = {
    {"C",
     'C',
     [](const std::vector<TestPage> &p) { return BuildStreamC(p); },
     {"page-begin", "page-spec", "zero-pair", "custom-paper", "zero-pair", "host-use", "zero-pair",
      "raster-image", "jbig-data", "UEL-C", "zero-pair", "image-checksum", "zero-pair", "coverage",
      "zero-pair", "form-feed", "page-end"}},
    {"Z",
     'Z',
     [](const std::vector<TestPage> &p) { return BuildStreamZ(p); },
     {"page-begin", "page-spec", "zero-pair", "custom-paper", "zero-pair", "coverage", "zero-pair",
      "raster-image", "band", "jbig-data", "band", "jbig-data", "band", "jbig-data", "zero-pair",
      "form-feed", "page-end"}},
    {"M",
     'M',
     [](const std::vector<TestPage> &p) { return BuildStreamM(p); },
     {"page-begin", "START_PAGE_CMD", "JBIG_PARAM_CMD", "JBIG_DATA_CMD", "JBIG_END_CMD",
      "END_PAGE_CMD", "page-end"}},
};

void PrintTo(const DialectCase &c, std::ostream *os) {
    *os << c.name;
}

class InspectDialect : public ::testing::TestWithParam<DialectCase> {};

// A job of two pages in each dialect is well-formed: the listing shows the page's items in
// order, and each page decodes to exactly the bitmap that was coded.
TEST_P(InspectDialect, TwoPageJobIsListedAndDecodedBitForBit) {
    const DialectCase &c = GetParam();
    TempDir dir;
    const std::vector<TestPage> pages = TwoPages();
    const Stream s = c.build(pages);
    const InspectRun r = Inspect(dir, s.bytes, {"--dump-page", "2", dir.file("p2.raw")});
    ASSERT_EQ(r.exitCode, 0) << Dump(r);
    ASSERT_TRUE(r.jsonOk) << Dump(r);
    EXPECT_EQ(r.json["dialect"].str, std::string(1, c.dialect));
    EXPECT_TRUE(r.json["ok"].boolean);
    EXPECT_EQ(r.json["size"].asInt(), int64_t(s.bytes.size()));
    EXPECT_EQ(r.json["errors"].size(), 0u);

    std::vector<std::string> page1;
    for (const Json &it : r.json["items"].arr)
        if (it["page"].asInt() == 1) page1.push_back(it["name"].str);
    EXPECT_EQ(page1, c.pageItems);

    // Items tile the stream: each starts where the previous one ended.
    int64_t next = 0;
    for (const Json &it : r.json["items"].arr) {
        EXPECT_EQ(it["offset"].asInt(), next) << it["name"].str;
        next = it["offset"].asInt() + it["length"].asInt();
    }
    EXPECT_EQ(next, int64_t(s.bytes.size()));

    const Json &jp = r.json["pages"];
    ASSERT_EQ(jp.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(jp[i]["index"].asInt(), int64_t(i + 1));
        EXPECT_EQ(jp[i]["width"].asInt(), pages[i].width);
        EXPECT_EQ(jp[i]["height"].asInt(), pages[i].height);
        EXPECT_EQ(jp[i]["bpp"].asInt(), 1);
        EXPECT_TRUE(jp[i]["decoded"].boolean);
        EXPECT_EQ(jp[i]["toner_pixels"].asInt(), int64_t(TonerPixels(pages[i])));
        EXPECT_EQ(jp[i]["hash"].str, InspectorHash(pages[i].bits.data(), pages[i].bits.size()));
    }
    EXPECT_NE(jp[0]["hash"].str, jp[1]["hash"].str);
    EXPECT_EQ(ReadFile(dir.file("p2.raw")), pages[1].bits);
}

// Pages of two bits per pixel (the 2-bit raster format of platforms C and Z, depth 2 on
// platform M) are reported with half the coded width and four levels.
TEST_P(InspectDialect, TwoBitPagesHaveHalfTheCodedWidth) {
    const DialectCase &c = GetParam();
    TempDir dir;
    const std::vector<TestPage> pages = TwoPages(2);
    const InspectRun r =
        Inspect(dir, c.build(pages).bytes,
                {"--dump-page", "1", dir.file("p1.raw"), "--pages", dir.path(), "--pbm"});
    ASSERT_EQ(r.exitCode, 0) << Dump(r);
    const Json &p = r.json["pages"][0];
    EXPECT_EQ(p["bpp"].asInt(), 2);
    EXPECT_EQ(p["width"].asInt(), 608);
    EXPECT_EQ(p["coded_width"].asInt(), 1216);
    EXPECT_EQ(p["toner_pixels"].asInt(), int64_t(TonerPixels(pages[0])));
    EXPECT_EQ(ReadFile(dir.file("p1.raw")), pages[0].bits);

    // The PGM shows each 2-bit value as one of four grey levels, 0 white and 3 black.
    const Buf pgm = ReadFile(dir.file("page-001.pgm"));
    const std::string header = "P5\n608 700\n255\n";
    ASSERT_GT(pgm.size(), header.size());
    ASSERT_EQ(std::string(pgm.begin(), pgm.begin() + header.size()), header);
    ASSERT_EQ(pgm.size(), header.size() + 608u * 700u);
    for (uint32_t y = 0; y < 700; y += 37) {
        for (uint32_t x = 0; x < 608; x += 3) {
            const unsigned v = (pages[0].bits[y * 152 + x / 4] >> (6 - 2 * (x % 4))) & 3;
            ASSERT_EQ(pgm[header.size() + y * 608 + x], 255 - 85 * v) << x << "," << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Dialects, InspectDialect, ::testing::ValuesIn(kDialects),
                         [](const auto &info) { return std::string(info.param.name); });

// The decoded fields of the frames of platforms C and Z.
TEST(InspectFields, ShortFramesAreDecoded) {
    TempDir dir;
    const InspectRun c = Inspect(dir, BuildStreamC(TwoPages()).bytes, {}, "c.bin");
    ASSERT_EQ(c.exitCode, 0) << Dump(c);
    const Json &spec = *ItemsNamed(c.json, "page-spec").at(1);
    EXPECT_EQ(spec["fields"]["paper_size"].asInt(), 9);
    EXPECT_EQ(spec["fields"]["dpi_x"].asInt(), 600);
    EXPECT_EQ(spec["fields"]["tray"].asInt(), 4);
    EXPECT_EQ(spec["fields"]["long_edge_feed"].asInt(), 1);
    EXPECT_EQ(spec["fields"]["margin_y"].asInt(), 120);
    EXPECT_EQ(spec["fields"]["page_num"].asInt(), 2);
    const Json &job = *ItemsNamed(c.json, "job-spec").at(0);
    EXPECT_EQ(job["fields"]["job_id"].asInt(), 0x2C);
    EXPECT_EQ(job["fields"]["duplex"].asInt(), 1);
    EXPECT_EQ(job["fields"]["save_mode"].asInt(), 1);
    const Json &date = *ItemsNamed(c.json, "system-date").at(0);
    EXPECT_EQ(date["fields"]["year"].asInt(), 2026);
    const Json &raster = *ItemsNamed(c.json, "raster-image").at(0);
    EXPECT_EQ(raster["fields"]["raster_height"].asInt(), 768);
    EXPECT_EQ(raster["fields"]["whole_height"].asInt(), 700);
    const Json &ck = *ItemsNamed(c.json, "image-checksum").at(0);
    EXPECT_EQ(ck["fields"]["checksum"].asInt(), ck["fields"]["expected"].asInt());
    EXPECT_EQ(ItemsNamed(c.json, "coverage").at(0)->operator[]("fields")["printed_points"].asInt(),
              0x1234);
    const auto pjl = ItemsNamed(c.json, "pjl");
    ASSERT_EQ(pjl.size(), 6u); // clean-up end of job, header, language, end of job
    EXPECT_EQ((*pjl[3])["text"].str, "@PJL ENTER LANGUAGE=PL");
    EXPECT_EQ((*ItemsNamed(c.json, "firmware-version").at(0))["text"].str, "versions=3.1.2.1");

    const InspectRun z = Inspect(dir, BuildStreamZ(TwoPages()).bytes, {}, "z.bin");
    ASSERT_EQ(z.exitCode, 0) << Dump(z);
    EXPECT_EQ((*ItemsNamed(z.json, "job-spec").at(0))["fields"]["job_id"].asInt(), 0x01020304);
    EXPECT_EQ((*ItemsNamed(z.json, "engine-params").at(0))["fields"]["variant"].str, "R18");
    EXPECT_EQ((*ItemsNamed(z.json, "coverage").at(0))["fields"]["thousands"].asInt(),
              5 + 2 * 64 + 4096);
    EXPECT_EQ((*ItemsNamed(z.json, "custom-paper").at(0))["fields"]["physical_height"].asInt(),
              7016);
    const auto bands = ItemsNamed(z.json, "band");
    ASSERT_EQ(bands.size(), 5u); // 700 lines: 256 + 256 + 188; 512 lines: 256 + 256
    EXPECT_EQ((*bands[2])["fields"]["pos_vert"].asInt(), 512);
    EXPECT_EQ((*bands[2])["fields"]["yd"].asInt(), 188);
    EXPECT_EQ((*bands[2])["fields"]["l0"].asInt(), 188);
    EXPECT_EQ((*bands[4])["fields"]["yd"].asInt(), 256);
    EXPECT_EQ((*ItemsNamed(z.json, "pjl").at(1))["text"].str, "@PJL JOBTIME=05:09:07:03:2026");
}

// The blocks and parameter records of platform M, and a page whose JBIG data needs several
// packages.
TEST(InspectFields, PlatformMBlocksAndPackages) {
    TempDir dir;
    const TestPage noise = NoisePage(1024, 1100, 7);
    const Stream s = BuildStreamM({noise, PatternPage(608, 300, 1, 3)});
    ASSERT_TRUE(s.at.count("package.1.3")) << "the noise page must need three packages";
    const InspectRun r = Inspect(dir, s.bytes);
    ASSERT_EQ(r.exitCode, 0) << Dump(r);
    const Json &sp = *ItemsNamed(r.json, "START_PAGE_CMD").at(0);
    ASSERT_EQ(sp["params"].size(), 14u);
    EXPECT_EQ(sp["params"][0]["name"].str, "PAPER_SIZE_PARAM");
    EXPECT_EQ(sp["params"][8]["name"].str, "IMG_WIDTH_PARAM");
    EXPECT_EQ(sp["params"][8]["value"].asInt(), 1024);
    EXPECT_EQ(sp["params"][13]["name"].str, "DENSITY_PARAM");
    EXPECT_EQ(sp["params"][13]["id"].asInt(), 0xFF00);
    const Json &toner = *ItemsNamed(r.json, "TONER_PARAM").at(0);
    EXPECT_EQ(toner["fields"]["lowSpeedCoverRate_4"].asInt(), 350);
    EXPECT_EQ(toner["fields"]["dpi1200"].asInt(), 100);
    const auto packages = ItemsNamed(r.json, "JBIG_DATA_CMD");
    ASSERT_EQ(packages.size(), 4u);
    EXPECT_EQ((*packages[0])["fields"]["data_bytes"].asInt(), 65536);
    EXPECT_EQ((*packages[2])["fields"]["package"].asInt(), 3);
    EXPECT_EQ(r.json["pages"][0]["hash"].str, InspectorHash(noise.bits.data(), noise.bits.size()));
    EXPECT_EQ(ItemsNamed(r.json, "TOTAL_PAGE_PARAM").size(), 0u); // records are not items
    EXPECT_EQ((*ItemsNamed(r.json, "START_DOC_CMD").at(0))["params"][2]["value"].asInt(), 1);
}

// A QV-style platform M page whose JBIG parameter block reports the pixel width of a 2-bit
// page decodes with the coded width of its page start.
TEST(InspectFields, PlatformMAcceptsThePixelWidthInTheJbigHeader) {
    TempDir dir;
    const std::vector<TestPage> pages = {PatternPage(608, 300, 2, 4)};
    const InspectRun r = Inspect(dir, BuildStreamM(pages, true).bytes);
    ASSERT_EQ(r.exitCode, 0) << Dump(r);
    EXPECT_EQ(r.json["pages"][0]["hash"].str,
              InspectorHash(pages[0].bits.data(), pages[0].bits.size()));
}

// Keep-alive pairs between commands are listed and accepted on platforms C and Z.
TEST(InspectStructure, KeepAlivePairsBetweenCommandsAreAccepted) {
    TempDir dir;
    Stream c = BuildStreamC(TwoPages());
    Buf bytes = c.bytes;
    bytes.insert(bytes.begin() + long(c.at["form-feed.1"]), {0, 0, 0, 0});
    bytes.insert(bytes.begin() + long(c.at["job-spec.0"]), {0, 0});
    bytes.insert(bytes.end(), {0, 0});
    const InspectRun r = Inspect(dir, bytes);
    EXPECT_EQ(r.exitCode, 0) << Dump(r);
    EXPECT_EQ(ItemsNamed(r.json, "zero-pair").size(),
              ItemsNamed(Inspect(dir, c.bytes).json, "zero-pair").size() + 4);
}

// A corruption of the stream and the offset of the error it must produce.
struct Corruption {
    const char *name;
    std::function<Stream()> build;
    std::function<void(Stream &)> corrupt;
    std::function<size_t(const Stream &)> offset;
    // When set, the error may stand anywhere from `offset` up to this offset (where exactly the
    // JBIG decoder notices damaged data depends on the data).
    std::function<size_t(const Stream &)> upTo = nullptr;
};

// Sets a 16-bit little-endian field of a short frame and puts its checksum right again.
void SetLe16(Stream &s, size_t frame, size_t field, uint32_t value) {
    s.bytes[frame + field] = uint8_t(value);
    s.bytes[frame + field + 1] = uint8_t(value >> 8);
    wire::Reseal(s.bytes, frame);
}

const std::vector<TestPage> &Pages() {
    static const std::vector<TestPage> pages = TwoPages();
    return pages;
}

const Corruption kCorruptions[] = {
    {"FlippedChecksumOfPageSpec", [] { return BuildStreamC(Pages()); },
     [](Stream &s) { s.bytes[s.at["page-spec.2"] + PageSpec::kChecksum] ^= 0x01; },
     [](const Stream &s) { return s.at.at("page-spec.2"); }},
    {"FlippedChecksumOfBandFrame", [] { return BuildStreamZ(Pages()); },
     [](Stream &s) { s.bytes[s.at["band.1.2"] + Band::kChecksum] ^= 0x80; },
     [](const Stream &s) { return s.at.at("band.1.2"); }},
    {"WrongImageChecksum", [] { return BuildStreamC(Pages()); },
     [](Stream &s) {
         const size_t at = s.at["image-checksum.1"];
         s.bytes[at + wire::ImageChecksum::kValue] += 1;
         s.bytes[at + wire::ImageChecksum::kChecksum] -= 1; // frame checksum kept right
     },
     [](const Stream &s) { return s.at.at("image-checksum.1") + wire::ImageChecksum::kValue; }},
    {"UnknownCommand", [] { return BuildStreamC(Pages()); },
     [](Stream &s) {
         const size_t at = s.at["job-spec.0"];
         s.bytes[at + wire::frame::kCommand] = 0x77;
         wire::Reseal(s.bytes, at);
     },
     [](const Stream &s) { return s.at.at("job-spec.0") + wire::frame::kCommand; }},
    {"TruncatedBand", [] { return BuildStreamZ(Pages()); },
     [](Stream &s) { s.bytes.resize(s.at["band.2.2"] + Band::kSize + 10); },
     [](const Stream &s) { return s.at.at("band.2.2"); }},
    {"TruncatedPageDataC", [] { return BuildStreamC(Pages()); },
     [](Stream &s) { s.bytes.resize(s.at["jbig-data.1"] + 5); },
     [](const Stream &s) { return s.at.at("raster-image.1"); }},
    {"ShortenedPackageLength", [] { return BuildStreamM({NoisePage(1024, 600, 9)}); },
     [](Stream &s) { s.bytes[s.at["package.1.1"] + 3] -= 4; }, // 65552 becomes 65548
     [](const Stream &s) { return s.at.at("package.1.2") - 4 + 14; }},
    {"ShortPackageBeforeAFullOne", [] { return BuildStreamM({NoisePage(1024, 600, 9)}); },
     [](Stream &s) {
         // Move the last 4 bytes of package 1 into package 2 by shortening one and
         // lengthening the other header: the lengths stay consistent, the order does not.
         const size_t p1 = s.at["package.1.1"], p2 = s.at["package.1.2"];
         Buf moved(s.bytes.begin() + long(p2) - 4, s.bytes.begin() + long(p2));
         Buf header2(s.bytes.begin() + long(p2), s.bytes.begin() + long(p2) + 16);
         const uint32_t len2 = wire::Be32At(header2, 0) + 4;
         header2[0] = uint8_t(len2 >> 24), header2[1] = uint8_t(len2 >> 16);
         header2[2] = uint8_t(len2 >> 8), header2[3] = uint8_t(len2);
         s.bytes[p1 + 3] -= 4;
         std::copy(header2.begin(), header2.end(), s.bytes.begin() + long(p2) - 4);
         std::copy(moved.begin(), moved.end(), s.bytes.begin() + long(p2) + 12);
         s.at["package.1.2"] = p2 - 4;
     },
     [](const Stream &s) { return s.at.at("package.1.2"); }},
    {"DataPastTheEndC", [] { return BuildStreamC(Pages()); },
     [](Stream &s) { PutText(s.bytes, "@PJL"); },
     [](const Stream &s) { return s.bytes.size() - 4; }},
    {"DataPastTheEndM", [] { return BuildStreamM(Pages()); },
     [](Stream &s) {
         Put(s.bytes, {1, 2, 3});
     },
     [](const Stream &s) { return s.bytes.size() - 3; }},
    {"LoneZeroByte", [] { return BuildStreamZ(Pages()); },
     [](Stream &s) { s.bytes.insert(s.bytes.begin() + long(s.at["form-feed.1"]), 0); },
     [](const Stream &s) { return s.at.at("form-feed.1"); }},
    {"MissingJobEnd", [] { return BuildStreamZ(Pages()); },
     [](Stream &s) { s.bytes.resize(s.at["end-of-job.0"]); },
     [](const Stream &s) { return s.bytes.size(); }},
    {"BandXdDiffersFromRasterWidth", [] { return BuildStreamZ(Pages()); },
     [](Stream &s) {
         const size_t at = s.at["band.1.1"];
         s.bytes[at + Band::kXd] += 8;
         wire::Reseal(s.bytes, at);
     },
     [](const Stream &s) { return s.at.at("band.1.1") + Band::kXd; }},
    {"JbigDataPastTheEndOfTheImage", [] { return BuildStreamC(Pages()); },
     [](Stream &s) {
         // Two bytes more behind the end marker of page 1, and announced.
         const size_t raster = s.at["raster-image.1"];
         const size_t end = s.at["image-checksum.1"] - 2 - kUelC.size();
         s.bytes.insert(s.bytes.begin() + long(end), {0x12, 0x34});
         s.bytes[raster + RasterImage::kBytes] += 2;
         wire::Reseal(s.bytes, raster);
         s.at["end"] = end;
     },
     [](const Stream &s) { return s.at.at("end"); }},
    {"AnnouncedHeightAboveTheCodedStripes", [] { return BuildStreamC(Pages(), 256); },
     [](Stream &s) {
         // 700 lines coded in stripes of 256 (three stripes); 769 lines need a fourth.
         SetLe16(s, s.at["raster-image.1"], RasterImage::kHeight, 769);
     },
     [](const Stream &s) { return s.at.at("jbig-data.1"); }},
    {"AnnouncedHeightAboveTheBands", [] { return BuildStreamZ(Pages()); },
     [](Stream &s) { SetLe16(s, s.at["raster-image.1"], RasterImage::kHeight, 708); },
     [](const Stream &s) { return s.at.at("band.1.3") + Band::kYd; }},
    {"AnnouncedHeightBelowTheCodedImage", [] { return BuildStreamM(Pages()); },
     [](Stream &s) {
         // IMG_HEIGHT_PARAM and the JBIG YD both say 8 lines fewer than were coded.
         const size_t sp = s.at["start-page.1"], jp = s.at["jbig-param.1"];
         using namespace wire::block;
         s.bytes[sp + kHeaderSize + 9 * kRecordSize + 11] -= 8; // IMG_HEIGHT_PARAM, low byte
         s.bytes[jp + wire::JbigParam::kYd + 3] -= 8;
     },
     [](const Stream &s) { return s.at.at("package.1.1") + 16; },
     [](const Stream &s) { return s.at.at("end-page.1") - 16; }},
    {"JbigDataWithoutItsEndMarker", [] { return BuildStreamC(Pages()); },
     [](Stream &s) {
         // Drop the final FF 02 of page 1 and announce two bytes fewer.
         const size_t data = s.at["jbig-data.1"], raster = s.at["raster-image.1"];
         const size_t end = s.at["image-checksum.1"] - 2 - kUelC.size();
         s.bytes.erase(s.bytes.begin() + long(end) - 2, s.bytes.begin() + long(end));
         s.bytes[raster + RasterImage::kBytes] -= 2;
         wire::Reseal(s.bytes, raster);
         s.at["jbig-data.1"] = data;
     },
     [](const Stream &s) { return s.at.at("jbig-data.1"); }},
};

void PrintTo(const Corruption &c, std::ostream *os) {
    *os << c.name;
}

class InspectCorruption : public ::testing::TestWithParam<Corruption> {};

// Each corrupted copy exits 1 and names the offset of the damaged item.
TEST_P(InspectCorruption, IsReportedAtItsOffset) {
    const Corruption &c = GetParam();
    TempDir dir;
    Stream s = c.build();
    {
        const InspectRun good = Inspect(dir, s.bytes, {}, "good.bin");
        ASSERT_EQ(good.exitCode, 0) << Dump(good);
    }
    c.corrupt(s);
    const size_t want = c.offset(s);
    const InspectRun r = Inspect(dir, s.bytes);
    EXPECT_EQ(r.exitCode, 1) << Dump(r);
    ASSERT_TRUE(r.jsonOk) << Dump(r);
    EXPECT_FALSE(r.json["ok"].boolean);
    const std::vector<int64_t> offsets = ErrorOffsets(r);
    ASSERT_FALSE(offsets.empty()) << Dump(r);
    if (c.upTo) {
        EXPECT_GE(offsets.front(), int64_t(want)) << Dump(r);
        EXPECT_LE(offsets.front(), int64_t(c.upTo(s))) << Dump(r);
        return;
    }
    EXPECT_EQ(offsets.front(), int64_t(want)) << Dump(r);
    EXPECT_NE(r.err.find("offset " + std::to_string(want)), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(Streams, InspectCorruption, ::testing::ValuesIn(kCorruptions),
                         [](const auto &info) { return std::string(info.param.name); });

// Without --dialect a stream that starts with none of the three openings is an error; with it,
// a stream read in the wrong dialect fails on the first frame that dialect does not know.
TEST(InspectStructure, DialectDetectionAndForcing) {
    TempDir dir;
    InspectRun r = Inspect(dir, {0x0B, 0x04, 0x16, 0xDB});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(ErrorOffsets(r), std::vector<int64_t>{0});
    r = Inspect(dir, {});
    EXPECT_EQ(r.exitCode, 1);

    const Stream c = BuildStreamC(Pages());
    r = Inspect(dir, c.bytes, {"--dialect", "Z"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.json["dialect"].str, "Z");
    r = Inspect(dir, c.bytes, {"--dialect", "c"});
    EXPECT_EQ(r.exitCode, 0) << Dump(r);
}

// Usage errors exit 2 and print the usage text.
TEST(InspectUsage, BadArgumentsExitTwo) {
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir.file("c.bin"), BuildStreamC(Pages()).bytes));
    const std::vector<std::vector<std::string>> cases = {
        {"--frobnicate", dir.file("c.bin")},
        {"--dialect", "Q", dir.file("c.bin")},
        {"--dialect"},
        {"--pbm", dir.file("c.bin")},
        {"--dump-page", "0", dir.file("x"), dir.file("c.bin")},
        {"--dump-page", "3"},
        {dir.file("c.bin"), dir.file("c.bin")},
        {dir.file("missing.bin")},
        {"--dump-page", "3", dir.file("x"), dir.file("c.bin")}, // the job has two pages
    };
    for (const auto &args : cases) {
        const InspectRun r = RunInspector(args);
        EXPECT_EQ(r.exitCode, 2) << args[0] << "\n" << Dump(r);
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_EQ(RunInspector({"--help"}).exitCode, 0);
}

// The stream can come on standard input, and the text listing names items and errors.
TEST(InspectListing, StandardInputAndTextListing) {
    TempDir dir;
    Stream s = BuildStreamZ(Pages());
    ASSERT_TRUE(WriteFile(dir.file("z.bin"), s.bytes));
    InspectRun r = RunInspector({}, dir.file("z.bin"));
    ASSERT_EQ(r.exitCode, 0) << Dump(r);
    EXPECT_NE(r.out.find("dialect Z"), std::string::npos);
    EXPECT_NE(r.out.find("\"@PJL JOBOWNER=testhost\""), std::string::npos);
    EXPECT_NE(r.out.find("page 2 (number 2): 608 x 512, 1 bpp"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("OK:"), std::string::npos);

    s.bytes[s.at["page-spec.1"] + PageSpec::kChecksum] ^= 0xFF;
    ASSERT_TRUE(WriteFile(dir.file("bad.bin"), s.bytes));
    r = RunInspector({"-"}, dir.file("bad.bin"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("ERROR at offset " + std::to_string(s.at["page-spec.1"])),
              std::string::npos)
        << r.out;
}

// --pages writes one PNG per page with the page's size and depth in its header.
TEST(InspectPages, PngFilesCarryThePageSize) {
    TempDir dir;
    const std::string out = dir.file("pages");
    std::vector<TestPage> pages = {PatternPage(608, 700, 1, 1), PatternPage(608, 300, 2, 2)};
    const InspectRun r = Inspect(dir, BuildStreamM(pages).bytes, {"--pages", out});
    ASSERT_EQ(r.exitCode, 0) << Dump(r);
    for (int i = 0; i < 2; ++i) {
        const Buf png = ReadFile(out + (i ? "/page-002.png" : "/page-001.png"));
        ASSERT_GT(png.size(), 33u);
        EXPECT_EQ(std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8), 0);
        EXPECT_EQ(std::memcmp(png.data() + 12, "IHDR", 4), 0);
        const uint32_t w = uint32_t(png[16]) << 24 | png[17] << 16 | png[18] << 8 | png[19];
        const uint32_t h = uint32_t(png[20]) << 24 | png[21] << 16 | png[22] << 8 | png[23];
        EXPECT_EQ(w, pages[i].width);
        EXPECT_EQ(h, pages[i].height);
        EXPECT_EQ(png[24], pages[i].bpp); // bit depth
        EXPECT_EQ(png[25], 0);            // grey
    }
    // PBM rows are the bitmap rows as they are.
    const InspectRun p =
        Inspect(dir, BuildStreamC({pages[0]}).bytes, {"--pages", dir.path(), "--pbm"});
    ASSERT_EQ(p.exitCode, 0) << Dump(p);
    const Buf pbm = ReadFile(dir.file("page-001.pbm"));
    const std::string header = "P4\n608 700\n";
    ASSERT_EQ(pbm.size(), header.size() + pages[0].bits.size());
    EXPECT_EQ(Buf(pbm.begin() + long(header.size()), pbm.end()), pages[0].bits);
}

// A whole A4 page at 600 dpi (4960 x 7016) decodes bit for bit. Its speed is measured by the
// benchmarks, not asserted here.
TEST(InspectPages, A4At600DpiDecodesBitForBit) {
    TempDir dir;
    const std::vector<TestPage> pages = {PatternPage(4960, 7016, 1, 11)};
    const Stream s = BuildStreamC(pages);
    ASSERT_TRUE(WriteFile(dir.file("a4.bin"), s.bytes));
    const InspectRun r = InspectJson(dir.file("a4.bin"));
    ASSERT_EQ(r.exitCode, 0) << Dump(r);
    EXPECT_EQ(r.json["pages"][0]["width"].asInt(), 4960);
    EXPECT_EQ(r.json["pages"][0]["height"].asInt(), 7016);
    EXPECT_EQ(r.json["pages"][0]["hash"].str,
              InspectorHash(pages[0].bits.data(), pages[0].bits.size()));
}

} // namespace
