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
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/large_memory.h"

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
    // The text of its handle's name record, held by the table's `names`
    // (null-terminated); empty when the handle has no record.
    std::string_view name;
    const char* NameText() const { return name.empty() ? "" : name.data(); }  // for printf
    std::uint32_t nameId = 0;           // the decode's number for the name's text (0: empty)
    bool boolValue = false;             // only the field of the entry's own kind
    std::int32_t intValue = 0;          // comes from the file; the others stay
    float floatValue = 0.0f;            // at these values
    std::string stringValue;
    // List: entry indices, file order; held by the table, one array for
    // all lists (a level has tens of thousands of them).
    std::span<const std::uint32_t> members;
    std::uint32_t offset = 0;           // the entry record's first byte in the block
};

// What a decode made of a block. A block cut short (its name count, entry
// count or a list's member count running past its end) keeps what fits.
struct ValueTableDecode {
    bool cutShort = false;
    std::uint32_t namesStated = 0, namesRead = 0;
    bool entryCountRead = false;  // false: the names ran past the end first
    std::int32_t entriesStated = 0;
    std::size_t entriesRead = 0;
    bool lastInPart = false;  // the last entry read is a list that lost members
    // For the log: how much of a cut-short block was read; empty otherwise.
    std::string Warning() const;
};

// A property name resolved once against a table's names, so that lookups
// compare numbers rather than texts. A key made before the table's last
// decode is resolved again by its text.
struct PropertyKey {
    const char* name = nullptr;
    std::uint32_t id = 0;          // kNoNameId: no entry has this name
    std::uint64_t generation = 0;  // of the decode it was resolved against
};
constexpr std::uint32_t kNoNameId = 0xFFFFFFFFu;

class ValueTable {
public:
    // Entries view the table's member array: moved with it, never copied.
    ValueTable() = default;
    ValueTable(const ValueTable&) = delete;
    ValueTable& operator=(const ValueTable&) = delete;
    ValueTable(ValueTable&&) = default;
    ValueTable& operator=(ValueTable&&) = default;

    // Replaces the content by the block's. Counts never size anything on
    // their own: entries are decoded while they fit, and a list whose
    // member count runs past the end keeps the members that fit.
    ValueTableDecode Decode(std::span<const std::uint8_t> block);
    void Clear();

    // Lookups in the List entry at listIndex, first matching member wins.
    // A missing name gets its default (see value_table.cpp); names without a
    // default raise a warning box. An index that is no entry gets defaults.
    bool LookupBool(std::uint32_t listIndex, const char* name) const { return LookupBool(listIndex, Key(name)); }
    float LookupFloat(std::uint32_t listIndex, const char* name) const { return LookupFloat(listIndex, Key(name)); }
    std::string LookupString(std::uint32_t listIndex, const char* name) const {
        return LookupString(listIndex, Key(name));
    }
    std::int32_t LookupInt(std::uint32_t listIndex, const char* name) const { return LookupInt(listIndex, Key(name)); }
    bool HasKey(std::uint32_t listIndex, const char* name) const { return HasKey(listIndex, Key(name)); }

    // The same with a name resolved once (Key) for many lookups.
    PropertyKey Key(const char* name) const;
    bool LookupBool(std::uint32_t listIndex, const PropertyKey& key) const;
    float LookupFloat(std::uint32_t listIndex, const PropertyKey& key) const;
    std::string LookupString(std::uint32_t listIndex, const PropertyKey& key) const;
    std::int32_t LookupInt(std::uint32_t listIndex, const PropertyKey& key) const;
    bool HasKey(std::uint32_t listIndex, const PropertyKey& key) const { return FindMember(listIndex, key) != nullptr; }

    // The member called name, or null (member indices past the end never match).
    const ValueEntry* FindMember(std::uint32_t listIndex, const char* name) const {
        return FindMember(listIndex, Key(name));
    }
    const ValueEntry* FindMember(std::uint32_t listIndex, const PropertyKey& key) const;
    // Member names compared as texts, one by one: the reference the
    // numbered names are pinned to.
    const ValueEntry* FindMemberPlain(std::uint32_t listIndex, const char* name) const;
    const ValueEntry* Entry(std::uint32_t index) const {
        return index < entries.size() ? &entries[index] : nullptr;
    }

    std::map<std::uint32_t, std::string> names;  // name handle -> text, last record wins
    std::vector<ValueEntry, platform::LargeAllocator<ValueEntry>> entries;

private:
    // Each kept entry's member count goes to memberCounts, in order.
    ValueTableDecode DecodeEntries(std::span<const std::uint8_t> block, std::vector<std::uint32_t>& memberCounts);

    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    // The distinct texts of the entries' names, numbered by the decode: 0 is
    // the empty name (a handle without a name record).
    std::unordered_map<std::string, std::uint32_t, TextHash, std::equal_to<>> nameIds_;
    // Each entry's name number side by side, so that a search of a list's
    // members reads four bytes a member rather than a whole entry.
    std::vector<std::uint32_t> entryNameIds_;
    std::vector<std::uint32_t> members_;  // every list's members, list after list
    std::uint64_t generation_ = 0;
};
