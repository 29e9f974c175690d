// Models and instances in OpenGL: textures created from the texture
// database on first use, one display list per model, alpha test or
// blending, camera-facing objects, Dot3 bump mapping, projected object
// shadows and the additive draws of the baking passes. Immediate mode.
#pragma once

#include <cstdint>

class Instance;
class Model;
class TextureObject;
struct Material;

// True when exactly one of bits 0 to 30 of |v| is set.
bool IsPowerOfTwo(std::int32_t v);

// Gives the object a GL texture from 8-bit RGBA pixels (mipmapped).
void CreateGLTexture(TextureObject& texture, std::uint32_t width, std::uint32_t height, const std::uint8_t* rgba);
// The material's textures (and bump texture) on first use.
void CreateMaterialTextures(Material& material);
// Binds the material's texture with its wrap mode, creating it if needed.
void BindMaterialTexture(Material& material);

void DrawModelCached(Model& model);
// The immediate-mode draw; instance is needed only for bump mapping.
void DrawModel(Model& model, const Instance* instance, bool destinationAlpha);
void DrawModelAdditive(Model& model);

void ApplyTransform(const Instance& instance);
void DrawInstance(Instance& instance);
void DrawShadowed(Instance& instance);
void DrawAdditive(Instance& instance);

// Connects the scene's texture and display-list lifetimes to GL.
void InstallSceneGlHooks();
