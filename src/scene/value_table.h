// The property tables of the scene file's ".valuetable" block: a flat array
// of typed entries; an object's table is one List entry whose members are
// other entries. Scene construction asks for properties by name; each
// lookup has its own default for a missing name.
//
// Block layout (byte offsets, little-endian):
//   6: N name records, from 20: zero-terminated name, u32 handle, 4 unread
//   then 5 unread, i32 M entries, 9 unread, then M entry records:
//   0: u16 kind (sign-extended), 11: u32 name handle, 27: payload by kind,
//   then 8 unread bytes.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

enum ValueKind : std::int32_t {
    kValueBool = 0x101,
    kValueEmpty = 0x102,
    kValueInt = 0x103,
    kValueFloat = 0x104,
    kValueString = 0x105,
    kValueList = 0x106,
};

struct ValueEntry {
    std::int32_t kind = 0;
    std::string name;                   // empty when its handle has no name record
    bool boolValue = false;             // only the field of the entry's own kind
    std::int32_t intValue = 0;          // comes from the file; the others stay
    float floatValue = 0.0f;            // at these values
    std::string stringValue;
    std::vector<std::uint32_t> members; // List: entry indices, file order
};

class ValueTable {
public:
    // Replaces the content by the block's. A block that ends early keeps the
    // entries read before the end; counts never size anything on their own.
    void Decode(std::span<const std::uint8_t> block);
    void Clear();

    // Lookups in the List entry at listIndex, first matching member wins.
    // A missing name gets its default (see value_table.cpp); names without a
    // default raise a warning box. An index that is no entry gets defaults.
    bool LookupBool(std::uint32_t listIndex, const char* name) const;
    float LookupFloat(std::uint32_t listIndex, const char* name) const;
    std::string LookupString(std::uint32_t listIndex, const char* name) const;
    std::int32_t LookupInt(std::uint32_t listIndex, const char* name) const;
    bool HasKey(std::uint32_t listIndex, const char* name) const;

    // The member called name, or null (member indices past the end never match).
    const ValueEntry* FindMember(std::uint32_t listIndex, const char* name) const;
    const ValueEntry* Entry(std::uint32_t index) const {
        return index < entries.size() ? &entries[index] : nullptr;
    }

    std::map<std::uint32_t, std::string> names;  // name handle -> text, last record wins
    std::vector<ValueEntry> entries;
};
