// An object-shadow texture: the alpha picture of what lies on the light ray
// through a receiver, projected back onto it when it is drawn.
#pragma once

#include <cstdint>

struct ShadowTexture {
    std::int32_t width = 128, height = 128;
    std::uint32_t name = 0;  // GL texture name
};
