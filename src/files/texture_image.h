// Texture images as the drawing code wants them: decoded from the texture
// database and, for transparent textures, with colour bled into the
// see-through texels so that filtered mipmaps do not fringe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/texture_database.h"
#include "files/texture_pixels.h"

// Decodes entry index of a database (RGBA, and the bump bytes when
// withNormals); transparent entries are colour-bled.
DecodedImage ReadTextureImage(const TextureDatabase& db, int index, bool withNormals);

// Gives every texel with alpha 0 the colour of the nearest opaque texels,
// through a pyramid of quarter-size levels; alpha is left as it is.
void BleedColours(std::vector<std::uint8_t>& rgba, std::uint32_t width, std::uint32_t height);

// Writes entry index as a palette PNG: its own colour indices and its
// palette's colours in order (index 0 clear where the entry is
// transparent), so that it reads as the colours drawn and a retexturer's
// editor keeps the palette. False with the reason.
bool WritePaletteTexturePng(const TextureDatabase& db, int index, const std::string& path, std::string& error);
