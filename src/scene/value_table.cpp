#include "scene/value_table.h"

#include <cstring>

#include "files/block_file.h"
#include "platform/platform.h"

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

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
};

bool ReadPayload(Cursor& c, ValueEntry& e) {
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
            std::uint32_t count;
            if (!c.U32(count)) return false;
            const std::int32_t k = static_cast<std::int32_t>(count);
            if (k <= 0) return true;
            if (c.Remaining() / 8 < static_cast<std::size_t>(k)) return false;  // the count lies
            e.members.reserve(static_cast<std::size_t>(k));
            for (std::int32_t i = 0; i < k; ++i) {
                std::uint32_t member;
                c.U32(member);
                c.Skip(4);
                e.members.push_back(member);
            }
            return true;
        }
        default:
            return true;  // Empty and unknown kinds carry nothing
    }
}

void Warn(const char* text) {
    platform::Current().MessageBox(platform::Owner::MainWindow, text, "", platform::Buttons::Ok,
                                   platform::Icon::None);
}

}  // namespace

void ValueTable::Clear() {
    names.clear();
    entries.clear();
}

void ValueTable::Decode(std::span<const std::uint8_t> block) {
    Clear();
    Cursor c(block);
    std::uint32_t nameCount = 0;
    if (!c.Seek(6) || !c.U32(nameCount) || !c.Seek(20)) return;
    for (std::uint32_t i = 0; i < nameCount; ++i) {
        std::string name;
        std::uint32_t handle;
        if (!c.CString(name) || !c.U32(handle) || !c.Skip(4)) return;
        names[handle] = std::move(name);
    }
    std::uint32_t count = 0;
    if (!c.Skip(5) || !c.U32(count) || !c.Skip(9)) return;
    const std::int32_t m = static_cast<std::int32_t>(count);
    for (std::int32_t i = 0; i < m; ++i) {
        ValueEntry e;
        std::uint16_t kind;
        std::uint32_t handle;
        if (!c.U16(kind) || !c.Skip(9) || !c.U32(handle) || !c.Skip(12)) return;
        e.kind = static_cast<std::int16_t>(kind);
        if (const auto it = names.find(handle); it != names.end()) e.name = it->second;
        if (!ReadPayload(c, e)) return;
        entries.push_back(std::move(e));
        if (!c.Skip(8)) return;
    }
}

const ValueEntry* ValueTable::FindMember(std::uint32_t listIndex, const char* name) const {
    const ValueEntry* list = Entry(listIndex);
    if (!list || !name) return nullptr;
    for (std::uint32_t m : list->members) {
        const ValueEntry* e = Entry(m);
        if (e && e->name == name) return e;
    }
    return nullptr;
}

bool ValueTable::LookupBool(std::uint32_t listIndex, const char* name) const {
    struct Default {
        const char* name;
        bool value;
    };
    static constexpr Default kDefaults[] = {
        {"Visible", true}, {"Tangible", false}, {"AlwaysFace", false}, {"Shadow", true}, {"Unlit", false}};
    bool fallback = false, known = false;
    for (const Default& d : kDefaults) {
        if (name && std::strcmp(d.name, name) == 0) {
            fallback = d.value;
            known = true;
        }
    }
    if (!known) Warn("Warning: Valuetable name not known");
    const ValueEntry* e = FindMember(listIndex, name);
    return e ? e->boolValue : fallback;
}

float ValueTable::LookupFloat(std::uint32_t listIndex, const char* name) const {
    const bool known = name && std::strcmp(name, "Diffuse") == 0;
    if (!known) Warn("Warning: Valuetable name not known");
    const ValueEntry* e = FindMember(listIndex, name);
    return e ? e->floatValue : (known ? 1.0f : 0.0f);
}

std::string ValueTable::LookupString(std::uint32_t listIndex, const char* name) const {
    const bool isClass = name && std::strcmp(name, "Class") == 0;
    const bool isMesh = name && std::strcmp(name, "Mesh") == 0;
    if (!isClass && !isMesh) Warn("Warning: Valuetable name not known");
    const ValueEntry* e = FindMember(listIndex, name);
    if (e) return e->stringValue;
    return isClass ? "CInstance" : "";
}

std::int32_t ValueTable::LookupInt(std::uint32_t listIndex, const char* name) const {
    const ValueEntry* e = FindMember(listIndex, name);
    if (e) return e->intValue;
    Warn("Warning: Valuetable name not found");
    return 0;
}

bool ValueTable::HasKey(std::uint32_t listIndex, const char* name) const {
    return FindMember(listIndex, name) != nullptr;
}
