// Small helpers that fill the report: fields of items, errors, hexadecimal text.
#include "tools/inspect/inspect.h"

#include <utility>

// Appends a numeric field to an item.
void AddNum(Item &it, const char *name, int64_t v) {
    Field f;
    f.name = name;
    f.num = v;
    it.fields.push_back(std::move(f));
}

// Appends a text field to an item.
void AddText(Item &it, const char *name, std::string v) {
    Field f;
    f.name = name;
    f.isText = true;
    f.text = std::move(v);
    it.fields.push_back(std::move(f));
}

// Records a structural error at a byte offset.
void AddError(Report &r, size_t offset, std::string message) {
    r.errors.push_back(StreamError{offset, std::move(message)});
}

// Formats a value as upper-case hexadecimal with a fixed number of digits.
std::string Hex(uint64_t v, int digits) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string s(digits, '0');
    for (int i = digits - 1; i >= 0; --i, v >>= 4)
        s[i] = kDigits[v & 15];
    return s;
}
