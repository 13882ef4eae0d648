// Runs kelvra-inspect on a job stream and reads its JSON report back: a small JSON reader
// (enough for the inspector's output) and helpers to pick items and pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// A parsed JSON value. Missing members and out-of-range elements read as a null value, so
// that chained look-ups never throw.
struct Json {
    enum Type { Null, Bool, Number, String, Array, Object };
    Type type = Null;
    bool boolean = false;
    double number = 0;
    std::string str;
    std::vector<Json> arr;
    std::vector<std::pair<std::string, Json>> obj;

    const Json &operator[](const std::string &key) const;
    const Json &operator[](size_t index) const;
    bool has(const std::string &key) const;
    int64_t asInt() const { return static_cast<int64_t>(number); }
    size_t size() const { return type == Array ? arr.size() : obj.size(); }
};

// Parses a whole JSON text; returns false (with a message naming the position) on bad input.
bool ParseJson(const std::string &text, Json &out, std::string *error = nullptr);

struct InspectRun {
    int exitCode = -1;
    std::string out;
    std::string err;
    Json json; // parsed standard output when --json was given
    bool jsonOk = false;
};

// Runs the built inspector with the given arguments (argv[1..]); `stdinFile` feeds standard
// input when not empty.
InspectRun RunInspector(const std::vector<std::string> &args, const std::string &stdinFile = "");

// Runs the inspector with --json on a file, plus extra arguments, and parses the report.
InspectRun InspectJson(const std::string &streamFile, const std::vector<std::string> &extra = {});

// The report's items whose "name" is `name`, in stream order.
std::vector<const Json *> ItemsNamed(const Json &report, const std::string &name);

// The FNV-1a 64-bit hash that the inspector reports for a decoded bitmap, as 16 hex digits.
std::string InspectorHash(const uint8_t *data, size_t size);
