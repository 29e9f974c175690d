#include "terrain/terrain_draw.h"

#include "glh/gl.h"
#include "glh/identity_matrices.h"

#include <cmath>
#include <limits>

#include "math/camera.h"
#include "scene/render_state.h"
#include "effects/offscreen.h"
#include "scene/view.h"
#include "terrain/terrain.h"
#include "terrain/terrain_bake.h"

namespace {

// A cell index for the normal; TerrainNormalAt clamps it into the grid.
std::int32_t Cell(float g) {
    if (!(g > -1e9f)) return 0;
    if (g > 1e9f) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(g);
}

void FanVertex(float x, float y, bool withNormal) {
    const HeightField& f = TheTerrain().field;
    if (withNormal) {
        const GridPoint g = GridCoordinates(f, x, y);
        const Vector3 n = TerrainNormalAt(Cell(g.gx), Cell(g.gy));
        glNormal3f(n.x, n.y, n.z);
    }
    glVertex3f(x, y, TerrainHeightAt(x, y));
}

void Fan(const TerrainNode& node, bool withNormals) {
    FanVertexList fan;
    const int n = FanVertices(node, fan);
    glBegin(GL_TRIANGLE_FAN);
    for (int k = 0; k < n; ++k) FanVertex(fan[static_cast<std::size_t>(k)][0], fan[static_cast<std::size_t>(k)][1], withNormals);
    glEnd();
}

bool Visible(const TerrainNode& node) {
    const Frustum* frustum = TheFrusta().terrain.get();
    return frustum && frustum->Intersects(node.sphere);
}

void DrawTerrainNode(const TerrainNode& node, bool underTextureLeaf = false) {
    if (!Visible(node)) return;
    // A texture covers its whole subtree: descendants draw with its binding,
    // whatever they hold (pictures baked ahead for its split).
    if (node.textureLeaf && node.texture && !underTextureLeaf) {
        glBindTexture(GL_TEXTURE_2D, node.texture->glName);
        const float w = node.maxX - node.minX, h = node.maxY - node.minY;
        const GLfloat s[4] = {1 / w, 0, 0, -node.minX / w}, t[4] = {0, 1 / h, 0, -node.minY / h};
        glTexGenfv(GL_S, GL_OBJECT_PLANE, s);
        glTexGenfv(GL_T, GL_OBJECT_PLANE, t);
    }
    if (node.isLeaf) {
        Fan(node, true);
        return;
    }
    for (const auto& child : node.children)
        if (child) DrawTerrainNode(*child, underTextureLeaf || node.textureLeaf);
}

void DrawTerrainOutline(const TerrainNode& node) {
    if (!Visible(node)) return;
    if (node.isLeaf) {
        Fan(node, false);
        return;
    }
    for (const auto& child : node.children)
        if (child) DrawTerrainOutline(*child);
}

}  // namespace

void UpdateTerrainFrame() {
    TerrainState& t = TheTerrain();
    RecentreInBackground(TheCamera().position);
    t.bakesThisFrame = 0;
    if (TheRenderState().PickingActive || TheToggles().FreezeUpdate || !t.root) return;
    const Vector3 ahead = CameraAhead(TheCamera().position);
    // The frame goes on with what it had: the bakes put back every setting
    // they change, the matrices, the viewport and the framebuffer.
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    const OffscreenPass pass;
    {
        const glh::IdentityMatrices identity;
        glEnable(GL_CULL_FACE);
        glDisable(GL_DEPTH_TEST);
        // Terrain shadows need the bake drawable's alpha; a change of the
        // setting re-bakes everything held.
        GLint alpha = 0;
        glGetIntegerv(GL_ALPHA_BITS, &alpha);
        if (alpha == 8) {
            const bool wanted = TheToggles().TerrainShadows;
            if (wanted != t.bakeShadows) MarkForRebake(*t.root);
            t.bakeShadows = wanted;
        } else {
            t.bakeShadows = false;
        }
        UpdateGeometry(*t.root);
        UpdateTextures(*t.root, &BakeTexture);
        BakeAhead(*t.root, ahead, kBakesAheadBudget - t.bakesThisFrame, &BakeTexture);
    }
    glPopAttrib();
}

void DrawTerrain() {
    const TerrainState& t = TheTerrain();
    if (!t.root) return;
    glPushMatrix();
    glEnable(GL_TEXTURE_2D);
    // A node under no baked texture yet is drawn untextured, never in
    // whatever texture a model left bound.
    glBindTexture(GL_TEXTURE_2D, 0);
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
    glColor3f(1, 1, 1);
    const GLfloat white[4] = {1, 1, 1, 1};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, white);
    glEnable(GL_CULL_FACE);
    DrawTerrainNode(*t.root);
    glDisable(GL_CULL_FACE);
    glDisable(GL_TEXTURE_GEN_T);
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_2D);
    glPopMatrix();

    if (!TheToggles().DrawOutline) return;
    glPushMatrix();
    const bool lit = glIsEnabled(GL_LIGHTING);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_CULL_FACE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glColor3f(0, 1, 1);
    glLineWidth(1);
    glPolygonOffset(-1.1f, -2.0f);
    glEnable(GL_POLYGON_OFFSET_LINE);
    DrawTerrainOutline(*t.root);
    glDisable(GL_POLYGON_OFFSET_LINE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    if (lit) glEnable(GL_LIGHTING);
    glPopMatrix();
}
