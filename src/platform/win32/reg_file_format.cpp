#include "platform/win32/reg_file_format.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/win32/winreg.h"

namespace {

constexpr std::string_view kHeader = "REGEDIT4";

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = lower(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// Physical lines joined where a line ends in a backslash (the editor wraps
// long hex lists that way); the continuation's leading blanks are dropped.
std::vector<std::string> logical_lines(std::string_view text)
{
    std::vector<std::string> lines;
    std::string current;
    bool continuing = false;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (continuing)
            line = trim(line);
        continuing = !line.empty() && line.back() == '\\';
        if (continuing)
            line.remove_suffix(1);
        current.append(line);
        if (!continuing) {
            lines.push_back(std::move(current));
            current.clear();
        }
        pos = end + 1;
    }
    if (continuing)
        lines.push_back(std::move(current));
    return lines;
}

// A quoted string with \\ and \" escapes; `s` starts at the opening quote.
// On success `s` is left just after the closing quote.
bool parse_quoted(std::string_view& s, std::string* out)
{
    if (s.empty() || s.front() != '"')
        return false;
    out->clear();
    size_t i = 1;
    while (i < s.size()) {
        char c = s[i];
        if (c == '"') {
            s.remove_prefix(i + 1);
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"'))
                return false;
            out->push_back(s[i + 1]);
            i += 2;
            continue;
        }
        out->push_back(c);
        ++i;
    }
    return false;
}

bool parse_hex_number(std::string_view s, DWORD* value)
{
    if (s.empty() || s.size() > 8)
        return false;
    DWORD v = 0;
    for (char c : s) {
        int d = hex_digit(c);
        if (d < 0)
            return false;
        v = (v << 4) | static_cast<DWORD>(d);
    }
    *value = v;
    return true;
}

bool parse_hex_list(std::string_view s, std::vector<BYTE>* data)
{
    data->clear();
    s = trim(s);
    if (s.empty())
        return true;
    while (true) {
        size_t comma = s.find(',');
        std::string_view token = trim(s.substr(0, comma));
        DWORD byte;
        if (token.empty() || token.size() > 2 || !parse_hex_number(token, &byte))
            return false;
        data->push_back(static_cast<BYTE>(byte));
        if (comma == std::string_view::npos)
            return true;
        s.remove_prefix(comma + 1);
    }
}

bool parse_value_line(std::string_view line, RegFileValue* value)
{
    if (line.front() == '@') {
        value->name.clear();
        line.remove_prefix(1);
    } else if (!parse_quoted(line, &value->name)) {
        return false;
    }
    line = trim(line);
    if (line.empty() || line.front() != '=')
        return false;
    line = trim(line.substr(1));

    if (!line.empty() && line.front() == '"') {
        std::string text;
        if (!parse_quoted(line, &text) || !trim(line).empty())
            return false;
        value->type = REG_SZ;
        value->data.assign(text.begin(), text.end());
        value->data.push_back(0);
        return true;
    }
    if (line.starts_with("dword:")) {
        DWORD v;
        if (!parse_hex_number(trim(line.substr(6)), &v))
            return false;
        value->type = REG_DWORD;
        value->data = {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v >> 16),
                       static_cast<BYTE>(v >> 24)};
        return true;
    }
    if (line.starts_with("hex:")) {
        value->type = REG_BINARY;
        return parse_hex_list(line.substr(4), &value->data);
    }
    if (line.starts_with("hex(")) {
        size_t close = line.find("):");
        if (close == std::string_view::npos || !parse_hex_number(line.substr(4, close - 4), &value->type))
            return false;
        return parse_hex_list(line.substr(close + 2), &value->data);
    }
    return false;
}

void append_quoted(std::string* out, const std::string& s)
{
    out->push_back('"');
    for (char c : s) {
        if (c == '"' || c == '\\')
            out->push_back('\\');
        out->push_back(c);
    }
    out->push_back('"');
}

void append_hex_list(std::string* out, size_t line_start, const std::vector<BYTE>& data)
{
    static const char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < data.size(); ++i) {
        if (i > 0) {
            out->push_back(',');
            // Wrap before the line passes 80 columns, as the editor does.
            if (out->size() - line_start > 75) {
                out->append("\\\n  ");
                line_start = out->size() - 2;
            }
        }
        out->push_back(digits[data[i] >> 4]);
        out->push_back(digits[data[i] & 15]);
    }
}

} // namespace

bool reg_names_equal(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

bool parse_reg_file(std::span<const char> bytes, RegFileKey* out)
{
    if (bytes.size() > kMaxRegFileBytes)
        return false;
    std::string_view text(bytes.data(), bytes.size());
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    if (text.find('\0') != std::string_view::npos)
        return false;

    RegFileKey key;
    bool header_seen = false;
    bool section_seen = false;
    for (const std::string& raw : logical_lines(text)) {
        std::string_view line = trim(raw);
        if (line.empty() || line.front() == ';')
            continue;
        if (!header_seen) {
            if (line != kHeader)
                return false;
            header_seen = true;
            continue;
        }
        if (line.front() == '[') {
            // One key per file; a deletion entry is no key.
            if (section_seen || line.back() != ']' || line.size() < 3 || line[1] == '-')
                return false;
            key.path.assign(line.substr(1, line.size() - 2));
            section_seen = true;
            continue;
        }
        if (!section_seen)
            return false;
        RegFileValue value;
        if (!parse_value_line(line, &value))
            return false;
        bool replaced = false;
        for (RegFileValue& v : key.values) {
            if (reg_names_equal(v.name, value.name)) {
                v.type = value.type;
                v.data = std::move(value.data);
                replaced = true;
                break;
            }
        }
        if (!replaced)
            key.values.push_back(std::move(value));
    }
    if (!section_seen)
        return false;
    *out = std::move(key);
    return true;
}

namespace {

void append_value(std::string* out, const RegFileValue& v)
{
    size_t line_start = out->size();
    if (v.name.empty())
        out->push_back('@');
    else
        append_quoted(out, v.name);
    out->push_back('=');
    if (v.type == REG_DWORD && v.data.size() == 4) {
        char buf[16];
        DWORD d = v.data[0] | (DWORD(v.data[1]) << 8) | (DWORD(v.data[2]) << 16) | (DWORD(v.data[3]) << 24);
        std::snprintf(buf, sizeof buf, "dword:%08x", d);
        out->append(buf);
    } else {
        if (v.type == REG_BINARY) {
            out->append("hex:");
        } else {
            char buf[24];
            std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
            out->append(buf);
        }
        append_hex_list(out, line_start, v.data);
    }
    out->push_back('\n');
}

} // namespace

std::string format_reg_file(const RegFileKey& key)
{
    std::string out;
    out.append(kHeader);
    out.append("\n\n[");
    out.append(key.path);
    out.append("]\n");
    for (const RegFileValue& v : key.values)
        append_value(&out, v);
    out.push_back('\n');
    return out;
}

size_t formatted_value_size(const RegFileValue& value)
{
    std::string out;
    append_value(&out, value);
    return out.size();
}
