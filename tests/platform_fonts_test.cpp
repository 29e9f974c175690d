// The font rasteriser on the fonts installed here (Liberation stands for
// Arial): glyph bitmaps in glBitmap's layout and GDI-like text metrics.
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

// Rows (counted bottom up) of the glyph's bitmap that hold ink, as offsets
// from the baseline: row r lies at r - originY.
std::pair<int, int> InkSpanAboveBaseline(const GlyphBitmap& g) {
    int low = 1 << 20, high = -(1 << 20);
    for (int row = 0; row < g.height; ++row)
        if (InkInRow(g, row)) {
            low = std::min(low, row - static_cast<int>(g.originY));
            high = std::max(high, row - static_cast<int>(g.originY));
        }
    return {low, high};
}

GlyphBitmap One(platform::FontRasteriser& fonts, const FontRequest& font, char c) {
    std::vector<GlyphBitmap> glyphs;
    EXPECT_TRUE(fonts.Rasterise(font, static_cast<unsigned char>(c), 1, glyphs));
    return glyphs.empty() ? GlyphBitmap{} : glyphs[0];
}

TEST(FontRasteriser, OverlayLetterHasInkAndAdvance) {
    platform::FontRasteriser fonts;
    const GlyphBitmap a = One(fonts, kOverlay, 'A');
    EXPECT_GT(a.advance, 0);
    EXPECT_GT(a.width, 0);
    EXPECT_GT(a.height, 0);
    EXPECT_LE(a.height, 14);
    EXPECT_GT(Ink(a), 10);
}

TEST(FontRasteriser, EveryPrintableGlyphHasWholeByteRows) {
    platform::FontRasteriser fonts;
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

TEST(FontRasteriser, ControlCharactersAreEmptyAndDoNotAdvance) {
    platform::FontRasteriser fonts;
    std::vector<GlyphBitmap> glyphs;
    ASSERT_TRUE(fonts.Rasterise(kLoading, 0, 128, glyphs));
    ASSERT_EQ(glyphs.size(), 128u);
    for (int c = 0; c < 32; ++c) {
        EXPECT_EQ(glyphs[static_cast<std::size_t>(c)].width, 0) << c;
        EXPECT_TRUE(glyphs[static_cast<std::size_t>(c)].bits.empty()) << c;
        EXPECT_EQ(glyphs[static_cast<std::size_t>(c)].advance, 0) << c;
    }
    EXPECT_GT(Ink(glyphs['L']), 0);
}

TEST(FontRasteriser, RejectsNegativeRanges) {
    platform::FontRasteriser fonts;
    std::vector<GlyphBitmap> glyphs(3);
    EXPECT_FALSE(fonts.Rasterise(kOverlay, -1, 4, glyphs));
    EXPECT_TRUE(glyphs.empty());
    EXPECT_FALSE(fonts.Rasterise(kOverlay, 32, -1, glyphs));
    EXPECT_FALSE(fonts.Rasterise(FontRequest{"Arial", 0, 400}, 32, 1, glyphs));
}

// Where a glyph's ink lies relative to the baseline, at the loading screen's
// size where the shapes are unambiguous.
struct PlacementCase {
    char c;
    int lowAtMost, lowAtLeast;    // lowest inked row, pixels above the baseline
    int highAtLeast, highAtMost;  // highest inked row
};

void PrintTo(const PlacementCase& c, std::ostream* os) { *os << "character " << static_cast<int>(c.c); }

class GlyphPlacement : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(GlyphPlacement, InkSitsWhereTheLetterDoes) {
    const PlacementCase& p = GetParam();
    platform::FontRasteriser fonts;
    const GlyphBitmap g = One(fonts, kLoading, p.c);
    const auto [low, high] = InkSpanAboveBaseline(g);
    EXPECT_LE(low, p.lowAtMost);
    EXPECT_GE(low, p.lowAtLeast);
    EXPECT_GE(high, p.highAtLeast);
    EXPECT_LE(high, p.highAtMost);
}

// 64 pixels of cell: an ascent of about 52 and a descent of about 12.
INSTANTIATE_TEST_SUITE_P(Baseline, GlyphPlacement,
                         ::testing::Values(PlacementCase{'_', -5, -14, -9, -2},  // under the baseline
                                           PlacementCase{'-', 25, 10, 14, 30},   // floating above it
                                           PlacementCase{'|', -6, -14, 40, 56},  // through it
                                           PlacementCase{'H', 0, 0, 35, 45},     // on it
                                           PlacementCase{'p', -6, -14, 25, 35}));

// glBitmap rows run bottom to top, and the leftmost pixel is the high bit.
TEST(FontRasteriser, RowsRunUpwardsAndBitsLeftToRight) {
    platform::FontRasteriser fonts;
    const GlyphBitmap l = One(fonts, kLoading, 'L');
    ASSERT_GT(l.height, 10);
    EXPECT_GT(InkInRow(l, 0), 2 * InkInRow(l, l.height - 1)) << "the foot of an L is at the bottom";
    const GlyphBitmap t = One(fonts, kLoading, 'T');
    EXPECT_GT(InkInRow(t, t.height - 1), 2 * InkInRow(t, 0)) << "the bar of a T is at the top";
    // The top of an L is its stem, on the left.
    const int top = l.height - 1;
    int firstInk = -1;
    for (int x = 0; x < l.width && firstInk < 0; ++x)
        if (Bit(l, x, top)) firstInk = x;
    EXPECT_GE(firstInk, 0);
    EXPECT_LT(firstInk, l.width / 2);
    // And the pen starts left of the ink, not inside it.
    EXPECT_LE(l.originX, 0);
    EXPECT_GT(l.advance, static_cast<float>(l.width) - l.originX - 2);
}

TEST(FontRasteriser, BoldIsHeavierThanRegular) {
    platform::FontRasteriser fonts;
    int regularInk = 0, boldInk = 0, regularWidth = 0, boldWidth = 0, h = 0;
    for (char c : std::string("Loading...")) {
        regularInk += Ink(One(fonts, {"Arial", 64, 400}, c));
        boldInk += Ink(One(fonts, kLoading, c));
    }
    ASSERT_TRUE(fonts.Measure({"Arial", 64, 400}, "Loading...", regularWidth, h));
    ASSERT_TRUE(fonts.Measure(kLoading, "Loading...", boldWidth, h));
    EXPECT_GT(boldInk, regularInk * 5 / 4);
    EXPECT_GT(boldWidth, regularWidth);
}

struct WeightCase {
    int weight;
    bool bold;
};

void PrintTo(const WeightCase& c, std::ostream* os) { *os << "weight " << c.weight; }

class WeightMatch : public ::testing::TestWithParam<WeightCase> {};

// GDI has only regular and bold Arial; 500 is drawn with the regular face.
TEST_P(WeightMatch, PicksTheFaceGdiWould) {
    platform::FontRasteriser fonts;
    const auto match = fonts.Match({"Arial", 14, GetParam().weight});
    ASSERT_TRUE(match.has_value());
    EXPECT_FALSE(match->file.empty());
    const bool bold = match->style.find("Bold") != std::string::npos || match->embolden;
    EXPECT_EQ(bold, GetParam().bold) << match->family << " " << match->style;
}

INSTANTIATE_TEST_SUITE_P(Weights, WeightMatch,
                         ::testing::Values(WeightCase{0, false}, WeightCase{400, false}, WeightCase{500, false},
                                           WeightCase{700, true}, WeightCase{900, true}));

TEST(FontRasteriser, UnknownFaceFallsBackToAnInstalledOne) {
    platform::FontRasteriser fonts;
    const FontRequest missing{"No Such Face Wildgrove", 14, 500};
    ASSERT_TRUE(fonts.Match(missing).has_value());
    EXPECT_GT(Ink(One(fonts, missing, 'A')), 0);
    int w = 0, h = 0;
    EXPECT_TRUE(fonts.Measure(missing, "Location", w, h));
    EXPECT_GT(w, 0);
}

TEST(FontRasteriser, MeasureIsTheSumOfAdvances) {
    platform::FontRasteriser fonts;
    for (const FontRequest& font : {kOverlay, kLoading}) {
        const std::string text = "Location: 12.5, -3.0, 7.1";
        std::vector<GlyphBitmap> glyphs;
        ASSERT_TRUE(fonts.Rasterise(font, 0, 128, glyphs));
        int sum = 0;
        for (char c : text) sum += static_cast<int>(glyphs[static_cast<unsigned char>(c)].advance);
        int w = 0, h = 0;
        ASSERT_TRUE(fonts.Measure(font, text, w, h));
        EXPECT_EQ(w, sum);
        EXPECT_EQ(h, font.pixelHeight);
    }
}

TEST(FontRasteriser, MeasureGrowsWithSize) {
    platform::FontRasteriser fonts;
    int small = 0, large = 0, hs = 0, hl = 0;
    ASSERT_TRUE(fonts.Measure(kOverlay, "Loading...", small, hs));
    ASSERT_TRUE(fonts.Measure({"Arial", 64, 500}, "Loading...", large, hl));
    EXPECT_GT(small, 30);
    EXPECT_GT(large, small * 3);
    EXPECT_EQ(hs, 14);
    EXPECT_EQ(hl, 64);
    int w = -1, h = -1;
    ASSERT_TRUE(fonts.Measure(kOverlay, "", w, h));
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 14);
}

// Arial's em is smaller than its cell: at a 14-pixel cell, capitals stand
// about 9 or 10 pixels tall, as they do on Windows.
TEST(FontRasteriser, PixelHeightIsTheCellNotTheEm) {
    platform::FontRasteriser fonts;
    const GlyphBitmap h = One(fonts, kOverlay, 'H');
    EXPECT_GE(h.height, 8);
    EXPECT_LE(h.height, 10);
}

TEST(FontRasteriser, HighBytesAreCodePage1252) {
    platform::FontRasteriser fonts;
    std::vector<GlyphBitmap> glyphs;
    ASSERT_TRUE(fonts.Rasterise(kLoading, 0x80, 2, glyphs));
    EXPECT_GT(Ink(glyphs[0]), 0) << "0x80 is the euro sign";
    EXPECT_EQ(glyphs[1].advance, 0) << "0x81 is undefined";
    int euro = 0, e = 0, h = 0;
    fonts.Measure(kLoading, "\x80", euro, h);
    fonts.Measure(kLoading, "\xe9", e, h);
    EXPECT_GT(euro, 0);
    EXPECT_GT(e, 0);
}

struct Utf8Case {
    const char* name;
    std::string in, out;
};

void PrintTo(const Utf8Case& c, std::ostream* os) { *os << c.name; }

class AnsiText : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(AnsiText, BecomesUtf8) { EXPECT_EQ(platform::ToUtf8(GetParam().in), GetParam().out); }

INSTANTIATE_TEST_SUITE_P(
    Conversions, AnsiText,
    ::testing::Values(Utf8Case{"Ascii", "plain\r\ntext", "plain\r\ntext"},
                      Utf8Case{"AlreadyUtf8", "caf\xc3\xa9", "caf\xc3\xa9"},
                      Utf8Case{"Latin1Byte", "caf\xe9", "caf\xc3\xa9"},
                      Utf8Case{"EuroFromCodePage", "5\x80", "5\xe2\x82\xac"},
                      Utf8Case{"UndefinedByte", "a\x81", "a\xef\xbf\xbd"},
                      Utf8Case{"TruncatedSequence", "ab\xc3", "ab\xc3\x83"},
                      Utf8Case{"OverlongIsNotUtf8", "\xc0\xaf", "\xc3\x80\xc2\xaf"}),
    [](const ::testing::TestParamInfo<Utf8Case>& info) { return std::string(info.param.name); });

}  // namespace
