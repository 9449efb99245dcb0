// test_text_font.cpp: the font against a second copy of its printed hex rows, and which codes
// pick which glyph.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "text/text.h"

namespace {

// The glyph table exactly as printed: character, then rows 13 down to 0, bit 7 = column 0.
struct PrintedGlyph {
    char ch;
    const char* rows;
};
const PrintedGlyph printedFont[] = {
    {'A', "00 00 18 3C 66 66 66 7E 66 66 66 00 00 00"},
    {'B', "00 00 7C 66 66 66 7C 66 66 66 7C 00 00 00"},
    {'C', "00 00 3C 66 66 60 60 60 66 66 3C 00 00 00"},
    {'D', "00 00 78 6C 66 66 66 66 66 6C 78 00 00 00"},
    {'E', "00 00 7E 60 60 60 7C 60 60 60 7E 00 00 00"},
    {'F', "00 00 7E 60 60 60 7C 60 60 60 60 00 00 00"},
    {'G', "00 00 3C 66 66 60 60 6E 66 66 3E 00 00 00"},
    {'H', "00 00 66 66 66 66 7E 66 66 66 66 00 00 00"},
    {'I', "00 00 3C 18 18 18 18 18 18 18 3C 00 00 00"},
    {'J', "00 00 06 06 06 06 06 06 66 66 3C 00 00 00"},
    {'K', "00 00 66 66 6C 6C 78 6C 6C 66 66 00 00 00"},
    {'L', "00 00 60 60 60 60 60 60 60 60 7E 00 00 00"},
    {'M', "00 00 63 63 77 6B 6B 6B 63 63 63 00 00 00"},
    {'N', "00 00 63 63 73 7B 6F 67 63 63 63 00 00 00"},
    {'O', "00 00 3C 66 66 66 66 66 66 66 3C 00 00 00"},
    {'P', "00 00 7C 66 66 66 7C 60 60 60 60 00 00 00"},
    {'Q', "00 00 3C 66 66 66 66 66 66 66 3C 0C 06 00"},
    {'R', "00 00 7C 66 66 66 7C 6C 66 66 66 00 00 00"},
    {'S', "00 00 3C 66 60 30 18 0C 06 66 3C 00 00 00"},
    {'T', "00 00 7E 18 18 18 18 18 18 18 18 00 00 00"},
    {'U', "00 00 66 66 66 66 66 66 66 66 3C 00 00 00"},
    {'V', "00 00 66 66 66 66 66 66 66 3C 18 00 00 00"},
    {'W', "00 00 63 63 63 6B 6B 6B 36 36 36 00 00 00"},
    {'X', "00 00 66 66 34 18 18 2C 66 66 66 00 00 00"},
    {'Y', "00 00 66 66 66 66 3C 18 18 18 18 00 00 00"},
    {'Z', "00 00 7E 06 06 0C 18 30 60 60 7E 00 00 00"},
    {'a', "00 00 00 00 3C 06 06 3E 66 66 3E 00 00 00"},
    {'b', "00 00 60 60 7C 66 66 66 66 66 7C 00 00 00"},
    {'c', "00 00 00 00 3C 66 60 60 60 66 3C 00 00 00"},
    {'d', "00 00 06 06 3E 66 66 66 66 66 3E 00 00 00"},
    {'e', "00 00 00 00 3C 66 66 7E 60 60 3C 00 00 00"},
    {'f', "00 00 1E 30 30 30 7E 30 30 30 30 00 00 00"},
    {'g', "00 00 00 00 3E 66 66 66 66 66 3E 06 06 7C"},
    {'h', "00 00 60 60 7C 66 66 66 66 66 66 00 00 00"},
    {'i', "00 18 18 00 78 18 18 18 18 18 7E 00 00 00"},
    {'j', "00 0C 0C 00 3C 0C 0C 0C 0C 0C 0C 0C 0C 78"},
    {'k', "00 00 60 60 66 66 6C 78 6C 66 66 00 00 00"},
    {'l', "00 00 78 18 18 18 18 18 18 18 7E 00 00 00"},
    {'m', "00 00 00 00 7E 6B 6B 6B 6B 6B 63 00 00 00"},
    {'n', "00 00 00 00 7C 66 66 66 66 66 66 00 00 00"},
    {'o', "00 00 00 00 3C 66 66 66 66 66 3C 00 00 00"},
    {'p', "00 00 00 00 7C 66 66 66 66 66 7C 60 60 60"},
    {'q', "00 00 00 00 3E 66 66 66 66 66 3E 06 06 06"},
    {'r', "00 00 00 00 66 6E 70 60 60 60 60 00 00 00"},
    {'s', "00 00 00 00 3E 60 60 3C 06 06 7C 00 00 00"},
    {'t', "00 00 30 30 7E 30 30 30 30 30 1E 00 00 00"},
    {'u', "00 00 00 00 66 66 66 66 66 66 3E 00 00 00"},
    {'v', "00 00 00 00 66 66 66 66 66 3C 18 00 00 00"},
    {'w', "00 00 00 00 63 6B 6B 6B 6B 36 36 00 00 00"},
    {'x', "00 00 00 00 66 66 3C 18 3C 66 66 00 00 00"},
    {'y', "00 00 00 00 66 66 66 66 66 66 3C 0C 18 F0"},
    {'z', "00 00 00 00 7E 06 0C 18 30 60 7E 00 00 00"},
    {'0', "00 00 1E 33 37 37 33 3B 3B 33 1E 00 00 00"},
    {'1', "00 00 0C 1C 7C 0C 0C 0C 0C 0C 0C 00 00 00"},
    {'2', "00 00 3C 66 66 06 0C 18 30 60 7E 00 00 00"},
    {'3', "00 00 3C 66 66 06 1C 06 66 66 3C 00 00 00"},
    {'4', "00 00 30 30 36 36 36 66 7F 06 06 00 00 00"},
    {'5', "00 00 7E 60 60 60 7C 06 06 0C 78 00 00 00"},
    {'6', "00 00 1C 18 30 7C 66 66 66 66 3C 00 00 00"},
    {'7', "00 00 7E 06 0C 0C 18 18 30 30 30 00 00 00"},
    {'8', "00 00 3C 66 66 76 3C 6E 66 66 3C 00 00 00"},
    {'9', "00 00 3C 66 66 66 66 3E 0C 18 38 00 00 00"},
    {':', "00 00 00 00 00 00 00 00 00 1C 1C 00 00 00"},
    {';', "00 00 18 3C 3C 3C 18 18 00 18 18 00 00 00"},
    {'<', "00 00 3C 66 66 0C 18 18 00 18 18 00 00 00"},
};
static_assert(sizeof printedFont / sizeof printedFont[0] == 65);

bool printedPixel(const PrintedGlyph& glyph, int col, int row) {
    const std::string rows = glyph.rows;
    const unsigned long byte = std::strtoul(rows.substr(size_t(13 - row) * 3, 2).c_str(), nullptr, 16);
    return (byte >> (7 - col)) & 1u;
}

TEST(TextFont, EveryPixelMatchesThePrintedTable) {
    for (int g = 0; g < 65; ++g) {
        const PrintedGlyph& glyph = printedFont[g];
        ASSERT_EQ(glyphIndex(glyph.ch), g) << "'" << glyph.ch << "' picks the wrong glyph";
        for (int col = 0; col < 8; ++col)
            for (int row = 0; row < 14; ++row)
                EXPECT_EQ(FontGlyphs[size_t(g) * 112 + size_t(col) * 14 + size_t(row)],
                          printedPixel(glyph, col, row) ? 1 : 0)
                    << "'" << glyph.ch << "' column " << col << " row " << row;
    }
}

TEST(TextFont, RowZeroIsTheLowest) {
    auto lit = [](char ch, int col, int row) {
        return FontGlyphs[size_t(glyphIndex(ch)) * 112 + size_t(col) * 14 + size_t(row)] != 0;
    };
    EXPECT_TRUE(lit('A', 3, 11) && lit('A', 4, 11)) << "apex";
    EXPECT_TRUE(lit('A', 1, 3) && lit('A', 6, 3)) << "feet";
    for (int col = 0; col < 8; ++col) EXPECT_FALSE(lit('A', col, 2) || lit('A', col, 12));
    EXPECT_TRUE(lit('g', 1, 0) && lit('y', 0, 0)) << "descenders reach row 0";
}

// Only space and the carried codes are valid; every other byte must pick no glyph at all, so
// that nothing outside the font is read (run under AddressSanitizer too).
TEST(TextFont, OnlyCarriedCodesPickAGlyph) {
    for (int code = 1; code < 256; ++code) {
        const char ch = static_cast<char>(code);
        const bool carried = (code >= 'a' && code <= 'z') || (code >= 'A' && code <= 'Z') ||
                             (code >= '0' && code <= '<');
        const int32_t glyph = glyphIndex(ch);
        if (carried)
            EXPECT_TRUE(glyph >= 0 && glyph < 65) << "code " << code;
        else
            EXPECT_EQ(glyph, -1) << "code " << code;
    }
    EXPECT_EQ(glyphIndex(':'), 62);
    EXPECT_EQ(glyphIndex(';'), 63);
    EXPECT_EQ(glyphIndex('<'), 64);
}

}  // namespace
