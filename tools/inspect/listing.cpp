// Output of a report: the human listing (one line per item) and the JSON document whose
// schema README.md describes.
#include "tools/inspect/inspect.h"

#include <cinttypes>

namespace {

// A text with control characters and non-ASCII bytes made visible.
std::string Printable(const std::string &s) {
    std::string out;
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F)
            out += char(c);
        else
            out += "\\x" + Hex(c, 2);
    }
    return out;
}

// A JSON string literal; bytes outside printable ASCII become \u00XX, one per byte.
std::string JsonString(const std::string &s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += char(c);
        } else {
            out += "\\u00" + Hex(c, 2);
        }
    }
    return out + "\"";
}

std::string HashText(uint64_t h) {
    return Hex(h, 16);
}

void PrintFields(FILE *out, const std::vector<Field> &fields) {
    for (const Field &f : fields) {
        if (f.isText)
            fprintf(out, " %s=%s", f.name.c_str(), Printable(f.text).c_str());
        else
            fprintf(out, " %s=%" PRId64, f.name.c_str(), f.num);
    }
}

} // namespace

// One line per item: offset in hex, length, kind, name, then the decoded fields; parameter
// records of platform M blocks follow on their own indented lines; then the page summaries
// and the errors.
void PrintListing(FILE *out, const Report &r) {
    fprintf(out, "dialect %c, %zu bytes\n", r.dialect, r.size);
    for (const Item &it : r.items) {
        if (it.kind == "page-begin" || it.kind == "page-end") {
            fprintf(out, "%08zX  ------ %s %d\n", it.offset,
                    it.kind == "page-begin" ? "page begins" : "page ends", it.page);
            continue;
        }
        fprintf(out, "%08zX  %6zu %-6s %-18s", it.offset, it.length, it.kind.c_str(),
                it.name.c_str());
        if (!it.text.empty()) fprintf(out, " \"%s\"", Printable(it.text).c_str());
        PrintFields(out, it.fields);
        fputc('\n', out);
        for (const Param &p : it.params)
            fprintf(out, "%08zX      12   param  %-24s id=0x%04X type=%u value=%u\n", p.offset,
                    p.name.c_str(), p.id, p.type, p.value);
    }
    for (const Page &p : r.pages) {
        fprintf(out, "page %d (number %d): ", p.index, p.pageNum);
        if (!p.hasImage) {
            fprintf(out, "no image\n");
            continue;
        }
        fprintf(out, "%u x %u, %d bpp, %zu JBIG bytes in %zu image(s)", p.width, p.height, p.bpp,
                p.jbigBytes, p.images.size());
        if (p.decoded)
            fprintf(out, ", %" PRIu64 " toner pixels, hash %s\n", p.tonerPixels,
                    HashText(p.hash).c_str());
        else
            fprintf(out, ", not decoded\n");
    }
    for (const StreamError &e : r.errors)
        fprintf(out, "ERROR at offset %zu (0x%zX): %s\n", e.offset, e.offset, e.message.c_str());
    fprintf(out, "%s: %zu item(s), %zu page(s), %zu error(s)\n", r.errors.empty() ? "OK" : "FAILED",
            r.items.size(), r.pages.size(), r.errors.size());
}

// The JSON document: one object, items on one line each so that the output stays greppable.
void PrintJson(FILE *out, const Report &r, const std::string &source) {
    fprintf(out, "{\n\"source\": %s,\n\"dialect\": \"%c\",\n\"size\": %zu,\n\"ok\": %s,\n",
            JsonString(source).c_str(), r.dialect, r.size, r.errors.empty() ? "true" : "false");
    fprintf(out, "\"items\": [");
    for (size_t i = 0; i < r.items.size(); ++i) {
        const Item &it = r.items[i];
        fprintf(out,
                "%s\n {\"offset\": %zu, \"length\": %zu, \"kind\": %s, \"name\": %s, "
                "\"page\": %d",
                i ? "," : "", it.offset, it.length, JsonString(it.kind).c_str(),
                JsonString(it.name).c_str(), it.page);
        if (it.kind == "pjl" || it.kind == "text")
            fprintf(out, ", \"text\": %s", JsonString(it.text).c_str());
        fprintf(out, ", \"fields\": {");
        for (size_t k = 0; k < it.fields.size(); ++k) {
            const Field &f = it.fields[k];
            fprintf(out, "%s%s: ", k ? ", " : "", JsonString(f.name).c_str());
            if (f.isText)
                fputs(JsonString(f.text).c_str(), out);
            else
                fprintf(out, "%" PRId64, f.num);
        }
        fprintf(out, "}");
        if (it.kind == "block") {
            fprintf(out, ", \"params\": [");
            for (size_t k = 0; k < it.params.size(); ++k) {
                const Param &p = it.params[k];
                fprintf(out,
                        "%s{\"offset\": %zu, \"id\": %u, \"name\": %s, \"type\": %u, "
                        "\"value\": %u}",
                        k ? ", " : "", p.offset, p.id, JsonString(p.name).c_str(), p.type, p.value);
            }
            fprintf(out, "]");
        }
        fprintf(out, "}");
    }
    fprintf(out, "\n],\n\"pages\": [");
    for (size_t i = 0; i < r.pages.size(); ++i) {
        const Page &p = r.pages[i];
        fprintf(out,
                "%s\n {\"index\": %d, \"page_num\": %d, \"offset\": %zu, \"width\": %u, "
                "\"height\": %u, \"bpp\": %d, \"coded_width\": %u, \"stripe_height\": %u, "
                "\"images\": %zu, \"jbig_bytes\": %zu, \"decoded\": %s, \"toner_pixels\": "
                "%" PRIu64 ", \"hash\": \"%s\"}",
                i ? "," : "", p.index, p.pageNum, p.offset, p.width, p.height, p.bpp, p.codedWidth,
                p.stripeHeight, p.images.size(), p.jbigBytes, p.decoded ? "true" : "false",
                p.tonerPixels, p.decoded ? HashText(p.hash).c_str() : "");
    }
    fprintf(out, "\n],\n\"errors\": [");
    for (size_t i = 0; i < r.errors.size(); ++i)
        fprintf(out, "%s\n {\"offset\": %zu, \"message\": %s}", i ? "," : "", r.errors[i].offset,
                JsonString(r.errors[i].message).c_str());
    fprintf(out, "\n]\n}\n");
}
