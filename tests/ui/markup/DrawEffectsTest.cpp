// The sixteen background effects, computed to the byte.
#include "DrawEffects.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace quorvex::markup;

namespace {
constexpr Colorref kBlack = 0x000000, kWhite = 0xFFFFFF;

EffectPicture Compute(int effect, Rect rect, Colorref c1, Colorref c2, Colorref c3, int g, std::uint32_t seed = 1)
{
    ClassicRandom random(seed);
    return ComputeEffect(effect, rect, c1, c2, c3, g, 0, random);
}
}  // namespace

TEST(ClassicRandom, IsTheClassicSequence)
{
    ClassicRandom random;
    EXPECT_EQ(random.Next(), 41);
    EXPECT_EQ(random.Next(), 18467);
    EXPECT_EQ(random.Next(), 6334);
}

TEST(Gradients, VerticalBlackToWhiteOver64RowsGivesOneBandPerRow)
{
    const EffectPicture picture = Compute(2, {10, 20, 30, 84}, kBlack, 0, kWhite, 0);
    ASSERT_EQ(picture.fills.size(), 64u);
    EXPECT_FALSE(picture.HasImage());
    const int expected[] = {0, 3, 7, 11, 15, 19, 23, 27};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(picture.fills[static_cast<std::size_t>(i)].color, static_cast<Colorref>(expected[i] * 0x010101));
    EXPECT_EQ(picture.fills[63].color, 251u * 0x010101u);
    EXPECT_EQ(picture.fills[5].rect, (Rect{10, 25, 30, 26}));
}

TEST(Gradients, NarrowerThan64PixelsSkipsEmptyBandsAndEndsNearTheLastColour)
{
    const EffectPicture picture = Compute(1, {0, 0, 10, 5}, kBlack, 0, 0x0000FF, 0);
    ASSERT_EQ(picture.fills.size(), 10u);
    int covered = 0;
    for (const SolidFill& fill : picture.fills)
        covered += fill.rect.Width();
    EXPECT_EQ(covered, 10);
    EXPECT_EQ(picture.fills.back().rect.right, 10);
    EXPECT_EQ(picture.fills.back().color, 251u);  // band 63 of black to red
}

TEST(Gradients, CentredAndThreeColourGradientsSplitAtTheMiddle)
{
    const EffectPicture centred = Compute(3, {0, 0, 128, 4}, kBlack, 0, kWhite, 0);
    ASSERT_EQ(centred.fills.size(), 128u);
    EXPECT_EQ(centred.fills[0].color, kBlack);
    EXPECT_EQ(centred.fills[64].color, kWhite);  // the right half runs back from C3
    EXPECT_EQ(centred.fills[64].rect.left, 64);
    const EffectPicture three = Compute(6, {0, 0, 4, 128}, 0x0000FF, 0x00FF00, 0xFF0000, 0);
    EXPECT_EQ(three.fills[0].color, 0x0000FFu);
    EXPECT_EQ(three.fills[64].color, 0x00FF00u);
}

TEST(Effects, SolidAndUnknownIndicesFillWithTheFirstColour)
{
    for (int effect : {0, 16, 99, -7}) {
        const EffectPicture picture = Compute(effect, {1, 2, 3, 4}, 0x123456, 0, 0, 0);
        ASSERT_EQ(picture.fills.size(), 1u) << effect;
        EXPECT_EQ(picture.fills[0].color, 0x123456u);
        EXPECT_EQ(picture.fills[0].rect, (Rect{1, 2, 3, 4}));
    }
}

TEST(Effects, EmptyRectanglesAndNarrowHardbumpsPaintNothing)
{
    for (int effect = 0; effect < 16; ++effect) {
        EXPECT_TRUE(Compute(effect, {5, 5, 5, 20}, kBlack, kWhite, kBlack, 0).IsEmpty()) << effect;
        EXPECT_TRUE(Compute(effect, {5, 5, 20, 5}, kBlack, kWhite, kBlack, 0).IsEmpty()) << effect;
    }
    EXPECT_TRUE(Compute(14, {0, 0, 5, 30}, kBlack, kWhite, kBlack, 0).IsEmpty());
    EXPECT_FALSE(Compute(14, {0, 0, 6, 30}, kBlack, kWhite, kBlack, 0).IsEmpty());
}

TEST(Effects, ThePaletteRunsFromTheLastColourThroughTheMiddleToTheFirst)
{
    const auto palette = EffectPalette(0x0000FF, 0x00FF00, 0xFF0000, 0);
    EXPECT_EQ(palette[0], 0xFF0000u);
    EXPECT_EQ(palette[255], 0x0000FFu);
    // Entry 128 is written twice; the second write leaves (C1 + 127 × C2) / 128.
    EXPECT_EQ(palette[128], MakeColorref(255 / 128, 127 * 255 / 128, 0));
    const auto blended = EffectPalette(0x0000FF, 0x00FF00, 0xFF0000, 100);
    for (Colorref c : blended)
        EXPECT_EQ(c, 0x0000FFu);
    EXPECT_EQ(EffectPalette(1, 2, 3, 250), blended == blended ? EffectPalette(1, 2, 3, 100) : blended);
}

TEST(Effects, RowsAreComputedFromTheBottomUp)
{
    const EffectPicture picture = Compute(9, {0, 0, 3, 100}, kWhite, 0x808080, kBlack, 0);
    ASSERT_TRUE(picture.HasImage());
    // hshade grows with the row counted from the bottom: the top row on screen is the largest.
    EXPECT_EQ(picture.image.At(0, 99), 0);
    EXPECT_EQ(picture.image.At(0, 0), 99 * 255 / 100);
}

TEST(Effects, WithoutGranularityThePicturesAreTheSameEveryTime)
{
    for (int effect = 9; effect <= 13; ++effect) {
        const EffectPicture a = Compute(effect, {0, 0, 40, 30}, kBlack, kWhite, kBlack, 0, 1);
        const EffectPicture b = Compute(effect, {0, 0, 40, 30}, kBlack, kWhite, kBlack, 0, 1);
        EXPECT_EQ(a.image.pixels, b.image.pixels) << effect;
        // Another random state changes nothing but the rare value 32767, which adds 1.
        const EffectPicture c = Compute(effect, {0, 0, 40, 30}, kBlack, kWhite, kBlack, 0, 977);
        for (std::size_t i = 0; i < a.image.pixels.size(); ++i)
            EXPECT_LE(std::abs(a.image.pixels[i] - c.image.pixels[i]) % 255, 1) << effect;
    }
}

TEST(Effects, GranularityFiveVariesEachPixelByAtMostFive)
{
    const int w = 50, h = 40, f = 5;
    const EffectPicture grainy = Compute(9, {0, 0, w, h}, kBlack, kWhite, kBlack, f);
    int varied = 0;
    for (int row = 0; row < h; ++row) {
        const int y = h - 1 - row;
        const int base = (y * (255 - 2 * f)) / h + f;
        for (int x = 0; x < w; ++x) {
            const int value = grainy.image.At(x, row);
            EXPECT_LE(std::abs(value - base), 5);
            varied += value != base;
        }
    }
    EXPECT_GT(varied, w * h / 2);
}

TEST(Effects, VbumpWithEqualOuterColoursIsSymmetric)
{
    const Colorref c1 = 0xF8F5EE, c2 = 0xFFFFFF;
    const EffectPicture picture = Compute(12, {0, 0, 101, 10}, c1, c2, c1, 0);
    const auto colour = [&](int x) { return picture.image.palette[picture.image.At(x, 5)]; };
    for (int x = 1; x < 50; ++x) {
        const Colorref left = colour(x), right = colour(100 - x);
        EXPECT_LE(std::abs(RedOf(left) - RedOf(right)), 2) << x;
        EXPECT_LE(std::abs(BlueOf(left) - BlueOf(right)), 2) << x;
    }
    // The leftmost column's index is 256, stored as 0: the last colour, equal to the first here.
    EXPECT_EQ(picture.image.At(0, 5), 0);
    EXPECT_EQ(colour(0), c1);
    EXPECT_EQ(colour(50), MakeColorref((0xEE + 127 * 255) / 128, (0xF5 + 127 * 255) / 128, (0xF8 + 127 * 255) / 128));
}

TEST(Effects, NoiseMetalAndBumpsStayInsideTheImage)
{
    for (int effect = 7; effect <= 15; ++effect)
        for (Rect rect : {Rect{0, 0, 1, 1}, Rect{0, 0, 7, 3}, Rect{3, 4, 260, 90}, Rect{0, 0, 40000, 2}}) {
            if (effect == 14 && rect.Width() < 6)
                continue;
            const EffectPicture picture = Compute(effect, rect, kBlack, kWhite, 0x0000FF, 30);
            ASSERT_EQ(picture.image.pixels.size(), static_cast<std::size_t>(rect.Width()) * rect.Height());
            EXPECT_EQ(picture.imageOrigin.x, rect.left);
        }
    const EffectPicture noise = Compute(7, {0, 0, 10, 10}, kBlack, kWhite, kBlack, 0);
    for (std::uint8_t v : noise.image.pixels)
        EXPECT_TRUE(v == 128 || v == 129);
}
