// Builds the ".valuetable" block: the shared table of typed entries that
// holds every object's properties. An object's property table is one List
// entry whose members are other entries.
//
// Block layout (little-endian; "gap" bytes are never read and hold the
// filler byte):
//   0   gap 6
//   6   N, name record count (u32)
//   10  gap 10
//   20  N name records: zero-terminated name, u32 handle, gap 4
//   +0  gap 5
//   +5  M, entry count (i32)
//   +9  gap 9
//   +18 M entry records:
//         0  kind (u16)     2  gap 9     11 name handle (u32)
//         15 gap 12         27 payload   then gap 8
// Payloads: Bool 1 byte, Int i32, Float f32, String zero-terminated,
// List i32 count then 8 bytes per member (u32 entry index, gap 4);
// Empty and unknown kinds have none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "files/block_file.h"

namespace wvwrite {

class SceneWriter;

constexpr std::uint16_t kValueBool = 0x101;
constexpr std::uint16_t kValueEmpty = 0x102;
constexpr std::uint16_t kValueInt = 0x103;
constexpr std::uint16_t kValueFloat = 0x104;
constexpr std::uint16_t kValueString = 0x105;
constexpr std::uint16_t kValueList = 0x106;

constexpr std::size_t kValueNameCountOffset = 6;
constexpr std::size_t kValueNamesOffset = 20;
constexpr std::size_t kValueGapBeforeCount = 5;
constexpr std::size_t kValueGapAfterCount = 9;
constexpr std::size_t kValueEntryNameOffset = 11;
constexpr std::size_t kValueEntryPayloadOffset = 27;
constexpr std::size_t kValueEntryTrailer = 8;
constexpr std::size_t kValueListElementSize = 8;

// One named, typed value of an object's property table.
struct Property {
    std::string name;
    std::variant<std::monostate, bool, std::int32_t, float, std::string> value;  // monostate: Empty

    static Property Empty(std::string name) { return {std::move(name), std::monostate{}}; }
    static Property Bool(std::string name, bool v) { return {std::move(name), v}; }
    static Property Int(std::string name, std::int32_t v) { return {std::move(name), v}; }
    static Property Float(std::string name, float v) { return {std::move(name), v}; }
    static Property String(std::string name, std::string v) { return {std::move(name), std::move(v)}; }
};

class ValueTableBuilder {
public:
    // filler: the byte written into every gap (0 by default; tests use
    // other values to show a reader never looks at them).
    explicit ValueTableBuilder(std::uint8_t filler = 0) : filler_(filler) {}

    // The handle of a property name; its name record is added on first use.
    std::uint32_t NameHandle(const std::string& name);
    // A name record exactly as given. Handles and names may repeat (a reader
    // keeps the last text of a handle); NameHandle reuses the first record
    // of a name.
    void AddNameRecord(const std::string& name, std::uint32_t handle);
    // A fresh handle that no name record carries, now or later.
    std::uint32_t UnnamedHandle();

    // Entries; each returns the entry's index.
    int AddBool(const std::string& name, bool v);
    int AddEmpty(const std::string& name);
    int AddInt(const std::string& name, std::int32_t v);
    int AddFloat(const std::string& name, float v);
    int AddString(const std::string& name, const std::string& v);
    int AddList(const std::string& name, const std::vector<std::uint32_t>& members);
    // A List whose stored count need not match the members that follow it
    // (zero, negative, larger than the block), and whose members may name
    // entries that do not exist.
    int AddRawList(std::uint32_t nameHandle, std::int32_t count, const std::vector<std::uint32_t>& members);
    // Any kind with its payload as given (none for Empty and unknown kinds).
    int AddEntry(std::uint16_t kind, std::uint32_t nameHandle, const std::vector<std::uint8_t>& payload);
    int AddProperty(const Property& p);
    // One entry per property, then the List of them; returns the List's
    // index, the value a region record stores as its property table.
    int AddTable(const std::vector<Property>& properties, const std::string& listName = "Properties");

    // M as stored, instead of the number of entries added (e.g. 0 or -1).
    void SetStoredEntryCount(std::int32_t count) { storedCount_ = count; hasStoredCount_ = true; }

    int EntryCount() const { return static_cast<int>(entryOffsets_.size()); }
    std::size_t NameRecordCount() const { return nameRecords_; }
    // Where entry i starts, counted from the block start.
    std::size_t EntryOffset(int index) const;
    std::vector<std::uint8_t> Bytes() const;
    // Adds the block named ".valuetable".
    BlockHandle AddTo(SceneWriter& scene) const;

private:
    std::uint32_t NextFreeHandle();

    std::uint8_t filler_;
    std::map<std::string, std::uint32_t> handles_;
    std::set<std::uint32_t> recorded_;  // handles that have (or must never get) a record
    std::uint32_t nextHandle_ = 0x100;
    std::size_t nameRecords_ = 0;
    std::vector<std::uint8_t> names_;    // the name records, back to back
    std::vector<std::uint8_t> entries_;  // the entry records, back to back
    std::vector<std::size_t> entryOffsets_;  // within entries_
    std::int32_t storedCount_ = 0;
    bool hasStoredCount_ = false;
};

}  // namespace wvwrite
