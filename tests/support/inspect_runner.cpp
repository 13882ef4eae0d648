// Runs kelvra-inspect and parses its JSON report.
#include "tests/support/inspect_runner.h"

#include "tests/support/filter_runner.h"

#include <cstdio>
#include <cstdlib>

namespace {

const Json &NullJson() {
    static const Json kNull;
    return kNull;
}

// Recursive-descent reader over the text.
struct JsonReader {
    const std::string &s;
    size_t pos = 0;
    std::string error;

    void Skip() {
        while (pos < s.size() &&
               (s[pos] == ' ' || s[pos] == '\n' || s[pos] == '\r' || s[pos] == '\t'))
            ++pos;
    }
    bool Fail(const std::string &what) {
        if (error.empty()) error = what + " at position " + std::to_string(pos);
        return false;
    }
    bool Literal(const char *word) {
        const std::string w(word);
        if (s.compare(pos, w.size(), w) != 0) return Fail("expected " + w);
        pos += w.size();
        return true;
    }
    bool String(std::string &out) {
        if (pos >= s.size() || s[pos] != '"') return Fail("expected a string");
        ++pos;
        while (pos < s.size() && s[pos] != '"') {
            char c = s[pos++];
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos >= s.size()) return Fail("unterminated escape");
            c = s[pos++];
            switch (c) {
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'u': {
                if (pos + 4 > s.size()) return Fail("short \\u escape");
                const unsigned long v = strtoul(s.substr(pos, 4).c_str(), nullptr, 16);
                pos += 4;
                if (v > 0xFF) return Fail("\\u escape above 0xFF is not supported");
                out += static_cast<char>(v);
                break;
            }
            default:
                out += c;
                break;
            }
        }
        if (pos >= s.size()) return Fail("unterminated string");
        ++pos;
        return true;
    }
    bool Value(Json &v) {
        Skip();
        if (pos >= s.size()) return Fail("unexpected end");
        const char c = s[pos];
        if (c == '{') {
            v.type = Json::Object;
            ++pos;
            Skip();
            if (pos < s.size() && s[pos] == '}') return ++pos, true;
            for (;;) {
                Skip();
                std::pair<std::string, Json> member;
                if (!String(member.first)) return false;
                Skip();
                if (pos >= s.size() || s[pos] != ':') return Fail("expected ':'");
                ++pos;
                if (!Value(member.second)) return false;
                v.obj.push_back(std::move(member));
                Skip();
                if (pos < s.size() && s[pos] == ',') {
                    ++pos;
                    continue;
                }
                if (pos < s.size() && s[pos] == '}') return ++pos, true;
                return Fail("expected ',' or '}'");
            }
        }
        if (c == '[') {
            v.type = Json::Array;
            ++pos;
            Skip();
            if (pos < s.size() && s[pos] == ']') return ++pos, true;
            for (;;) {
                Json e;
                if (!Value(e)) return false;
                v.arr.push_back(std::move(e));
                Skip();
                if (pos < s.size() && s[pos] == ',') {
                    ++pos;
                    continue;
                }
                if (pos < s.size() && s[pos] == ']') return ++pos, true;
                return Fail("expected ',' or ']'");
            }
        }
        if (c == '"') {
            v.type = Json::String;
            return String(v.str);
        }
        if (c == 't') return v.type = Json::Bool, v.boolean = true, Literal("true");
        if (c == 'f') return v.type = Json::Bool, v.boolean = false, Literal("false");
        if (c == 'n') return v.type = Json::Null, Literal("null");
        char *end = nullptr;
        v.number = strtod(s.c_str() + pos, &end);
        if (end == s.c_str() + pos) return Fail("unexpected character");
        v.type = Json::Number;
        pos = static_cast<size_t>(end - s.c_str());
        return true;
    }
};

} // namespace

const Json &Json::operator[](const std::string &key) const {
    for (const auto &m : obj)
        if (m.first == key) return m.second;
    return NullJson();
}

const Json &Json::operator[](size_t index) const {
    return index < arr.size() ? arr[index] : NullJson();
}

bool Json::has(const std::string &key) const {
    for (const auto &m : obj)
        if (m.first == key) return true;
    return false;
}

bool ParseJson(const std::string &text, Json &out, std::string *error) {
    JsonReader r{text, 0, {}};
    out = Json{};
    bool ok = r.Value(out);
    if (ok) {
        r.Skip();
        if (r.pos != text.size()) ok = r.Fail("text after the value");
    }
    if (!ok && error) *error = r.error;
    return ok;
}

InspectRun RunInspector(const std::vector<std::string> &args, const std::string &stdinFile) {
    FilterCall call;
    call.args = args;
    call.stdinFile = stdinFile;
#ifdef KELVRA_INSPECT_BIN
    call.binary = KELVRA_INSPECT_BIN;
#endif
    const FilterRun run = RunFilterProcess(call);
    InspectRun r;
    r.exitCode = run.exitCode;
    r.out = run.out;
    r.err = run.err;
    return r;
}

InspectRun InspectJson(const std::string &streamFile, const std::vector<std::string> &extra) {
    std::vector<std::string> args = {"--json"};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(streamFile);
    InspectRun r = RunInspector(args);
    std::string error;
    r.jsonOk = ParseJson(r.out, r.json, &error);
    if (!r.jsonOk) r.err += "\n(JSON report does not parse: " + error + ")";
    return r;
}

std::vector<const Json *> ItemsNamed(const Json &report, const std::string &name) {
    std::vector<const Json *> found;
    for (const Json &it : report["items"].arr)
        if (it["name"].str == name) found.push_back(&it);
    return found;
}

std::string InspectorHash(const uint8_t *data, size_t size) {
    uint64_t h = 0xcbf29ce484222325ULL;
    for (size_t i = 0; i < size; ++i) {
        h ^= data[i];
        h *= 0x100000001b3ULL;
    }
    char text[17];
    snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(h));
    return text;
}
