// Who uses each entry of the texture database: the models whose materials
// name it and the placed objects (by record) of those models. For
// retexturers, who need to know what a changed texture will change.
#pragma once

#include <cstdint>
#include <vector>

class Model;

struct TextureUsers {
    std::vector<const Model*> models;    // in load order, each once
    std::vector<std::uint32_t> records;  // ascending, each once: objects and terrain pieces
};

// One for each of the first entryCount entries of the loaded level's
// database; a material naming an entry past them is left out.
std::vector<TextureUsers> FindTextureUsers(std::size_t entryCount);
