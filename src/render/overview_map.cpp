#include "render/overview_map.h"

#include "glh/gl.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>

#include "effects/offscreen.h"
#include "math/bounding.h"
#include "platform/platform.h"
#include "scene/level.h"
#include "scene/model_draw.h"
#include "scene/render_state.h"
#include "scene/scene_model.h"
#include "scene/view.h"
#include "terrain/height_field.h"
#include "terrain/terrain.h"
#include "terrain/terrain_bake.h"

namespace {

const platform::FontRequest kLegendFont{"Arial", 14, 500};

// Camera-facing cards would be seen edge on from above: they are laid flat,
// face up, at their base, so that a tree shows as its picture.
void DrawFromAbove(Instance& inst) {
    if (!inst.AlwaysFace) {
        DrawInstance(inst);
        return;
    }
    glPushMatrix();
    glTranslatef(inst.position.x, inst.position.y, inst.position.z);
    glRotatef(90, 1, 0, 0);
    glScalef(inst.scale, inst.scale, inst.scale);
    if (inst.model) DrawModelCached(*inst.model);
    glPopMatrix();
}

// The ground's heights under the map, from fields of the map's own (the
// viewer's window moves with its camera, and a map must not): one field
// while the tiles fall inside it, another centred on a tile that does not.
class MapGround {
public:
    MapGround() : pyramid_(std::make_unique<HeightPyramid>()) {
        field_.W = field_.H = kHeightFieldSize;
        field_.samples.assign(static_cast<std::size_t>(field_.W) * field_.H, 0.0f);
    }
    void Cover(const GroundRect& r) {
        constexpr float kMargin = 256.0f;
        if (built_ && r.left >= field_.originX + kMargin && r.right <= field_.originX + field_.extentX - kMargin &&
            r.bottom >= field_.originY + kMargin && r.top <= field_.originY + field_.extentY - kMargin)
            return;
        field_.originX = std::trunc((r.left + r.right) / 2) - field_.extentX / 2;
        field_.originY = std::trunc((r.bottom + r.top) / 2) - field_.extentY / 2;
        BuildHeightField(field_, *pyramid_, LevelGround());
        built_ = true;
    }
    float At(float x, float y) const { return TerrainHeightAt(field_, x, y); }

private:
    HeightField field_;
    std::unique_ptr<HeightPyramid> pyramid_;
    bool built_ = false;
};

// One tile of the map into the drawable's corner: ground, its shadows, then
// the objects over it, lit as the viewer lights them.
void DrawTile(const GroundRect& r, float texelsPerUnit, bool shadows, bool lighting, bool objects, MapGround& ground) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(r.left, r.right, r.bottom, r.top, -500, 2500);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    glEnable(GL_CULL_FACE);
    glClearColor(kBackgroundGrey, kBackgroundGrey, kBackgroundGrey, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const float cx = (r.left + r.right) / 2, cy = (r.bottom + r.top) / 2;
    const float reach = 0.5f * std::hypot(r.right - r.left, r.top - r.bottom);
    LayGround(cx, cy, reach, texelsPerUnit);
    if (shadows) {
        ground.Cover(r);
        LayShadows(r, Cylinder({cx, cy, 0}, TheScene().LightDirection, reach), [&](const Instance& inst) {
            return texelsPerUnit * inst.sphere.radius >= kMinimumTexels;
        }, [&](float x, float y) { return ground.At(x, y); });
    }
    if (!objects) return;
    // The objects, nearest the sky on top: eye z is world z.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(r.left, r.right, r.bottom, r.top, -5000, 5000);
    glMatrixMode(GL_MODELVIEW);
    glClear(GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    const Vector3& l = TheScene().LightDirection;
    const GLfloat light[4] = {-l.x, -l.y, -l.z, 0.0f};
    glLightfv(GL_LIGHT1, GL_POSITION, light);
    glLightfv(GL_LIGHT2, GL_POSITION, light);
    if (lighting) {
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT1);
    }
    for (const auto& inst : TheScene().InstanceList) {
        const BoundingSphere& s = inst->sphere;
        if (s.centre.x + s.radius < r.left || s.centre.x - s.radius > r.right || s.centre.y + s.radius < r.bottom ||
            s.centre.y - s.radius > r.top)
            continue;
        DrawFromAbove(*inst);
    }
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
}

// Black text on a white box with a corner at (x, y) of the image: the
// top-left one, or the right and the bottom ones as asked.
void Stamp(OverviewImage& image, const std::string& text, int x, int y, bool alignRight, bool alignBottom) {
    std::vector<platform::GlyphBitmap> glyphs;
    if (!platform::Current().RasteriseFont(kLegendFont, 32, 96, glyphs) || glyphs.size() < 96) return;
    int width = 0, ascent = 0, descent = 0;
    for (unsigned char c : text) {
        if (c < 32 || c > 127) continue;
        const platform::GlyphBitmap& g = glyphs[c - 32];
        width += static_cast<int>(std::lround(g.advance));
        ascent = std::max(ascent, g.height - static_cast<int>(g.originY));
        descent = std::max(descent, static_cast<int>(g.originY));
    }
    const int pad = 3, boxW = width + 2 * pad, boxH = ascent + descent + 2 * pad;
    const int left = alignRight ? x - boxW : x;
    if (alignBottom) y -= boxH;
    auto put = [&](int px, int py, std::uint8_t v) {
        if (px < 0 || py < 0 || px >= static_cast<int>(image.width) || py >= static_cast<int>(image.height)) return;
        std::uint8_t* p = &image.rgba[(static_cast<std::size_t>(py) * image.width + static_cast<std::size_t>(px)) * 4];
        p[0] = p[1] = p[2] = v;
        p[3] = 255;
    };
    for (int py = y; py < y + boxH; ++py)
        for (int px = left; px < left + boxW; ++px) put(px, py, 255);
    int penX = left + pad;
    const int baseline = y + pad + ascent;
    for (unsigned char c : text) {
        if (c < 32 || c > 127) continue;
        const platform::GlyphBitmap& g = glyphs[c - 32];
        const int rowBytes = (g.width + 7) / 8;
        // Bitmap rows run bottom to top; the origin is the pen's offset.
        for (int row = 0; row < g.height; ++row)
            for (int col = 0; col < g.width; ++col) {
                const std::size_t at = static_cast<std::size_t>(row) * rowBytes + col / 8;
                if (at >= g.bits.size() || !(g.bits[at] & (0x80 >> (col % 8)))) continue;
                put(penX - static_cast<int>(g.originX) + col, baseline + static_cast<int>(g.originY) - row - 1, 0);
            }
        penX += static_cast<int>(std::lround(g.advance));
    }
}

}  // namespace

bool RenderOverviewMap(const MapRequest& request, OverviewImage& out, std::string& error) {
    float texelsPerUnit = request.texelsPerUnit;
    const SceneState& scene = TheScene();
    // The square the terrain's tree covers, at most: a piece far outside it
    // (a damaged level) does not stretch the map past what can be drawn.
    const Vector3 lo{std::max(scene.TerrainMin.x, -kTerrainHalfSize), std::max(scene.TerrainMin.y, -kTerrainHalfSize), 0};
    const Vector3 hi{std::min(scene.TerrainMax.x, kTerrainHalfSize), std::min(scene.TerrainMax.y, kTerrainHalfSize), 0};
    if (!(lo.x < hi.x && lo.y < hi.y)) {
        error = "the level has no terrain area to map";
        return false;
    }
    if (!(texelsPerUnit > 0) || !std::isfinite(texelsPerUnit)) texelsPerUnit = 2.0f;
    const float w = hi.x - lo.x, h = hi.y - lo.y;
    const std::uint32_t side = std::clamp<std::uint32_t>(request.maxSide, 1, kMaxOverviewSide);
    texelsPerUnit = std::min(texelsPerUnit, static_cast<float>(side) / std::max(w, h));
    out.width = std::max(1u, static_cast<std::uint32_t>(std::lround(w * texelsPerUnit)));
    out.height = std::max(1u, static_cast<std::uint32_t>(std::lround(h * texelsPerUnit)));
    out.minX = lo.x;
    out.minY = lo.y;
    out.maxX = lo.x + static_cast<float>(out.width) / texelsPerUnit;
    out.maxY = lo.y + static_cast<float>(out.height) / texelsPerUnit;
    out.texelsPerUnit = texelsPerUnit;
    out.rgba.assign(static_cast<std::size_t>(out.width) * out.height * 4, 255);

    // Whatever the tiles change is put back: the caller's frame goes on.
    TheRenderState().MapPassActive = true;
    MapGround ground;
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    std::optional<OffscreenPass> pass(std::in_place);
    GLint alpha = 0;
    glGetIntegerv(GL_ALPHA_BITS, &alpha);
    const bool shadows = alpha == 8 && request.terrainShadows;
    // Tiles as large as the drawable (the off-screen buffer, or the window).
    const int tile = std::max(16, std::min(pass->Width(), pass->Height()));
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    std::vector<std::uint8_t> pixels;
    const auto step = static_cast<std::uint32_t>(tile);
    const std::uint64_t tiles = std::uint64_t{(out.width + step - 1) / step} * ((out.height + step - 1) / step);
    std::uint64_t drawnTiles = 0;
    bool stopped = false;
    for (std::uint32_t ty = 0; ty < out.height && !stopped; ty += step)
        for (std::uint32_t tx = 0; tx < out.width && !stopped; tx += step) {
            const int tw = static_cast<int>(std::min<std::uint32_t>(tile, out.width - tx));
            const int th = static_cast<int>(std::min<std::uint32_t>(tile, out.height - ty));
            const GroundRect r{lo.x + static_cast<float>(tx) / texelsPerUnit,
                               lo.x + static_cast<float>(tx + static_cast<std::uint32_t>(tw)) / texelsPerUnit,
                               lo.y + static_cast<float>(ty) / texelsPerUnit,
                               lo.y + static_cast<float>(ty + static_cast<std::uint32_t>(th)) / texelsPerUnit};
            glViewport(0, 0, tw, th);
            DrawTile(r, texelsPerUnit, shadows, request.lighting, request.objects, ground);
            pixels.resize(static_cast<std::size_t>(tw) * th * 4);
            glPixelStorei(GL_PACK_ALIGNMENT, 1);
            glReadPixels(0, 0, tw, th, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
            // GL rows run south to north; the image's run north to south.
            for (int row = 0; row < th; ++row) {
                const std::uint32_t y = out.height - 1 - (ty + static_cast<std::uint32_t>(row));
                std::uint8_t* dst = &out.rgba[(static_cast<std::size_t>(y) * out.width + tx) * 4];
                std::copy_n(&pixels[static_cast<std::size_t>(row) * tw * 4], static_cast<std::size_t>(tw) * 4, dst);
                for (int k = 0; k < tw; ++k) dst[k * 4 + 3] = 255;  // alpha was the shadows' working channel
            }
            ++drawnTiles;
            stopped = request.progress && !request.progress(static_cast<float>(drawnTiles) / static_cast<float>(tiles));
        }
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    pass.reset();
    glPopClientAttrib();
    glPopAttrib();
    TheRenderState().MapPassActive = false;
    if (stopped) {
        out = OverviewImage{};
        error.clear();
        return false;
    }

    if (request.legend) {
        char text[96];
        std::snprintf(text, sizeof text, "(%.1f, %.1f)", out.minX, out.maxY);
        Stamp(out, text, 2, 2, false, false);
        std::snprintf(text, sizeof text, "(%.1f, %.1f)", out.maxX, out.maxY);
        Stamp(out, text, static_cast<int>(out.width) - 2, 2, true, false);
        std::snprintf(text, sizeof text, "(%.1f, %.1f)", out.minX, out.minY);
        Stamp(out, text, 2, static_cast<int>(out.height) - 2, false, true);
        std::snprintf(text, sizeof text, "(%.1f, %.1f)  %.3g px a unit, north up", out.maxX, out.minY, texelsPerUnit);
        Stamp(out, text, static_cast<int>(out.width) - 2, static_cast<int>(out.height) - 2, true, true);
    }
    return true;
}
