// The font rasteriser on the fonts installed here (Liberation stands for
// Arial; on Windows GDI renders): glyph bitmaps in glBitmap's layout and
// GDI-like text metrics.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text_encoding.h"
#include "platform/fonts/font_rasteriser.h"

namespace {

using platform::FontRequest;
using platform::GlyphBitmap;

const FontRequest kOverlay{"Arial", 14, 500};
const FontRequest kLoading{"Arial", 64, 700};

bool Bit(const GlyphBitmap& g, int x, int row) {
    const int rowBytes = (g.width + 7) / 8;
    return (g.bits[static_cast<std::size_t>(row * rowBytes + x / 8)] >> (7 - x % 8)) & 1;
}

int InkInRow(const GlyphBitmap& g, int row) {
    int n = 0;
    for (int x = 0; x < g.width; ++x) n += Bit(g, x, row);
    return n;
}

int Ink(const GlyphBitmap& g) {
    int n = 0;
    for (int row = 0; row < g.height; ++row) n += InkInRow(g, row);
    return n;
}

class FontRasteriser : public ::testing::Test {
protected:
    GlyphBitmap One(const FontRequest& font, char c) {
        std::vector<GlyphBitmap> glyphs;
        EXPECT_TRUE(fonts.Rasterise(font, static_cast<unsigned char>(c), 1, glyphs));
        return glyphs.empty() ? GlyphBitmap{} : glyphs[0];
    }
    int Width(const FontRequest& font, const std::string& text) {
        int w = -1, h = -1;
        EXPECT_TRUE(fonts.Measure(font, text, w, h));
        EXPECT_EQ(h, font.pixelHeight);
        return w;
    }
    platform::FontRasteriser fonts;
};

TEST_F(FontRasteriser, EveryPrintableGlyphHasInkAdvanceAndWholeByteRows) {
    for (const FontRequest& font : {kOverlay, kLoading}) {
        std::vector<GlyphBitmap> glyphs;
        ASSERT_TRUE(fonts.Rasterise(font, 32, 96, glyphs));
        ASSERT_EQ(glyphs.size(), 96u);
        for (std::size_t i = 0; i < glyphs.size(); ++i) {
            const GlyphBitmap& g = glyphs[i];
            SCOPED_TRACE(std::string(1, static_cast<char>(32 + i)) + " at " + std::to_string(font.pixelHeight));
            EXPECT_EQ(g.bits.size(), static_cast<std::size_t>(g.height * ((g.width + 7) / 8)));
            if (i == 0 || i == 95) continue;  // space and DEL
            EXPECT_GT(g.advance, 0);
            EXPECT_GT(Ink(g), 0);
            // Bits past the width in each row's last byte are padding, never ink.
            for (int row = 0; row < g.height; ++row)
                for (int x = g.width; x < (g.width + 7) / 8 * 8; ++x) EXPECT_FALSE(Bit(g, x, row));
        }
        EXPECT_EQ(glyphs[0].width, 0) << "a space has no ink";
        EXPECT_GT(glyphs[0].advance, 0) << "but it moves the pen";
    }
}

TEST_F(FontRasteriser, ControlCharactersAreEmptyHighBytesAreCodePage1252AndBadRangesFail) {
    std::vector<GlyphBitmap> glyphs;
    ASSERT_TRUE(fonts.Rasterise(kLoading, 0, 130, glyphs));
    ASSERT_EQ(glyphs.size(), 130u);
    for (int c = 0; c < 32; ++c) {
        EXPECT_EQ(glyphs[static_cast<std::size_t>(c)].width, 0) << c;
        EXPECT_TRUE(glyphs[static_cast<std::size_t>(c)].bits.empty()) << c;
        EXPECT_EQ(glyphs[static_cast<std::size_t>(c)].advance, 0) << c;
    }
    EXPECT_GT(Ink(glyphs['L']), 0);
    EXPECT_GT(Ink(glyphs[0x80]), 0) << "0x80 is the euro sign";
    EXPECT_EQ(glyphs[0x81].advance, 0) << "0x81 is undefined";
    EXPECT_GT(Width(kLoading, "\x80"), 0);
    EXPECT_GT(Width(kLoading, "\xe9"), 0);

    glyphs.resize(3);
    EXPECT_FALSE(fonts.Rasterise(kOverlay, -1, 4, glyphs));
    EXPECT_TRUE(glyphs.empty());
    EXPECT_FALSE(fonts.Rasterise(kOverlay, 32, -1, glyphs));
    EXPECT_FALSE(fonts.Rasterise(FontRequest{"Arial", 0, 400}, 32, 1, glyphs));
}

// Where a glyph's ink lies relative to the baseline, at the loading screen's
// size where the shapes are unambiguous: 64 pixels of cell, an ascent of
// about 52 and a descent of about 12. Row r (counted bottom up) lies at
// r - originY.
TEST_F(FontRasteriser, InkSitsWhereTheLetterDoes) {
    const struct {
        char c;
        int lowAtMost, lowAtLeast;    // lowest inked row, pixels above the baseline
        int highAtLeast, highAtMost;  // highest inked row
    } cases[] = {{'_', -5, -14, -9, -2},   // under the baseline
                 {'-', 25, 10, 14, 30},    // floating above it
                 {'|', -6, -14, 40, 56},   // through it
                 {'H', 0, 0, 35, 45},      // on it
                 {'p', -6, -14, 25, 35}};
    for (const auto& p : cases) {
        SCOPED_TRACE(p.c);
        const GlyphBitmap g = One(kLoading, p.c);
        int low = 1 << 20, high = -(1 << 20);
        for (int row = 0; row < g.height; ++row)
            if (InkInRow(g, row)) {
                low = std::min(low, row - static_cast<int>(g.originY));
                high = std::max(high, row - static_cast<int>(g.originY));
            }
        EXPECT_LE(low, p.lowAtMost);
        EXPECT_GE(low, p.lowAtLeast);
        EXPECT_GE(high, p.highAtLeast);
        EXPECT_LE(high, p.highAtMost);
    }
}

// glBitmap rows run bottom to top, and the leftmost pixel is the high bit.
TEST_F(FontRasteriser, RowsRunUpwardsAndBitsLeftToRight) {
    const GlyphBitmap l = One(kLoading, 'L');
    ASSERT_GT(l.height, 10);
    EXPECT_GT(InkInRow(l, 0), 2 * InkInRow(l, l.height - 1)) << "the foot of an L is at the bottom";
    const GlyphBitmap t = One(kLoading, 'T');
    EXPECT_GT(InkInRow(t, t.height - 1), 2 * InkInRow(t, 0)) << "the bar of a T is at the top";
    // The top of an L is its stem, on the left.
    int firstInk = -1;
    for (int x = 0; x < l.width && firstInk < 0; ++x)
        if (Bit(l, x, l.height - 1)) firstInk = x;
    EXPECT_GE(firstInk, 0);
    EXPECT_LT(firstInk, l.width / 2);
    // And the pen starts left of the ink, not inside it.
    EXPECT_LE(l.originX, 0);
    EXPECT_GT(l.advance, static_cast<float>(l.width) - l.originX - 2);
}

// GDI has only regular and bold Arial; 500 is drawn with the regular face.
TEST_F(FontRasteriser, WeightsPickTheFaceGdiWouldAndBoldIsHeavier) {
    const std::pair<int, bool> weights[] = {{0, false}, {400, false}, {500, false}, {700, true}, {900, true}};
    for (const auto& [weight, bold] : weights) {
        const auto match = fonts.Match({"Arial", 14, weight});
        ASSERT_TRUE(match.has_value()) << weight;
        EXPECT_FALSE(match->family.empty());
        EXPECT_EQ(match->style.find("Bold") != std::string::npos || match->embolden, bold)
            << weight << ": " << match->family << " " << match->style;
    }
    const FontRequest regular{"Arial", 64, 400};
    int regularInk = 0, boldInk = 0;
    for (char c : std::string("Loading...")) {
        regularInk += Ink(One(regular, c));
        boldInk += Ink(One(kLoading, c));
    }
    EXPECT_GT(boldInk, regularInk * 5 / 4);
    EXPECT_GT(Width(kLoading, "Loading..."), Width(regular, "Loading..."));
}

TEST_F(FontRasteriser, UnknownFaceFallsBackToAnInstalledOne) {
    const FontRequest missing{"No Such Face Wildgrove", 14, 500};
    ASSERT_TRUE(fonts.Match(missing).has_value());
    EXPECT_GT(Ink(One(missing, 'A')), 0);
    EXPECT_GT(Width(missing, "Location"), 0);
}

// The width is the sum of the advances and the height the cell; Arial's em
// is smaller than its cell: at a 14-pixel cell, capitals stand about 9 or
// 10 pixels tall, as they do on Windows.
TEST_F(FontRasteriser, MeasureSumsTheAdvancesOfACellHighLine) {
    const std::string text = "Location: 12.5, -3.0, 7.1";
    for (const FontRequest& font : {kOverlay, kLoading}) {
        std::vector<GlyphBitmap> glyphs;
        ASSERT_TRUE(fonts.Rasterise(font, 0, 128, glyphs));
        int sum = 0;
        for (char c : text) sum += static_cast<int>(glyphs[static_cast<unsigned char>(c)].advance);
        EXPECT_EQ(Width(font, text), sum);
    }
    EXPECT_EQ(Width(kOverlay, ""), 0);
    const GlyphBitmap h = One(kOverlay, 'H');
    EXPECT_GE(h.height, 8);
    EXPECT_LE(h.height, 10);
}

TEST(AnsiText, BecomesUtf8) {
    const struct { const char* name; std::string in, out; } cases[] = {
        {"ascii", "plain\r\ntext", "plain\r\ntext"},
        {"already UTF-8", "caf\xc3\xa9", "caf\xc3\xa9"},
        {"Latin-1 byte", "caf\xe9", "caf\xc3\xa9"},
        {"euro from the code page", "5\x80", "5\xe2\x82\xac"},
        {"undefined byte", "a\x81", "a\xef\xbf\xbd"},
        {"truncated sequence", "ab\xc3", "ab\xc3\x83"},
        {"overlong is not UTF-8", "\xc0\xaf", "\xc3\x80\xc2\xaf"}};
    for (const auto& c : cases) EXPECT_EQ(platform::ToUtf8(c.in), c.out) << c.name;
}

}  // namespace
