// The overlay's glyphs from GDI, as the design made them: the font mapper
// matches the face (any TrueType face where "Arial" is missing) and
// GetGlyphOutline renders each glyph one bit deep.
#include "platform/fonts/font_rasteriser.h"

#include "platform/text_encoding.h"
#include "platform/win32/wide_text.h"

#include <algorithm>
#include <array>
#include <map>
#include <tuple>

namespace platform {

namespace {

struct Face {
    HFONT font = nullptr;
    int cellHeight = 0;
    std::array<int, 256> advances{};  // -1 until first asked for
    Face() { advances.fill(-1); }
    ~Face() {
        if (font) DeleteObject(font);
    }
};

using FaceKey = std::tuple<std::string, int, int>;  // name, weight, pixel height

// GetGlyphOutline's transform: none.
const MAT2 kIdentity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};

wchar_t CharacterOf(int code) {
    if (code < 0x20 || code > 0xFFFF) return 0;
    if (code < 0x100) return static_cast<wchar_t>(AnsiToUnicode(static_cast<unsigned char>(code)));
    return static_cast<wchar_t>(code);
}

}  // namespace

struct FontRasteriser::State {
    HDC dc = CreateCompatibleDC(nullptr);
    std::map<FaceKey, std::unique_ptr<Face>> faces;

    ~State() {
        faces.clear();
        if (dc) DeleteDC(dc);
    }

    Face* Open(const FontRequest& font) {
        if (!dc || font.pixelHeight <= 0) return nullptr;
        const FaceKey key{font.face, std::max(font.weight, 0), font.pixelHeight};
        if (auto it = faces.find(key); it != faces.end()) return it->second.get();
        auto face = std::make_unique<Face>();
        // A positive height is the cell height, as the design asks for.
        face->font = CreateFontW(font.pixelHeight, 0, 0, 0, std::max(font.weight, 0), FALSE, FALSE, FALSE,
                                 ANSI_CHARSET, OUT_TT_ONLY_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY,
                                 DEFAULT_PITCH | FF_DONTCARE, Wide(font.face).c_str());
        if (!face->font) return nullptr;
        face->cellHeight = font.pixelHeight;
        Face* raw = face.get();
        faces.emplace(key, std::move(face));
        return raw;
    }

    // The glyph's index in the selected font; false where the font lacks it.
    bool Index(Face& face, int code, WORD& index) {
        const wchar_t character = CharacterOf(code);
        if (!character) return false;
        SelectObject(dc, face.font);
        return GetGlyphIndicesW(dc, &character, 1, &index, GGI_MARK_NONEXISTING_GLYPHS) == 1 && index != 0xFFFF;
    }

    int Advance(Face& face, int code) {
        const bool cached = code >= 0 && code < 256;
        if (cached && face.advances[static_cast<std::size_t>(code)] >= 0)
            return face.advances[static_cast<std::size_t>(code)];
        int advance = 0;
        WORD index = 0;
        GLYPHMETRICS metrics{};
        if (Index(face, code, index) &&
            GetGlyphOutlineW(dc, index, GGO_METRICS | GGO_GLYPH_INDEX, &metrics, 0, nullptr, &kIdentity) != GDI_ERROR)
            advance = metrics.gmCellIncX;
        if (cached) face.advances[static_cast<std::size_t>(code)] = advance;
        return advance;
    }
};

FontRasteriser::FontRasteriser() : state_(std::make_unique<State>()) {}
FontRasteriser::~FontRasteriser() = default;

std::optional<FontMatch> FontRasteriser::Match(const FontRequest& font) {
    Face* face = state_->Open(font);
    if (!face) return std::nullopt;
    SelectObject(state_->dc, face->font);
    wchar_t name[LF_FACESIZE] = {};
    if (!GetTextFaceW(state_->dc, LF_FACESIZE, name)) return std::nullopt;
    FontMatch match;
    match.family = Utf8(name);
    TEXTMETRICW metrics{};
    if (GetTextMetricsW(state_->dc, &metrics)) match.style = metrics.tmWeight >= FW_BOLD ? "Bold" : "Regular";
    return match;
}

bool FontRasteriser::Rasterise(const FontRequest& font, int first, int count, std::vector<GlyphBitmap>& out) {
    out.clear();
    if (first < 0 || count < 0) return false;
    Face* face = state_->Open(font);
    if (!face) return false;
    out.resize(static_cast<std::size_t>(count));
    std::vector<std::uint8_t> buffer;
    for (int i = 0; i < count; ++i) {
        GlyphBitmap& glyph = out[static_cast<std::size_t>(i)];
        const int code = first + i;
        glyph.advance = static_cast<float>(state_->Advance(*face, code));
        WORD index = 0;
        if (!state_->Index(*face, code, index)) continue;
        GLYPHMETRICS metrics{};
        const UINT format = GGO_BITMAP | GGO_GLYPH_INDEX;
        const DWORD size = GetGlyphOutlineW(state_->dc, index, format, &metrics, 0, nullptr, &kIdentity);
        // A blank glyph (a space) has no bitmap, only its advance.
        if (size == GDI_ERROR || size == 0) continue;
        buffer.assign(size, 0);
        if (GetGlyphOutlineW(state_->dc, index, format, &metrics, size, buffer.data(), &kIdentity) == GDI_ERROR)
            continue;
        const int width = static_cast<int>(metrics.gmBlackBoxX), height = static_cast<int>(metrics.gmBlackBoxY);
        // GDI's rows run top down, each padded to four bytes; glBitmap's bottom up, padded to one.
        const std::size_t rowBytes = static_cast<std::size_t>(width + 7) / 8;
        const std::size_t sourcePitch = (static_cast<std::size_t>(width + 31) / 32) * 4;
        if (width <= 0 || height <= 0 || sourcePitch * static_cast<std::size_t>(height) > buffer.size()) continue;
        glyph.width = width;
        glyph.height = height;
        glyph.originX = static_cast<float>(-metrics.gmptGlyphOrigin.x);
        glyph.originY = static_cast<float>(height - metrics.gmptGlyphOrigin.y);
        glyph.bits.assign(rowBytes * static_cast<std::size_t>(height), 0);
        for (int row = 0; row < height; ++row) {
            const std::uint8_t* source = buffer.data() + static_cast<std::size_t>(row) * sourcePitch;
            std::copy(source, source + rowBytes, glyph.bits.begin() + static_cast<std::size_t>(height - 1 - row) * rowBytes);
        }
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
    Face* face = state_->Open(font);
    if (!face) return false;
    for (char c : text) width += state_->Advance(*face, static_cast<unsigned char>(c));
    height = face->cellHeight;
    return true;
}

}  // namespace platform
