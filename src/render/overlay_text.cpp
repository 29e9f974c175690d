#include "render/overlay_text.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <utility>
#include <vector>

#include "diag/log.h"
#include "diag/state_registry.h"
#include "glh/gl.h"

namespace {

// Owned here: the overlay font's 96 lists (characters 32 to 127), made by
// BuildOverlayFont (InitGL) and deleted by DeleteOverlayFont (KillGL); read
// by the text calls. 0 while there are none.
unsigned gOverlayFontBase = 0;
// Owned with the lists: the glyphs they were made from, character 32
// first; written and cleared with them, read by the text calls.
std::vector<platform::GlyphBitmap> gOverlayGlyphs;

// Draws the characters of [begin, end) as one bitmap: the pixels the
// glyphs' lists draw one by one from an integer raster position, each
// placed as glBitmap places it, the raster position moved as far as they
// move it. A bitmap costs a software renderer about as much as a glyph, and
// the help panel has some 1500 of them.
void DrawRun(const char* begin, const char* end) {
    struct Placed {
        const platform::GlyphBitmap* glyph;
        int x, y;
    };
    std::vector<Placed> placed;
    float pen = 0.0f;
    int left = 0, bottom = 0, right = 0, top = 0;
    for (const char* p = begin; p != end; ++p) {
        const auto code = static_cast<unsigned char>(*p);
        if (code < 32 || static_cast<std::size_t>(code - 32) >= gOverlayGlyphs.size()) continue;  // no list: nothing
        const platform::GlyphBitmap& g = gOverlayGlyphs[code - 32u];
        if (g.width > 0 && g.height > 0 && !g.bits.empty()) {
            const int x = static_cast<int>(std::floor(pen - g.originX)), y = static_cast<int>(std::floor(-g.originY));
            if (placed.empty()) {
                left = x;
                bottom = y;
                right = x + g.width;
                top = y + g.height;
            }
            left = std::min(left, x);
            bottom = std::min(bottom, y);
            right = std::max(right, x + g.width);
            top = std::max(top, y + g.height);
            placed.push_back({&g, x, y});
        }
        pen += g.advance;
    }
    if (placed.empty()) {
        if (pen != 0.0f) glBitmap(0, 0, 0, 0, pen, 0, nullptr);
        return;
    }
    const int width = right - left, height = top - bottom, row = (width + 7) / 8;
    std::vector<GLubyte> bits(static_cast<std::size_t>(row) * static_cast<std::size_t>(height), 0);
    for (const Placed& at : placed) {
        const platform::GlyphBitmap& g = *at.glyph;
        const int glyphRow = (g.width + 7) / 8;
        for (int j = 0; j < g.height; ++j)
            for (int i = 0; i < g.width; ++i) {
                if (!(g.bits[static_cast<std::size_t>(j * glyphRow + i / 8)] & (0x80 >> (i % 8)))) continue;
                const int x = at.x - left + i, y = at.y - bottom + j;
                bits[static_cast<std::size_t>(y * row + x / 8)] |= static_cast<GLubyte>(0x80 >> (x % 8));
            }
    }
    // The lists were compiled with rows packed to the byte.
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    glBitmap(width, height, static_cast<GLfloat>(-left), static_cast<GLfloat>(-bottom), pen, 0, bits.data());
    glPopClientAttrib();
}

void RasterPosition(int& x, int& y) {
    GLfloat pos[4] = {0, 0, 0, 0};
    glGetFloatv(GL_CURRENT_RASTER_POSITION, pos);
    x = static_cast<int>(pos[0]);
    y = static_cast<int>(pos[1]);
}

// The lists go with the context: the process reset only forgets them.
const StateReset kOverlayReset{"overlay font", StateLayer::App, StateScope::Process, [] {
                                   gOverlayFontBase = 0;
                                   gOverlayGlyphs.clear();
                               }};

}  // namespace

unsigned BuildFontLists(const platform::FontRequest& font, int first, int count,
                        std::vector<platform::GlyphBitmap>* kept) {
    std::vector<platform::GlyphBitmap> glyphs;
    platform::Current().RasteriseFont(font, first, count, glyphs);
    const GLuint base = glGenLists(count);
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (int i = 0; i < count; ++i) {
        glNewList(base + static_cast<GLuint>(i), GL_COMPILE);
        if (static_cast<std::size_t>(i) < glyphs.size()) {
            const platform::GlyphBitmap& g = glyphs[static_cast<std::size_t>(i)];
            // An empty glyph (a space) is one clear texel: Mesa's batched
            // bitmap text drops the advance of zero-sized bitmaps.
            static const GLubyte kClear[1] = {0};
            if (g.width == 0 || g.height == 0 || g.bits.empty()) glBitmap(1, 1, 0, 0, g.advance, 0.0f, kClear);
            else glBitmap(g.width, g.height, g.originX, g.originY, g.advance, 0.0f, g.bits.data());
        }
        glEndList();
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    if (kept) *kept = std::move(glyphs);
    return base;
}

int NextTabStop(int x0, int cx) { return x0 + ((cx - x0) / 100 + 1) * 100; }

void BuildOverlayFont() {
    DeleteOverlayFont();
    gOverlayFontBase = BuildFontLists(kOverlayFont, 32, 96, &gOverlayGlyphs);
}

void DeleteOverlayFont() {
    if (gOverlayFontBase) glDeleteLists(gOverlayFontBase, 96);
    gOverlayFontBase = 0;
    gOverlayGlyphs.clear();
}

namespace {

// The label's box, then its text by draw (one run, or the glyph lists one
// by one).
void Label(const char* text, void (*draw)(const char*, const char*)) {
    int w = 0, h = 0;
    platform::Current().MeasureText(kOverlayFont, text, w, h);
    int x = 0, y = 0;
    RasterPosition(x, y);
    glRecti(x - 4, y - 4, x + w + 3, y + h - 1);
    draw(text, text + std::strlen(text));
}

void ListsOneByOne(const char* begin, const char* end) {
    glPushAttrib(GL_LIST_BIT);
    glListBase(gOverlayFontBase - 32);
    glCallLists(static_cast<GLsizei>(end - begin), GL_UNSIGNED_BYTE, begin);
    glPopAttrib();
}

// Newline steps down to the block's left edge, tab to the next stop; the
// characters between are drawn by draw.
void TextBlock(const char* text, void (*draw)(const char*, const char*)) {
    int x0 = 0, y = 0;
    RasterPosition(x0, y);
    const char* run = text;
    for (const char* p = text;; ++p) {
        if (*p != '\n' && *p != '\t' && *p != '\0') continue;
        draw(run, p);
        if (*p == '\0') break;
        if (*p == '\n') {
            y -= kTextLineHeight;
            glRasterPos2i(x0, y);
        } else {
            int cx = 0, cy = 0;
            RasterPosition(cx, cy);
            glRasterPos2i(NextTabStop(x0, cx), cy);
        }
        run = p + 1;
    }
}

}  // namespace

void DrawLabel(const char* format, ...) {
    if (!format) return;
    va_list args;
    va_start(args, format);
    const char* text = FormatSharedV(format, args);
    va_end(args);
    Label(text, &DrawRun);
}

void DrawTextBlock(const char* format, ...) {
    if (!format) return;
    va_list args;
    va_start(args, format);
    const char* text = FormatSharedV(format, args);
    va_end(args);
    TextBlock(text, &DrawRun);
}

void DrawLabelPlain(const char* text) { Label(text, &ListsOneByOne); }

void DrawTextBlockPlain(const char* text) { TextBlock(text, &ListsOneByOne); }
