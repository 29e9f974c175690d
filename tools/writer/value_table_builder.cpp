#include "writer/value_table_builder.h"

#include <cstring>
#include <type_traits>

#include "writer/scene_writer.h"

namespace wvwrite {

namespace {

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
}

std::vector<std::uint8_t> U32Bytes(std::uint32_t v) {
    std::vector<std::uint8_t> out;
    PutU32(out, v);
    return out;
}

}  // namespace

std::uint32_t ValueTableBuilder::NextFreeHandle() {
    while (recorded_.count(nextHandle_)) ++nextHandle_;
    return nextHandle_++;
}

std::uint32_t ValueTableBuilder::NameHandle(const std::string& name) {
    const auto it = handles_.find(name);
    if (it != handles_.end()) return it->second;
    const std::uint32_t handle = NextFreeHandle();
    AddNameRecord(name, handle);
    return handle;
}

void ValueTableBuilder::AddNameRecord(const std::string& name, std::uint32_t handle) {
    handles_.emplace(name, handle);
    recorded_.insert(handle);
    names_.insert(names_.end(), name.begin(), name.end());
    names_.push_back(0);
    PutU32(names_, handle);
    names_.insert(names_.end(), 4, filler_);
    ++nameRecords_;
}

std::uint32_t ValueTableBuilder::UnnamedHandle() {
    const std::uint32_t handle = NextFreeHandle();
    recorded_.insert(handle);
    return handle;
}

int ValueTableBuilder::AddEntry(std::uint16_t kind, std::uint32_t nameHandle, const std::vector<std::uint8_t>& payload) {
    entryOffsets_.push_back(entries_.size());
    entries_.push_back(static_cast<std::uint8_t>(kind));
    entries_.push_back(static_cast<std::uint8_t>(kind >> 8));
    entries_.insert(entries_.end(), 9, filler_);
    PutU32(entries_, nameHandle);
    entries_.insert(entries_.end(), 12, filler_);
    entries_.insert(entries_.end(), payload.begin(), payload.end());
    entries_.insert(entries_.end(), kValueEntryTrailer, filler_);
    return EntryCount() - 1;
}

int ValueTableBuilder::AddBool(const std::string& name, bool v) {
    return AddEntry(kValueBool, NameHandle(name), {static_cast<std::uint8_t>(v ? 1 : 0)});
}

int ValueTableBuilder::AddEmpty(const std::string& name) { return AddEntry(kValueEmpty, NameHandle(name), {}); }

int ValueTableBuilder::AddInt(const std::string& name, std::int32_t v) {
    return AddEntry(kValueInt, NameHandle(name), U32Bytes(static_cast<std::uint32_t>(v)));
}

int ValueTableBuilder::AddFloat(const std::string& name, float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return AddEntry(kValueFloat, NameHandle(name), U32Bytes(bits));
}

int ValueTableBuilder::AddString(const std::string& name, const std::string& v) {
    std::vector<std::uint8_t> payload(v.begin(), v.end());
    payload.push_back(0);
    return AddEntry(kValueString, NameHandle(name), payload);
}

int ValueTableBuilder::AddRawList(std::uint32_t nameHandle, std::int32_t count, const std::vector<std::uint32_t>& members) {
    std::vector<std::uint8_t> payload = U32Bytes(static_cast<std::uint32_t>(count));
    for (std::uint32_t m : members) {
        PutU32(payload, m);
        payload.insert(payload.end(), 4, filler_);
    }
    return AddEntry(kValueList, nameHandle, payload);
}

int ValueTableBuilder::AddList(const std::string& name, const std::vector<std::uint32_t>& members) {
    return AddRawList(NameHandle(name), static_cast<std::int32_t>(members.size()), members);
}

int ValueTableBuilder::AddProperty(const Property& p) {
    return std::visit(
        [&](const auto& v) -> int {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>) return AddEmpty(p.name);
            else if constexpr (std::is_same_v<T, bool>) return AddBool(p.name, v);
            else if constexpr (std::is_same_v<T, std::int32_t>) return AddInt(p.name, v);
            else if constexpr (std::is_same_v<T, float>) return AddFloat(p.name, v);
            else return AddString(p.name, v);
        },
        p.value);
}

int ValueTableBuilder::AddTable(const std::vector<Property>& properties, const std::string& listName) {
    std::vector<std::uint32_t> members;
    members.reserve(properties.size());
    for (const Property& p : properties) members.push_back(static_cast<std::uint32_t>(AddProperty(p)));
    return AddList(listName, members);
}

std::size_t ValueTableBuilder::EntryOffset(int index) const {
    return kValueNamesOffset + names_.size() + kValueGapBeforeCount + 4 + kValueGapAfterCount +
           entryOffsets_.at(static_cast<std::size_t>(index));
}

std::vector<std::uint8_t> ValueTableBuilder::Bytes() const {
    std::vector<std::uint8_t> out;
    out.reserve(kValueNamesOffset + names_.size() + 18 + entries_.size());
    out.insert(out.end(), kValueNameCountOffset, filler_);
    PutU32(out, static_cast<std::uint32_t>(nameRecords_));
    out.insert(out.end(), kValueNamesOffset - kValueNameCountOffset - 4, filler_);
    out.insert(out.end(), names_.begin(), names_.end());
    out.insert(out.end(), kValueGapBeforeCount, filler_);
    PutU32(out, static_cast<std::uint32_t>(hasStoredCount_ ? storedCount_ : EntryCount()));
    out.insert(out.end(), kValueGapAfterCount, filler_);
    out.insert(out.end(), entries_.begin(), entries_.end());
    return out;
}

BlockHandle ValueTableBuilder::AddTo(SceneWriter& scene) const { return scene.AddBlock(".valuetable", 0, Bytes()); }

}  // namespace wvwrite
