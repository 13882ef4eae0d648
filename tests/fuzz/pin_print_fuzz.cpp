// Fuzzes the locked-print ticket builder with arbitrary job ids, user names, titles, host
// names and option strings, in the C and UTF-8 locales. The job is locked, and its PIN made,
// from the option string and the QV fixture's PPD as the filter does. Every ticket must be a
// sequence of whole "@PJL SET KEY=\"value\"\n" lines, in the fixed order, with nothing in a
// value that could end the line or the quoted value early.
//
// Input: a flag byte (bit 0 JOBOWNER line, bit 1 UTF-8 locale), then the job id, user name,
// title, option string and host name, separated by NUL bytes (a missing field is empty).
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include <cups/ppd.h>

#include "common/job_settings.h"
#include "filter/locked_print.h"
#include "prnt/pin_print.h"
#include "tests/fuzz/fuzz_support.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

ppd_file_t *gPPD = nullptr;

// Checks the ticket's shape; `locked` and `owner` say which lines must be there.
void CheckTicket(const std::string &ticket, bool owner, bool locked) {
    std::vector<std::string> keys;
    if (owner) keys.push_back("JOBOWNER");
    keys.insert(keys.end(), {"USERNAME", "JOBNAME"});
    if (locked) keys.insert(keys.end(), {"PINJOBNAME", "JOBPASSWORD"});
    size_t pos = 0;
    for (const std::string &key : keys) {
        const std::string head = "@PJL SET " + key + "=\"";
        if (ticket.compare(pos, head.size(), head) != 0)
            FuzzFail("ticket line missing or out of order", key + "\n" + ticket);
        const size_t end = ticket.find('\n', pos);
        if (end == std::string::npos) FuzzFail("ticket line without a line end", ticket);
        const std::string value = ticket.substr(pos + head.size(), end - pos - head.size());
        if (value.empty() || value.back() != '"') FuzzFail("value not closed by a quote", ticket);
        for (size_t i = 0; i + 1 < value.size(); ++i) {
            const auto c = static_cast<unsigned char>(value[i]);
            if (c == '"' || c < 0x20 || c == 0x7F) FuzzFail("unsafe byte inside a value", ticket);
        }
        pos = end + 1;
    }
    if (pos != ticket.size()) FuzzFail("extra text after the ticket lines", ticket);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    KeepSanitizerReportsVisible();
    const std::string ppd = std::string(KELVRA_FIXTURES_DIR) + "/ppd/qv.ppd";
    gPPD = ppdOpenFile(ppd.c_str());
    if (gPPD == nullptr) FuzzFail("cannot open the PPD fixture", ppd);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Silence err(getenv("KELVRA_FUZZ_VERBOSE") ? -1 : STDERR_FILENO);
    FuzzReader in(data, size);
    const uint8_t flags = in.U8();
    std::setlocale(LC_ALL, (flags & 2) ? "C.UTF-8" : "C");
    JobIdentity id;
    id.jobIdText = in.Text();
    id.user = in.Text();
    id.title = in.Text();
    const std::string options = in.Text();
    id.host = in.Text();

    std::vector<char> pin(kPinBufferSize, '\0');
    const bool locked = ispinPrint(options.c_str(), pin.data(), pin.size(), gPPD);
    if (std::memchr(pin.data(), '\0', pin.size()) == nullptr) FuzzFail("PIN not terminated");

    std::vector<char> ticket(kPinPrintPJLSize, 'x');
    const bool owner = flags & 1;
    GetPinPrintPJL(id, locked, pin.data(), ticket.data(), owner, ticket.size());
    if (std::memchr(ticket.data(), '\0', ticket.size()) == nullptr)
        FuzzFail("ticket not terminated");
    CheckTicket(ticket.data(), owner, locked);
    std::setlocale(LC_ALL, "C");
    return 0;
}
