#include "scene/model_draw.h"

#include "glh/gl.h"
#include <chrono>
#include <cmath>

#include "diag/log.h"
#include "diag/stat_counter.h"
#include "files/texture_database.h"
#include "files/texture_image.h"
#include "glh/glh_extensions.h"
#include "math/bounding.h"
#include "math/camera.h"
#include "scene/level.h"
#include "scene/render_state.h"
#include "scene/scene_model.h"
#include "scene/view.h"

#ifndef GL_GENERATE_MIPMAP_SGIS
#define GL_GENERATE_MIPMAP_SGIS 0x8191
#endif

namespace {

constexpr double kDegrees = 57.29577951308232;

void SetWrap(const Material& m) {
    const GLint wrap = m.clamp ? GL_CLAMP : GL_REPEAT;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
}

void BindBumpTexture(Material& m) {
    CreateMaterialTextures(m);
    glBindTexture(GL_TEXTURE_2D, m.bumpTexture ? m.bumpTexture->glName : 0);
    SetWrap(m);
}

// The material a face is drawn with, or null when the face is not drawn at
// all: every face walk goes through here, so a face with a corner outside
// the vertex list never addresses it.
Material* DrawableMaterial(Model& model, const Face& f) {
    if (!f.inRange) return nullptr;
    return f.material < model.materials.size() ? &model.materials[f.material] : nullptr;
}

// Faces of textured, visible materials in texture batches: consecutive faces
// of one material share a bind and a GL_TRIANGLES batch.
template <typename Take, typename Vertex>
void TexturedBatches(Model& model, Take take, Vertex vertex) {
    bool open = false;
    for (std::size_t i = 0; i < model.faces.size(); ++i) {
        const Face& f = model.faces[i];
        Material* mat = DrawableMaterial(model, f);
        if (!mat || !take(*mat)) continue;
        ++gVisibleTris.value;
        if (open && i > 0 && model.faces[i - 1].material == f.material) {
            ++gNeighbourTriTex.value;
        } else {
            if (open) glEnd();
            BindMaterialTexture(*mat);
            glBegin(GL_TRIANGLES);
            open = true;
        }
        for (std::uint32_t k : f.index) vertex(model.vertices[k]);
    }
    if (open) glEnd();
}

void Combine(GLint function, GLint source1) {
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE_ARB);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB_ARB, function);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB_ARB, GL_TEXTURE);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_RGB_ARB, GL_SRC_COLOR);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB_ARB, source1);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_RGB_ARB, GL_SRC_COLOR);
}

// Dot3 bump mapping over two texture units: the light in each face's
// tangent space goes in as the constant colour.
void BumpPass(Model& model, const Instance& instance, int mode) {
    const bool lighting = TheToggles().LightingEnabled;
    if (lighting) glDisable(GL_LIGHTING);
    glDepthFunc(GL_EQUAL);
    glDisable(GL_BLEND);
    glh::glActiveTextureARB(GL_TEXTURE0_ARB);
    glEnable(GL_TEXTURE_2D);
    Combine(mode == 1 ? GL_REPLACE : GL_DOT3_RGB_EXT, GL_CONSTANT_ARB);
    if (mode == 3) {
        glh::glActiveTextureARB(GL_TEXTURE1_ARB);
        glEnable(GL_TEXTURE_2D);
        Combine(GL_MODULATE, GL_PREVIOUS_ARB);
        glh::glActiveTextureARB(GL_TEXTURE0_ARB);
    }
    const Vector3 l = DrawingRotation(instance.rotation).Transposed() * -TheScene().LightDirection;
    for (const Face& f : model.faces) {
        Material* mat = DrawableMaterial(model, f);
        if (!mat || mat->invisible || !mat->hasBump) continue;
        const Vertex& v0 = model.vertices[f.index[0]];
        const Vertex& v1 = model.vertices[f.index[1]];
        const Vertex& v2 = model.vertices[f.index[2]];
        const Vector3 e1 = v1.position - v0.position, e2 = v2.position - v0.position;
        const Vector3 n = e1.Cross(e2).Normalised();
        const float e1e1 = e1.Dot(e1), e1e2 = e1.Dot(e2);
        // Degenerate faces have no tangent frame: they get the light along the normal.
        float su = 0.0f, sv = 0.0f;
        if (e1e1 > 0.0f) {
            const Vector3 b = e2 - e1 * (e1e2 / e1e1);
            const float bb = b.Dot(b);
            if (bb > 0.0f) {
                const float bl = b.Dot(l);
                const float beta = bl / bb;
                const float alpha = e1.Dot(l) / e1e1 - e1e2 * bl / (e1e1 * bb);
                su = alpha * (v1.u - v0.u) + beta * (v2.u - v0.u);
                sv = alpha * (v1.v - v0.v) + beta * (v2.v - v0.v);
            }
        }
        const GLfloat colour[4] = {(1 - su) * 0.5f, (1 - sv) * 0.5f, (1 + n.Dot(l)) * 0.5f, 1.0f};
        glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, colour);
        BindBumpTexture(*mat);
        glh::glActiveTextureARB(GL_TEXTURE1_ARB);
        BindMaterialTexture(*mat);
        glh::glActiveTextureARB(GL_TEXTURE0_ARB);
        glBegin(GL_TRIANGLES);
        for (std::uint32_t k : f.index) {
            const Vertex& v = model.vertices[k];
            const GLfloat uv[2] = {v.u, v.v};
            glh::glMultiTexCoord2fvARB(GL_TEXTURE0_ARB, uv);
            glh::glMultiTexCoord2fvARB(GL_TEXTURE1_ARB, uv);
            glVertex3f(v.position.x, v.position.y, v.position.z);
        }
        glEnd();
    }
    glh::glActiveTextureARB(GL_TEXTURE1_ARB);
    glDisable(GL_TEXTURE_2D);
    glh::glActiveTextureARB(GL_TEXTURE0_ARB);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    if (mode == 3) {
        // Detail: a quarter of the plain texture over the bumped picture.
        glColor3f(1, 1, 1);
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE_MINUS_CONSTANT_ALPHA, GL_CONSTANT_ALPHA);
        glh::glBlendColorEXT(1, 1, 1, 0.75f);
        TexturedBatches(
            model, [](const Material& m) { return !m.invisible && m.hasTexture && m.hasBump; },
            [](const Vertex& v) {
                glTexCoord2f(v.u, v.v);
                glNormal3f(v.normal.x, v.normal.y, v.normal.z);
                glVertex3f(v.position.x, v.position.y, v.position.z);
            });
    }
    if (lighting) glEnable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glDepthFunc(GL_LEQUAL);
}

bool BumpEntryPointsLoaded() {
    return glh::glActiveTextureARB && glh::glMultiTexCoord2fvARB && glh::glBlendColorEXT;
}

}  // namespace

bool IsPowerOfTwo(std::int32_t v) {
    const std::uint32_t a = v < 0 ? 0u - static_cast<std::uint32_t>(v) : static_cast<std::uint32_t>(v);
    const std::uint32_t bits = a & 0x7FFFFFFFu;
    return bits != 0 && (bits & (bits - 1)) == 0;
}

void CreateGLTexture(TextureObject& texture, std::uint32_t width, std::uint32_t height, const std::uint8_t* rgba) {
    // An entry that decoded to nothing still gets a texture: one black texel.
    static const std::uint8_t kBlack[4] = {0, 0, 0, 255};
    if (width == 0 || height == 0 || !rgba) {
        width = height = 1;
        rgba = kBlack;
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    texture.glName = name;
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    const GLsizei w = static_cast<GLsizei>(width), h = static_cast<GLsizei>(height);
    if (!texture.hasAlpha && IsPowerOfTwo(w) && IsPowerOfTwo(h) && TheRenderState().caps.HasAutoMipmaps) {
        glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP_SGIS, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB5, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    } else {
        gluBuild2DMipmaps(GL_TEXTURE_2D, 4, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    }
}

void CreateMaterialTextures(Material& m) {
    if (!m.hasTexture || !m.texture || m.texture->glName != 0) return;
    const int index = static_cast<int>(m.textureIndex);
    const bool bump = m.hasBump && m.bumpTexture && TheTextureDatabase().wantNormals;
    const DecodedImage image = ReadTextureImage(TheTextureDatabase(), index, bump);
    if (bump && m.bumpTexture->glName == 0)
        CreateGLTexture(*m.bumpTexture, image.width, image.height, image.normals.data());
    CreateGLTexture(*m.texture, image.width, image.height, image.rgba.data());
}

void BindMaterialTexture(Material& m) {
    CreateMaterialTextures(m);
    glBindTexture(GL_TEXTURE_2D, m.texture ? m.texture->glName : 0);
    SetWrap(m);
}

void DrawModelCached(Model& model) {
    if (model.ScrollingTexture) {
        DrawModel(model, nullptr, false);
        return;
    }
    if (model.displayListBuilt) {
        gVisibleVerts.Add(model.vertices.size());
        gVisibleTris.Add(model.faces.size());
        ++gVisibleDisplayLists.value;
        glCallList(model.displayList);
        return;
    }
    ++gVisibleDisplayLists.value;
    DebugPrintf("\nGenerating display list for '%s'", model.name.c_str());
    const auto start = std::chrono::steady_clock::now();
    // Textures are made now, so that no texture creation lands in the list.
    for (Material& m : model.materials) {
        if (!m.hasTexture) continue;
        BindMaterialTexture(m);
        if (m.hasBump) BindBumpTexture(m);
    }
    model.displayList = glGenLists(1);
    glNewList(model.displayList, GL_COMPILE);
    DrawModel(model, nullptr, false);
    glEndList();
    model.displayListBuilt = 1;
    glCallList(model.displayList);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    DebugPrintf(", took %.3fms", ms);
}

void DrawModel(Model& model, const Instance* instance, bool destinationAlpha) {
    const bool picking = TheRenderState().PickingActive;
    if (model.Overlay) {
        if (!picking) glDepthMask(GL_FALSE);
        glPolygonOffset(-2.0f, -3.0f);
        glEnable(GL_POLYGON_OFFSET_FILL);
    }
    if (picking) {
        for (std::size_t i = 0; i < model.faces.size(); ++i) {
            ++gVisibleTris.value;
            if (!model.faces[i].inRange) continue;
            glPushName(static_cast<GLuint>(i));
            glBegin(GL_TRIANGLES);
            for (std::uint32_t k : model.faces[i].index) {
                const Vector3& p = model.vertices[k].position;
                glVertex3f(p.x, p.y, p.z);
            }
            glEnd();
            glPopName();
        }
    } else {
        glEnable(GL_TEXTURE_2D);
        if (destinationAlpha) {
            glDisable(GL_ALPHA_TEST);
            glEnable(GL_BLEND);
            glBlendFunc(GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA);
        } else if (model.Blended) {
            glDisable(GL_ALPHA_TEST);
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        } else {
            glDisable(GL_BLEND);
            glEnable(GL_ALPHA_TEST);
            glAlphaFunc(GL_GREATER, 0.5f);
        }
        const GLfloat white[4] = {1, 1, 1, 1};
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, white);
        glColor3f(1, 1, 1);
        const float clock = TheRenderState().MapPassActive ? 0.0f : static_cast<float>(TheRenderState().FrameStartTime);
        const float du = model.ScrollingTexture ? 0.02f * model.ScrollX * clock : 0.0f;
        const float dv = model.ScrollingTexture ? 0.02f * model.ScrollY * clock : 0.0f;
        TexturedBatches(
            model, [](const Material& m) { return !m.invisible && m.hasTexture; },
            [du, dv](const Vertex& v) {
                glTexCoord2f(v.u + du, v.v + dv);
                glNormal3f(v.normal.x, v.normal.y, v.normal.z);
                glVertex3f(v.position.x, v.position.y, v.position.z);
            });

        glDisable(GL_TEXTURE_2D);
        if (!model.materials.empty()) {  // a model without materials has no untextured colour
            const float* c = model.materials[0].colour;
            glColor4fv(c);
            glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, c);
            glBegin(GL_TRIANGLES);
            for (const Face& f : model.faces) {
                const Material* m = DrawableMaterial(model, f);
                if (!m || m->hasTexture || m->invisible) continue;
                ++gVisibleTris.value;
                for (std::uint32_t k : f.index) {
                    const Vertex& v = model.vertices[k];
                    glNormal3f(v.normal.x, v.normal.y, v.normal.z);
                    glVertex3f(v.position.x, v.position.y, v.position.z);
                }
            }
            glEnd();
        }
        const int mode = TheRenderState().MapPassActive ? 0 : TheToggles().BumpMode;
        if (model.HasBumpMaterial && mode >= 1 && mode <= 3 && instance && BumpEntryPointsLoaded())
            BumpPass(model, *instance, mode);
    }
    if (model.Overlay) {
        glDisable(GL_POLYGON_OFFSET_FILL);
        if (!picking) glDepthMask(GL_TRUE);
    }
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
}

void DrawModelAdditive(Model& model) {
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    bool open = false;
    std::uint32_t current = 0;
    for (const Face& f : model.faces) {
        Material* m = DrawableMaterial(model, f);
        if (!m || !m->hasTexture || m->invisible) continue;
        if (!open || f.material != current) {
            if (open) glEnd();
            BindMaterialTexture(*m);
            glBegin(GL_TRIANGLES);
            open = true;
            current = f.material;
        }
        for (std::uint32_t k : f.index) {
            const Vertex& v = model.vertices[k];
            glTexCoord2f(v.u, v.v);
            glVertex3f(v.position.x, v.position.y, v.position.z);
        }
    }
    if (open) glEnd();
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    for (const Face& f : model.faces) {
        const Material* m = DrawableMaterial(model, f);
        if (!m || m->hasTexture || m->invisible) continue;
        glBegin(GL_TRIANGLES);
        for (std::uint32_t k : f.index) {
            const Vector3& p = model.vertices[k].position;
            glVertex3f(p.x, p.y, p.z);
        }
        glEnd();
    }
}

void ApplyTransform(const Instance& inst) {
    glTranslatef(inst.position.x, inst.position.y, inst.position.z);
    if (inst.AlwaysFace) {
        const Vector3& cam = TheCamera().position;
        const double angle = std::atan2(-(cam.x - inst.position.x), cam.y - inst.position.y) * kDegrees;
        glRotatef(static_cast<GLfloat>(angle), 0, 0, 1);
    } else {
        glRotatef(static_cast<GLfloat>(inst.rotation.z * kDegrees), 0, 0, 1);
        glRotatef(static_cast<GLfloat>(inst.rotation.y * kDegrees), 0, 1, 0);
        glRotatef(static_cast<GLfloat>(inst.rotation.x * kDegrees), 1, 0, 0);
    }
    glScalef(inst.scale, inst.scale, inst.scale);
}

void DrawInstance(Instance& inst) {
    if (!inst.model) return;
    glPushMatrix();
    ApplyTransform(inst);
    if (TheRenderState().PickingActive) {
        glPushName(inst.SerialId);
        DrawModel(*inst.model, nullptr, false);
        glPopName();
    } else {
        const bool unlitSwitch = inst.Unlit && glIsEnabled(GL_LIGHTING);
        if (unlitSwitch) glDisable(GL_LIGHTING);
        if (inst.ShadowSlot && !unlitSwitch && !TheRenderState().MapPassActive) DrawShadowed(inst);
        else if (inst.model->HasBumpMaterial) DrawModel(*inst.model, &inst, false);
        else DrawModelCached(*inst.model);
        if (unlitSwitch) glEnable(GL_LIGHTING);
    }
    glPopMatrix();
}

void DrawShadowed(Instance& inst) {
    Model& model = *inst.model;
    DrawModel(model, &inst, false);
    const bool lighting = TheToggles().LightingEnabled;
    glDepthFunc(GL_EQUAL);
    if (lighting) glDisable(GL_LIGHTING);
    glColor4f(1, 1, 1, 1);
    glBindTexture(GL_TEXTURE_2D, inst.ShadowSlot->glName);
    // Model positions into the receiver's light-space picture.
    const Vector3& l = TheScene().LightDirection;
    glMatrixMode(GL_TEXTURE);
    glScalef(0.5f, 0.5f, 0.5f);
    glTranslatef(1, 1, 1);
    const Vector3 up = LookUpFor(l);
    gluLookAt(0, 0, 0, l.x, l.y, l.z, up.x, up.y, up.z);
    glRotatef(static_cast<GLfloat>(inst.rotation.z * kDegrees), 0, 0, 1);
    glRotatef(static_cast<GLfloat>(inst.rotation.y * kDegrees), 0, 1, 0);
    glRotatef(static_cast<GLfloat>(inst.rotation.x * kDegrees), 1, 0, 0);
    const GLfloat k = static_cast<GLfloat>(1.0 / std::sqrt(3.0));
    glScalef(k, k, k);
    glEnable(GL_TEXTURE_2D);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
    glBegin(GL_TRIANGLES);
    for (const Face& f : model.faces) {
        const Material* m = DrawableMaterial(model, f);
        if (!m || m->invisible) continue;
        for (std::uint32_t idx : f.index) {
            const Vector3& p = model.vertices[idx].position;
            glTexCoord3f(p.x, p.y, p.z);
            glVertex3f(p.x, p.y, p.z);
        }
    }
    glEnd();
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDisable(GL_TEXTURE_2D);
    if (lighting) glEnable(GL_LIGHTING);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_LIGHT1);
    glEnable(GL_LIGHT2);
    DrawModel(model, &inst, true);
    glDisable(GL_LIGHT2);
    glEnable(GL_LIGHT1);
    glDepthFunc(GL_LEQUAL);
}

void DrawAdditive(Instance& inst) {
    if (!inst.model) return;
    glPushMatrix();
    ApplyTransform(inst);
    DrawModelAdditive(*inst.model);
    glPopMatrix();
}

void InstallSceneGlHooks() {
    SceneHooks& hooks = TheSceneHooks();
    hooks.createTexture = [](TextureObject& t) {
        CreateGLTexture(t, t.pendingWidth, t.pendingHeight, t.pendingRgba.data());
        t.pendingRgba.clear();
        t.pendingRgba.shrink_to_fit();
    };
    hooks.deleteTexture = [](std::uint32_t name) {
        const GLuint n = name;
        glDeleteTextures(1, &n);
    };
    hooks.deleteDisplayList = [](std::uint32_t list) { glDeleteLists(list, 1); };
}
