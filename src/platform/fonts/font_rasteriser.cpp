#include "platform/fonts/font_rasteriser.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <tuple>

#include "platform/text_encoding.h"

namespace platform {

namespace {

// GDI weights 0 (don't care) and 400 are both regular.
int OpenTypeWeight(int weight) { return weight <= 0 ? 400 : std::min(weight, 1000); }

struct Face {
    FT_Face face = nullptr;
    bool embolden = false;
    int cellHeight = 0;
    std::array<int, 256> advances{};  // -1 until first asked for
    Face() { advances.fill(-1); }
    ~Face() {
        if (face) FT_Done_Face(face);
    }
};

using FaceKey = std::tuple<std::string, int, int>;  // name, weight, pixel height

std::uint32_t CharacterOf(int code) {
    if (code < 0x20) return 0;
    if (code < 0x100) return AnsiToUnicode(static_cast<unsigned char>(code));
    return static_cast<std::uint32_t>(code);
}

}  // namespace

struct FontRasteriser::State {
    FT_Library library = nullptr;
    std::map<FaceKey, std::unique_ptr<Face>> faces;

    Face* Open(const FontRequest& font, FontRasteriser& owner);
    // Loads a character's glyph into the face's slot, rendered one bit deep
    // when render is set; false when the font has no glyph for it.
    bool Load(Face& face, std::uint32_t character, bool render);
    int Advance(Face& face, int code);
};

FontRasteriser::FontRasteriser() : state_(std::make_unique<State>()) {
    if (FT_Init_FreeType(&state_->library) != 0) state_->library = nullptr;
}

FontRasteriser::~FontRasteriser() {
    state_->faces.clear();
    if (state_->library) FT_Done_FreeType(state_->library);
}

std::optional<FontMatch> FontRasteriser::Match(const FontRequest& font) {
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return std::nullopt;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(font.face.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(OpenTypeWeight(font.weight)));
    FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return std::nullopt;

    std::optional<FontMatch> found;
    FcChar8* file = nullptr;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
        FontMatch m;
        m.file = reinterpret_cast<const char*>(file);
        int index = 0;
        if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch) m.index = index;
        FcChar8* text = nullptr;
        if (FcPatternGetString(match, FC_FAMILY, 0, &text) == FcResultMatch && text)
            m.family = reinterpret_cast<const char*>(text);
        if (FcPatternGetString(match, FC_STYLE, 0, &text) == FcResultMatch && text)
            m.style = reinterpret_cast<const char*>(text);
        FcBool embolden = FcFalse;
        if (FcPatternGetBool(match, FC_EMBOLDEN, 0, &embolden) == FcResultMatch) m.embolden = embolden;
        found = m;
    }
    FcPatternDestroy(match);
    return found;
}

Face* FontRasteriser::State::Open(const FontRequest& font, FontRasteriser& owner) {
    if (!library || font.pixelHeight <= 0) return nullptr;
    const FaceKey key{font.face, OpenTypeWeight(font.weight), font.pixelHeight};
    if (auto it = faces.find(key); it != faces.end()) return it->second.get();

    const std::optional<FontMatch> match = owner.Match(font);
    if (!match) return nullptr;
    auto face = std::make_unique<Face>();
    if (FT_New_Face(library, match->file.c_str(), match->index, &face->face) != 0) {
        face->face = nullptr;
        return nullptr;
    }
    FT_Select_Charmap(face->face, FT_ENCODING_UNICODE);
    face->embolden = match->embolden;
    face->cellHeight = font.pixelHeight;

    // A positive GDI height is the cell height, usWinAscent + usWinDescent
    // of the OS/2 table, so the em is smaller than the height asked for.
    FT_UInt ppem = static_cast<FT_UInt>(font.pixelHeight);
    if (FT_IS_SCALABLE(face->face)) {
        long cell = face->face->ascender - face->face->descender;
        if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face->face, FT_SFNT_OS2));
            os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0)
            cell = os2->usWinAscent + os2->usWinDescent;
        if (cell > 0)
            ppem = static_cast<FT_UInt>(
                std::max(1L, std::lround(double(font.pixelHeight) * face->face->units_per_EM / double(cell))));
    }
    if (FT_Set_Pixel_Sizes(face->face, 0, ppem) != 0) return nullptr;

    Face* raw = face.get();
    faces.emplace(key, std::move(face));
    return raw;
}

bool FontRasteriser::State::Load(Face& face, std::uint32_t character, bool render) {
    if (character == 0) return false;
    const FT_UInt index = FT_Get_Char_Index(face.face, character);
    if (index == 0) return false;
    if (FT_Load_Glyph(face.face, index, FT_LOAD_DEFAULT | FT_LOAD_TARGET_MONO) != 0) return false;
    if (face.embolden) FT_GlyphSlot_Embolden(face.face->glyph);
    if (render && FT_Render_Glyph(face.face->glyph, FT_RENDER_MODE_MONO) != 0) return false;
    return true;
}

int FontRasteriser::State::Advance(Face& face, int code) {
    const bool cached = code >= 0 && code < 256;
    if (cached && face.advances[static_cast<std::size_t>(code)] >= 0)
        return face.advances[static_cast<std::size_t>(code)];
    int advance = 0;
    if (Load(face, CharacterOf(code), false)) advance = static_cast<int>((face.face->glyph->advance.x + 32) >> 6);
    if (cached) face.advances[static_cast<std::size_t>(code)] = advance;
    return advance;
}

bool FontRasteriser::Rasterise(const FontRequest& font, int first, int count, std::vector<GlyphBitmap>& out) {
    out.clear();
    if (first < 0 || count < 0) return false;
    Face* face = state_->Open(font, *this);
    if (!face) return false;
    out.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        GlyphBitmap& glyph = out[static_cast<std::size_t>(i)];
        const int code = first + i;
        if (!state_->Load(*face, CharacterOf(code), true)) {
            // Nothing to render (a space's empty outline fails to render in
            // one bit) still moves the pen.
            glyph.advance = static_cast<float>(state_->Advance(*face, code));
            continue;
        }
        const FT_GlyphSlot slot = face->face->glyph;
        const FT_Bitmap& bitmap = slot->bitmap;
        glyph.advance = static_cast<float>((slot->advance.x + 32) >> 6);
        if (code < 256) face->advances[static_cast<std::size_t>(code)] = static_cast<int>(glyph.advance);
        if (bitmap.pixel_mode != FT_PIXEL_MODE_MONO || bitmap.width == 0 || bitmap.rows == 0) continue;

        glyph.width = static_cast<int>(bitmap.width);
        glyph.height = static_cast<int>(bitmap.rows);
        // The raster position is the pen on the baseline; glBitmap puts the
        // bitmap's lower left corner at it minus (xorig, yorig).
        glyph.originX = static_cast<float>(-slot->bitmap_left);
        glyph.originY = static_cast<float>(glyph.height - slot->bitmap_top);
        const std::size_t rowBytes = (bitmap.width + 7) / 8;
        glyph.bits.assign(rowBytes * bitmap.rows, 0);
        for (unsigned row = 0; row < bitmap.rows; ++row) {
            // FreeType's rows run top down (for a positive pitch); glBitmap's bottom up.
            const long pitch = bitmap.pitch;
            const unsigned char* source =
                pitch >= 0 ? bitmap.buffer + row * static_cast<unsigned long>(pitch)
                           : bitmap.buffer + (bitmap.rows - 1 - row) * static_cast<unsigned long>(-pitch);
            std::copy(source, source + rowBytes, glyph.bits.begin() + (bitmap.rows - 1 - row) * rowBytes);
        }
        // Blank glyphs (a space) come out of FreeType as a pixel of nothing.
        if (std::all_of(glyph.bits.begin(), glyph.bits.end(), [](std::uint8_t b) { return b == 0; })) {
            glyph.width = glyph.height = 0;
            glyph.originX = glyph.originY = 0;
            glyph.bits.clear();
        }
    }
    return true;
}

bool FontRasteriser::Measure(const FontRequest& font, const std::string& text, int& width, int& height) {
    width = height = 0;
    Face* face = state_->Open(font, *this);
    if (!face) return false;
    for (char c : text) width += state_->Advance(*face, static_cast<unsigned char>(c));
    height = face->cellHeight;
    return true;
}

}  // namespace platform
