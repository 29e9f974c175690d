#include "writer/scene_writer.h"

#include <cstring>

namespace wvwrite {

ByteWriter& ByteWriter::U32(std::uint32_t v) {
    for (int k = 0; k < 4; ++k) bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
    return *this;
}

ByteWriter& ByteWriter::U16(std::uint16_t v) {
    bytes_.push_back(static_cast<std::uint8_t>(v));
    bytes_.push_back(static_cast<std::uint8_t>(v >> 8));
    return *this;
}

ByteWriter& ByteWriter::F32(float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return U32(bits);
}

ByteWriter& ByteWriter::CString(const std::string& s) {
    bytes_.insert(bytes_.end(), s.begin(), s.end());
    bytes_.push_back(0);
    return *this;
}

ByteWriter& ByteWriter::Bytes(const std::vector<std::uint8_t>& b) {
    bytes_.insert(bytes_.end(), b.begin(), b.end());
    return *this;
}

BlockHandle SceneWriter::AddBlock(const std::string& name, std::uint32_t type, std::vector<std::uint8_t> data) {
    BlockRecord& b = file_.NewBlock(name.c_str());
    b.type = type;
    b.data = std::move(data);
    return b.handle;
}

SymbolHandle SceneWriter::Symbol(const std::string& name) {
    const SymbolHandle existing = file_.FindSymbolByName(name.c_str());
    return existing != kNotFound ? existing : file_.AddSymbolReference(name.c_str());
}

bool SceneWriter::Save(const std::string& path, std::string* error) {
    if (file_.Save(path.c_str())) return true;
    if (error) *error = "cannot write " + path + ": " + file_.LastError();
    return false;
}

}  // namespace wvwrite
