#include "scene/gl_texture.h"

#include "scene/scene_model.h"

GlTexture::~GlTexture() {
    if (glName != 0 && TheSceneHooks().deleteTexture) TheSceneHooks().deleteTexture(glName);
}
