#include "render/overlay_text.h"

#include <cstdarg>
#include <cstring>
#include <vector>

#include "diag/log.h"
#include "diag/state_registry.h"
#include "glh/gl.h"

namespace {

// Owned here: the overlay font's 96 lists (characters 32 to 127), made by
// BuildOverlayFont (InitGL) and deleted by DeleteOverlayFont (KillGL); read
// by the text calls. 0 while there are none.
unsigned gOverlayFontBase = 0;

void RasterPosition(int& x, int& y) {
    GLfloat pos[4] = {0, 0, 0, 0};
    glGetFloatv(GL_CURRENT_RASTER_POSITION, pos);
    x = static_cast<int>(pos[0]);
    y = static_cast<int>(pos[1]);
}

// The lists go with the context: the process reset only forgets them.
const StateReset kOverlayReset{"overlay font", StateLayer::App, StateScope::Process, [] { gOverlayFontBase = 0; }};

}  // namespace

unsigned BuildFontLists(const platform::FontRequest& font, int first, int count) {
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
    return base;
}

int NextTabStop(int x0, int cx) { return x0 + ((cx - x0) / 100 + 1) * 100; }

void BuildOverlayFont() {
    DeleteOverlayFont();
    gOverlayFontBase = BuildFontLists(kOverlayFont, 32, 96);
}

void DeleteOverlayFont() {
    if (gOverlayFontBase) glDeleteLists(gOverlayFontBase, 96);
    gOverlayFontBase = 0;
}

void DrawLabel(const char* format, ...) {
    if (!format) return;
    va_list args;
    va_start(args, format);
    const char* text = FormatSharedV(format, args);
    va_end(args);
    int w = 0, h = 0;
    platform::Current().MeasureText(kOverlayFont, text, w, h);
    int x = 0, y = 0;
    RasterPosition(x, y);
    glRecti(x - 4, y - 4, x + w + 3, y + h - 1);
    glPushAttrib(GL_LIST_BIT);
    glListBase(gOverlayFontBase - 32);
    glCallLists(static_cast<GLsizei>(std::strlen(text)), GL_UNSIGNED_BYTE, text);
    glPopAttrib();
}

void DrawTextBlock(const char* format, ...) {
    if (!format) return;
    va_list args;
    va_start(args, format);
    const char* text = FormatSharedV(format, args);
    va_end(args);
    int x0 = 0, y = 0;
    RasterPosition(x0, y);
    glPushAttrib(GL_LIST_BIT);
    glListBase(gOverlayFontBase - 32);
    for (const char* p = text; *p; ++p) {
        if (*p == '\n') {
            y -= 18;
            glRasterPos2i(x0, y);
        } else if (*p == '\t') {
            int cx = 0, cy = 0;
            RasterPosition(cx, cy);
            glRasterPos2i(NextTabStop(x0, cx), cy);
        } else {
            glCallLists(1, GL_UNSIGNED_BYTE, p);
        }
    }
    glPopAttrib();
}
