#include "scene/value_table.h"

#include <algorithm>
#include <cstring>

#include "diag/notices.h"
#include "files/block_file.h"

namespace {

// Reads forward through a block; every read fails rather than pass the end.
class Cursor {
public:
    explicit Cursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    bool Skip(std::size_t n) {
        if (bytes_.size() - pos_ < n) return false;
        pos_ += n;
        return true;
    }
    bool U32(std::uint32_t& v) {
        if (!ReadU32(bytes_, pos_, v)) return false;
        pos_ += 4;
        return true;
    }
    bool U16(std::uint16_t& v) {
        if (bytes_.size() - pos_ < 2) return false;
        v = static_cast<std::uint16_t>(bytes_[pos_] | (bytes_[pos_ + 1] << 8));
        pos_ += 2;
        return true;
    }
    bool U8(std::uint8_t& v) {
        if (pos_ >= bytes_.size()) return false;
        v = bytes_[pos_++];
        return true;
    }
    bool CString(std::string& s) {
        if (pos_ >= bytes_.size()) return false;
        const std::uint8_t* start = bytes_.data() + pos_;
        const void* end = std::memchr(start, 0, bytes_.size() - pos_);
        if (!end) return false;
        const std::size_t n = static_cast<const std::uint8_t*>(end) - start;
        s.assign(reinterpret_cast<const char*>(start), n);
        pos_ += n + 1;
        return true;
    }
    bool Seek(std::size_t at) {
        if (at > bytes_.size()) return false;
        pos_ = at;
        return true;
    }
    std::size_t Remaining() const { return bytes_.size() - pos_; }
    std::size_t Position() const { return pos_; }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
};

// False when the payload runs past the end; a list keeps the members that
// fit even then, appended to `members`.
bool ReadPayload(Cursor& c, ValueEntry& e, std::vector<std::uint32_t>& members) {
    switch (e.kind) {
        case kValueBool: {
            std::uint8_t b;
            if (!c.U8(b)) return false;
            e.boolValue = b != 0;
            return true;
        }
        case kValueInt: {
            std::uint32_t v;
            if (!c.U32(v)) return false;
            e.intValue = static_cast<std::int32_t>(v);
            return true;
        }
        case kValueFloat: {
            std::uint32_t v;
            if (!c.U32(v)) return false;
            std::memcpy(&e.floatValue, &v, sizeof v);
            return true;
        }
        case kValueString:
            return c.CString(e.stringValue);
        case kValueList: {
            std::uint32_t stated;
            if (!c.U32(stated)) return false;
            const std::int32_t k = static_cast<std::int32_t>(stated);
            if (k <= 0) return true;
            const std::size_t fit = std::min(c.Remaining() / 8, static_cast<std::size_t>(k));
            for (std::size_t i = 0; i < fit; ++i) {
                std::uint32_t member;
                c.U32(member);
                c.Skip(4);
                members.push_back(member);
            }
            return fit == static_cast<std::size_t>(k);
        }
        default:
            return true;  // Empty and unknown kinds carry nothing
    }
}

void Warn(const char* text) { ShowNotice(platform::Owner::MainWindow, text, ""); }

}  // namespace

namespace {
std::uint64_t gDecodes = 0;  // every decode's keys differ from every other's
}

void ValueTable::Clear() {
    names.clear();
    entries.clear();
    nameIds_.clear();
    entryNameIds_.clear();
    members_.clear();
    generation_ = ++gDecodes;
}

ValueTableDecode ValueTable::DecodeEntries(std::span<const std::uint8_t> block,
                                           std::vector<std::uint32_t>& memberCounts) {
    Clear();
    ValueTableDecode d;
    Cursor c(block);
    d.cutShort = true;  // until the last entry has been read
    if (!c.Seek(6) || !c.U32(d.namesStated) || !c.Seek(20)) return d;
    for (std::uint32_t i = 0; i < d.namesStated; ++i) {
        std::string name;
        std::uint32_t handle;
        if (!c.CString(name) || !c.U32(handle) || !c.Skip(4)) return d;
        names[handle] = std::move(name);
        ++d.namesRead;
    }
    // Each distinct text numbered once; the entries carry the number.
    struct Named {
        std::uint32_t handle, id;
        const std::string* text;
    };
    std::vector<Named> ids;  // by handle, as the map holds them
    ids.reserve(names.size());
    nameIds_.emplace(std::string(), 0);
    for (const auto& [handle, text] : names) {
        const auto [it, added] = nameIds_.try_emplace(text, static_cast<std::uint32_t>(nameIds_.size()));
        ids.push_back({handle, it->second, &text});
    }
    std::uint32_t count = 0;
    if (!c.Skip(5) || !c.U32(count) || !c.Skip(9)) return d;
    d.entryCountRead = true;
    d.entriesStated = static_cast<std::int32_t>(count);
    // Every entry takes at least 27 bytes, which bounds what is worth reserving.
    if (d.entriesStated > 0) entries.reserve(std::min<std::size_t>(static_cast<std::size_t>(d.entriesStated), c.Remaining() / 27));
    memberCounts.reserve(entries.capacity());
    for (std::int32_t i = 0; i < d.entriesStated; ++i) {
        // Read in place: an entry is large, and nearly every one is kept.
        ValueEntry& e = entries.emplace_back();
        e.offset = static_cast<std::uint32_t>(c.Position());
        std::uint16_t kind;
        std::uint32_t handle;
        if (!c.U16(kind) || !c.Skip(9) || !c.U32(handle) || !c.Skip(12)) {
            entries.pop_back();
            return d;
        }
        e.kind = static_cast<std::int16_t>(kind);
        const auto at = std::lower_bound(ids.begin(), ids.end(), handle,
                                         [](const Named& n, std::uint32_t h) { return n.handle < h; });
        if (at != ids.end() && at->handle == handle) {
            e.nameId = at->id;
            e.name = *at->text;  // a node of `names`: it stays where it is
        }
        const std::size_t membersBefore = members_.size();
        const bool whole = ReadPayload(c, e, members_);
        const auto memberCount = static_cast<std::uint32_t>(members_.size() - membersBefore);
        if (!whole && memberCount > 0) d.lastInPart = true;
        if (!whole && !d.lastInPart) entries.pop_back();
        else memberCounts.push_back(memberCount);
        d.entriesRead = entries.size();
        if (!whole) return d;
        // The unread bytes after the last entry may be missing; nothing is lost then.
        if (!c.Skip(8) && i + 1 < d.entriesStated) return d;
    }
    d.cutShort = false;
    return d;
}

ValueTableDecode ValueTable::Decode(std::span<const std::uint8_t> block) {
    std::vector<std::uint32_t> memberCounts;
    const ValueTableDecode d = DecodeEntries(block, memberCounts);
    entryNameIds_.resize(entries.size());
    // The member array has stopped growing: each list views its part.
    std::size_t first = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        entryNameIds_[i] = entries[i].nameId;
        entries[i].members = std::span<const std::uint32_t>(members_).subspan(first, memberCounts[i]);
        first += memberCounts[i];
    }
    return d;
}

std::string ValueTableDecode::Warning() const {
    if (!cutShort) return {};
    if (!entryCountRead)
        return "the .valuetable block is cut short: " + std::to_string(namesRead) + " of its " +
               std::to_string(namesStated) + " names and none of its entries were read";
    return "the .valuetable block is cut short: " + std::to_string(entriesRead) + " of its " +
           std::to_string(entriesStated) + " entries were read" + (lastInPart ? ", the last of them in part" : "");
}

PropertyKey ValueTable::Key(const char* name) const {
    PropertyKey key{name, kNoNameId, generation_};
    if (!name) return key;
    // The empty name is number 0 even before a decode: entries whose handle
    // has no record carry it.
    const std::string_view text(name);
    if (text.empty()) key.id = 0;
    else if (const auto it = nameIds_.find(text); it != nameIds_.end()) key.id = it->second;
    return key;
}

const ValueEntry* ValueTable::FindMember(std::uint32_t listIndex, const PropertyKey& key) const {
    if (key.generation != generation_) return FindMember(listIndex, Key(key.name));
    const ValueEntry* list = Entry(listIndex);
    if (!list || !key.name || key.id == kNoNameId) return nullptr;
    if (entryNameIds_.size() == entries.size()) {
        for (std::uint32_t m : list->members)
            if (m < entryNameIds_.size() && entryNameIds_[m] == key.id) return &entries[m];
        return nullptr;
    }
    for (std::uint32_t m : list->members) {  // entries changed since the decode
        const ValueEntry* e = Entry(m);
        if (e && e->nameId == key.id) return e;
    }
    return nullptr;
}

const ValueEntry* ValueTable::FindMemberPlain(std::uint32_t listIndex, const char* name) const {
    const ValueEntry* list = Entry(listIndex);
    if (!list || !name) return nullptr;
    for (std::uint32_t m : list->members) {
        const ValueEntry* e = Entry(m);
        if (e && e->name == name) return e;
    }
    return nullptr;
}

bool ValueTable::LookupBool(std::uint32_t listIndex, const PropertyKey& key) const {
    struct Default {
        const char* name;
        bool value;
    };
    static constexpr Default kDefaults[] = {
        {"Visible", true}, {"Tangible", false}, {"AlwaysFace", false}, {"Shadow", true}, {"Unlit", false}};
    bool fallback = false, known = false;
    // The names differ in their first letters: one comparison at most.
    for (const Default& d : kDefaults) {
        if (key.name && key.name[0] == d.name[0] && std::strcmp(d.name, key.name) == 0) {
            fallback = d.value;
            known = true;
            break;
        }
    }
    if (!known) Warn("Warning: Valuetable name not known");
    const ValueEntry* e = FindMember(listIndex, key);
    return e ? e->boolValue : fallback;
}

float ValueTable::LookupFloat(std::uint32_t listIndex, const PropertyKey& key) const {
    const bool known = key.name && std::strcmp(key.name, "Diffuse") == 0;
    if (!known) Warn("Warning: Valuetable name not known");
    const ValueEntry* e = FindMember(listIndex, key);
    return e ? e->floatValue : (known ? 1.0f : 0.0f);
}

std::string ValueTable::LookupString(std::uint32_t listIndex, const PropertyKey& key) const {
    const bool isClass = key.name && std::strcmp(key.name, "Class") == 0;
    const bool isMesh = key.name && std::strcmp(key.name, "Mesh") == 0;
    if (!isClass && !isMesh) Warn("Warning: Valuetable name not known");
    const ValueEntry* e = FindMember(listIndex, key);
    if (e) return e->stringValue;
    return isClass ? "CInstance" : "";
}

std::int32_t ValueTable::LookupInt(std::uint32_t listIndex, const PropertyKey& key) const {
    const ValueEntry* e = FindMember(listIndex, key);
    if (e) return e->intValue;
    Warn("Warning: Valuetable name not found");
    return 0;
}
