// The one owner of a GL texture: material, sky, terrain and shadow textures
// are all GlTextures. The GL name is given by the drawing code on first use
// and the texture is deleted with its owner, through the scene hooks, so
// that the core holds textures without linking GL. Destroy owners only
// with the GL context current (or with no hooks installed).
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

class GlTexture {
public:
    GlTexture() = default;
    GlTexture(std::int32_t w, std::int32_t h) : width(w), height(h) {}
    GlTexture(const GlTexture&) = delete;
    GlTexture& operator=(const GlTexture&) = delete;
    virtual ~GlTexture();  // deletes the GL texture when it has a name

    std::uint32_t glName = 0;  // 0 until created
    std::int32_t width = 0, height = 0;
};

// Textures handed out and taken back, reused last-in first-out and never
// destroyed until the pool is cleared (at program end). `create` gives a
// new texture its GL side; without it (headless) textures stay unnamed.
template <class T>
class TexturePool {
public:
    void (*create)(T& texture) = nullptr;

    T* Acquire() {
        if (!free_.empty()) {
            T* t = free_.back();
            free_.pop_back();
            return t;
        }
        all_.push_back(std::make_unique<T>());
        if (create) create(*all_.back());
        return all_.back().get();
    }
    // A texture given back twice is kept once: handing it to two holders
    // would let one draw over the other's picture.
    void Release(T* texture) {
        if (texture && std::find(free_.begin(), free_.end(), texture) == free_.end()) free_.push_back(texture);
    }
    // Destroys every texture (the GL context must be current).
    void Clear() {
        free_.clear();
        all_.clear();
    }
    std::size_t Created() const { return all_.size(); }
    std::size_t Free() const { return free_.size(); }
    std::size_t InUse() const { return all_.size() - free_.size(); }

private:
    std::vector<std::unique_ptr<T>> all_;
    std::vector<T*> free_;
};
