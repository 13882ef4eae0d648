#include "tests/support/marked_pages.h"

namespace {
constexpr unsigned kMarkInset = 16;

// Names one decoded page by its mark.
std::string PageToken(const Json &page) {
    const int64_t toner = page["toner_pixels"].asInt();
    if (!page["decoded"].boolean) return "?undecoded";
    if (toner == 0) return "blank";
    if (toner % kMarkUnitPixels != 0) return std::string("?").append(std::to_string(toner));
    return std::to_string(toner / kMarkUnitPixels);
}
} // namespace

cups_page_header2_t MarkedHeader() {
    return MakeGreyHeader(144, 144, 600, 600, "Custom");
}

RasterPage MarkedPage(const cups_page_header2_t &header, unsigned number) {
    const unsigned right = kMarkInset + number * kMarkWidthPerPage;
    const unsigned bottom = kMarkInset + kMarkHeight;
    return MakeGreyPage(header, [=](unsigned x, unsigned y) -> uint8_t {
        return x >= kMarkInset && x < right && y >= kMarkInset && y < bottom ? 0x00 : 0xFF;
    });
}

void WriteMarkedJob(const std::string &path, unsigned count,
                    const std::function<void(cups_page_header2_t &)> &adjust) {
    std::vector<RasterPage> pages;
    for (unsigned n = 1; n <= count; ++n) {
        cups_page_header2_t header = MarkedHeader();
        if (adjust) adjust(header);
        pages.push_back(MarkedPage(header, n));
    }
    WriteRasterFile(path, pages);
}

std::vector<std::string> PrinterOrder(const Json &report) {
    std::vector<std::string> order;
    const Json &items = report["items"];
    const Json &pages = report["pages"];
    for (size_t i = 0; i < items.size(); ++i) {
        const Json &item = items[i];
        if (item["kind"].str == "page-begin") {
            const int64_t index = item["page"].asInt();
            order.push_back(index >= 1 ? PageToken(pages[static_cast<size_t>(index - 1)])
                                       : "?page");
        } else if (item["name"].str == "manual-duplex" || item["name"].str == "MANUAL_DUPLEX_CMD") {
            order.push_back("cmd");
        }
    }
    return order;
}

std::vector<const Json *> PageStarts(const Json &report) {
    std::vector<const Json *> starts = ItemsNamed(report, "page-spec");
    for (const Json *block : ItemsNamed(report, "START_PAGE_CMD"))
        starts.push_back(block);
    return starts;
}

int64_t PageStartField(const Json &pageStart, const std::string &field) {
    if (pageStart["name"].str == "page-spec") {
        const Json &fields = pageStart["fields"];
        return fields.has(field) ? fields[field].asInt() : -1;
    }
    const std::string param = field == "copies" ? "COPIES_PARAM"
                              : field == "tray" ? "INPUT_TRAY_PARAM"
                                                : "";
    const Json &params = pageStart["params"];
    for (size_t i = 0; i < params.size(); ++i)
        if (params[i]["name"].str == param) return params[i]["value"].asInt();
    return -1;
}

void InspectStream(InspectedJob &job) {
    if (job.run.out.empty()) return;
    TempDir dir;
    const std::string stream = dir.file("stream.bin");
    WriteWholeFile(stream, job.run.out);
    job.inspect = InspectJson(stream);
    job.order = PrinterOrder(job.inspect.json);
}

InspectedJob RunInspected(FilterCall call) {
    TempDir tmp;
    call.env["TMPDIR"] = tmp.path();
    InspectedJob job;
    job.run = RunFilterProcess(call);
    job.leftovers = tmp.entries();
    InspectStream(job);
    return job;
}
