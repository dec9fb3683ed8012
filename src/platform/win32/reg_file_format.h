// The text form of one registry key: the registry editor's REGEDIT4 export.
// Pure functions over bytes, shared by the registry and its tests.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "platform/win32/windef.h"

struct RegFileValue {
    std::string name; // empty for the key's default value ("@")
    DWORD type;
    std::vector<BYTE> data;
    bool operator==(const RegFileValue&) const = default;
};

struct RegFileKey {
    std::string path; // e.g. "HKEY_CURRENT_USER\Software\kestrow\varnel.exe"
    std::vector<RegFileValue> values;
    bool operator==(const RegFileKey&) const = default;
};

// The largest file the registry reads; anything bigger is damaged.
constexpr size_t kMaxRegFileBytes = 16u << 20;

// Parses a whole file. False for anything but exactly one well-formed key
// section (and nothing is left in `out` then). A value given twice keeps
// the last data, at the place of the first.
bool parse_reg_file(std::span<const char> text, RegFileKey* out);

std::string format_reg_file(const RegFileKey& key);

// Bytes that one value adds to the formatted file; a file's size is the
// size of its header and section line, the sum of its values', and 1.
size_t formatted_value_size(const RegFileValue& value);

// Case-insensitive (ASCII) comparison, as the registry compares names.
bool reg_names_equal(const std::string& a, const std::string& b);
