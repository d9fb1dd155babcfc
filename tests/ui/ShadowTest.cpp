#include "ui/WndShadow.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

uint8_t Alpha(uint32_t pixel) { return uint8_t(pixel >> 24); }

// The program's shadow: size 6, offsets 1, sharpness 10, darkness 150.
void MakeProgramShadow(CWndShadow& shadow)
{
    shadow.SetSize(6);
    shadow.SetPosition(1, 1);
    shadow.SetSharpness(10);
}

} // namespace

TEST(WndShadow, RendersTheProgramsShadowAroundAMainWindow)
{
    CWndShadow shadow;
    MakeProgramShadow(shadow);
    const int W = 632, H = 302, SW = W + 12, SH = H + 12;
    std::vector<uint32_t> bits(size_t(SW) * SH, 0);
    CShadowPixels pixels{bits.data(), SW, SH, true};
    shadow.RenderShadow(pixels, nullptr, RECT{100, 100, 100 + W, 100 + H});

    // The owner lies at (5, 5) of the shadow image: transparent exactly there.
    for (int y = 5; y < 5 + H; ++y)
        for (int x = 5; x < 5 + W; ++x)
            ASSERT_EQ(pixels.Row(y)[x], 0u) << x << "," << y;
    // The outermost pixel in the middle of each side: (1 - 10/11) * 150.
    EXPECT_EQ(Alpha(pixels.Row(SH / 2)[0]), 13);
    EXPECT_EQ(Alpha(pixels.Row(SH / 2)[SW - 1]), 13);
    EXPECT_EQ(Alpha(pixels.Row(0)[SW / 2]), 13);
    EXPECT_EQ(Alpha(pixels.Row(SH - 1)[SW / 2]), 13);
    // It darkens towards the window and stays black (premultiplied).
    EXPECT_GT(Alpha(pixels.Row(SH / 2)[4]), Alpha(pixels.Row(SH / 2)[1]));
    EXPECT_GT(Alpha(pixels.Row(SH - 3)[SW / 2]), Alpha(pixels.Row(SH - 1)[SW / 2]));
    EXPECT_EQ(pixels.Row(SH / 2)[2] & 0x00FFFFFFu, 0u);
    // The corners round off.
    EXPECT_EQ(pixels.Row(0)[0], 0u);
}

TEST(WndShadow, BottomUpRowsPutTheTopRowLastInMemory)
{
    CWndShadow shadow;
    MakeProgramShadow(shadow);
    const int SW = 40, SH = 30;
    std::vector<uint32_t> bottomUp(size_t(SW) * SH, 0), topDown(size_t(SW) * SH, 0);
    shadow.RenderShadow(CShadowPixels{bottomUp.data(), SW, SH, true}, nullptr, RECT{0, 0, 28, 18});
    shadow.RenderShadow(CShadowPixels{topDown.data(), SW, SH, false}, nullptr, RECT{0, 0, 28, 18});
    for (int row = 0; row < SH; ++row)
        for (int x = 0; x < SW; ++x)
            ASSERT_EQ(bottomUp[size_t(SH - 1 - row) * SW + x], topDown[size_t(row) * SW + x]);
}

TEST(WndShadow, ADegenerateOwnerDrawsNothing)
{
    CWndShadow shadow;
    MakeProgramShadow(shadow);
    std::vector<uint32_t> bits(12 * 12, 0);
    shadow.RenderShadow(CShadowPixels{bits.data(), 12, 12, true}, nullptr, RECT{0, 0, 0, 0});
    for (uint32_t pixel : bits)
        EXPECT_EQ(pixel, 0u);
}
