// kelvra-inspect: takes apart a job stream of the Kelvra printers (platform C, Z or M), lists
// every item, decodes every page and writes page images on request.
// Exit status: 0 well-formed stream, 1 structural error, 2 usage or file error.
#include "tools/inspect/inspect.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

struct Options {
    std::string input = "-";
    char dialect = 0;
    bool json = false;
    std::string pagesDir;
    bool pnm = false;
    int dumpPage = 0;
    std::string dumpFile;
};

void Usage(FILE *out) {
    fputs("usage: kelvra-inspect [--dialect C|Z|M] [--json] [--pages DIR [--pbm]]\n"
          "                      [--dump-page N FILE] [FILE | -]\n"
          "Lists and checks a job stream written by rastertoKelvra (standard input when FILE\n"
          "is missing or \"-\").\n"
          "  --dialect C|Z|M    read the stream in this dialect instead of detecting it\n"
          "  --json             print the listing and the page summaries as JSON\n"
          "  --pages DIR        write each decoded page as DIR/page-NNN.png\n"
          "  --pbm              with --pages: write PBM (1 bit) or PGM (2 bits) instead\n"
          "  --dump-page N FILE write the decoded bitmap of page N (1-based, stream order) as\n"
          "                     packed rows, most significant bit first\n"
          "Exit status: 0 well-formed, 1 structural error, 2 usage or file error.\n",
          out);
}

int UsageError(const std::string &msg) {
    fprintf(stderr, "kelvra-inspect: %s\n", msg.c_str());
    Usage(stderr);
    return 2;
}

// Parses the command line; returns -1 to go on, else the exit status.
int ParseArgs(int argc, char **argv, Options &o) {
    bool haveInput = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&](const char *what) -> const char * {
            if (i + 1 >= argc) return nullptr;
            (void)what;
            return argv[++i];
        };
        if (a == "-h" || a == "--help") {
            Usage(stdout);
            return 0;
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--pbm") {
            o.pnm = true;
        } else if (a == "--dialect") {
            const char *v = next("dialect");
            if (!v || strlen(v) != 1 || !strchr("CZMczm", v[0]))
                return UsageError("--dialect needs C, Z or M");
            o.dialect = static_cast<char>(toupper(static_cast<unsigned char>(v[0])));
        } else if (a == "--pages") {
            const char *v = next("pages");
            if (!v || !*v) return UsageError("--pages needs a directory");
            o.pagesDir = v;
        } else if (a == "--dump-page") {
            const char *n = next("page");
            const char *f = n ? next("file") : nullptr;
            char *end = nullptr;
            const long page = n ? strtol(n, &end, 10) : 0;
            if (!n || !f || !*f || *end || page < 1 || page > 1000000)
                return UsageError("--dump-page needs a page number from 1 and a file");
            o.dumpPage = static_cast<int>(page);
            o.dumpFile = f;
        } else if (a.size() > 1 && a[0] == '-') {
            return UsageError("unknown option " + a);
        } else {
            if (haveInput) return UsageError("more than one input file");
            o.input = a;
            haveInput = true;
        }
    }
    if (o.pnm && o.pagesDir.empty()) return UsageError("--pbm needs --pages DIR");
    return -1;
}

// Reads the whole input into memory.
bool ReadInput(const std::string &path, std::vector<uint8_t> &data) {
    FILE *f = path == "-" ? stdin : fopen(path.c_str(), "rb");
    if (!f) return false;
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        data.insert(data.end(), buf, buf + n);
    const bool ok = !ferror(f);
    if (f != stdin) fclose(f);
    return ok;
}

std::string PagePath(const Options &o, const Page &p) {
    char name[64];
    const char *ext = !o.pnm ? "png" : (p.bpp == 1 ? "pbm" : "pgm");
    snprintf(name, sizeof name, "/page-%03d.%s", p.index, ext);
    return o.pagesDir + name;
}

} // namespace

int main(int argc, char **argv) {
    Options o;
    if (const int rc = ParseArgs(argc, argv, o); rc >= 0) return rc;

    std::vector<uint8_t> data;
    if (!ReadInput(o.input, data)) {
        fprintf(stderr, "kelvra-inspect: cannot read %s: %s\n", o.input.c_str(), strerror(errno));
        return 2;
    }
    if (!o.pagesDir.empty() && mkdir(o.pagesDir.c_str(), 0777) != 0 && errno != EEXIST) {
        fprintf(stderr, "kelvra-inspect: cannot create %s: %s\n", o.pagesDir.c_str(),
                strerror(errno));
        return 2;
    }

    Report r;
    r.size = data.size();
    r.dialect = o.dialect ? o.dialect : DetectDialect(data);
    if (!r.dialect) {
        r.dialect = '?';
        AddError(r, 0,
                 "cannot tell the dialect from the first bytes (expected 1B FF 2D 31 32 33 "
                 "34 35 58 for platform C, or 1B 25 2D 31 32 33 34 35 58 followed by "
                 "\"@PJL\" for platform Z or \"JZJZ\" for platform M); use --dialect");
    } else if (r.dialect == 'M') {
        ParsePlatformMStream(data, r);
    } else {
        ParseShortFrameStream(data, r.dialect, r);
    }

    int status = 0;
    bool dumped = false;
    std::vector<uint8_t> bitmap;
    for (Page &p : r.pages) {
        if (!p.complete) continue;
        if (!DecodePage(p, bitmap, r)) continue;
        p.decoded = true;
        p.tonerPixels = CountTonerPixels(bitmap, p.codedWidth, p.height, p.bpp);
        p.hash = BitmapHash(bitmap);
        if (!o.pagesDir.empty()) {
            const std::string path = PagePath(o, p);
            if (!(o.pnm ? WritePnm(path, bitmap, p) : WritePng(path, bitmap, p))) {
                fprintf(stderr, "kelvra-inspect: cannot write %s\n", path.c_str());
                status = 2;
            }
        }
        if (p.index == o.dumpPage) {
            dumped = true;
            if (!WriteRaw(o.dumpFile, bitmap)) {
                fprintf(stderr, "kelvra-inspect: cannot write %s\n", o.dumpFile.c_str());
                status = 2;
            }
        }
    }

    // Errors are listed in stream order, whichever pass found them.
    std::stable_sort(
        r.errors.begin(), r.errors.end(),
        [](const StreamError &a, const StreamError &b) { return a.offset < b.offset; });
    if (o.json)
        PrintJson(stdout, r, o.input);
    else
        PrintListing(stdout, r);
    fflush(stdout);
    for (const StreamError &e : r.errors)
        fprintf(stderr, "kelvra-inspect: offset %zu (0x%zX): %s\n", e.offset, e.offset,
                e.message.c_str());

    if (o.dumpPage && !dumped) {
        if (o.dumpPage > static_cast<int>(r.pages.size())) {
            fprintf(stderr, "kelvra-inspect: no page %d in the stream (it holds %zu)\n", o.dumpPage,
                    r.pages.size());
            if (r.errors.empty()) return 2;
        } else {
            fprintf(stderr, "kelvra-inspect: page %d was not decoded\n", o.dumpPage);
        }
    }
    if (!r.errors.empty()) return 1;
    return status;
}
