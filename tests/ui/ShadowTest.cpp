#include "ui/WndShadow.h"
#include "util/GdiObject.h"

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

// The shadow window lies above its owner, so it must be clear over each row
// of the owner's window region and shaded just beside it, also where the
// shape has rounded corners and a hole.
TEST(WndShadow, LetsTheOwnerShowThroughEachRowOfItsWindowRegion)
{
    const int W = 120, H = 80;
    HWND owner = ::CreateWindowExW(0, L"STATIC", nullptr, WS_POPUP, 0, 0, W, H, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    HRGN shape = ::CreateRoundRectRgn(0, 0, W + 1, H + 1, 30, 30);
    CGdiObject<HRGN> hole(::CreateRectRgn(30, 20, 60, 40));
    ::CombineRgn(shape, shape, hole.Get(), RGN_DIFF);
    ASSERT_NE(::SetWindowRgn(owner, shape, FALSE), 0); // the window owns the region now

    CWndShadow shadow;
    MakeProgramShadow(shadow);
    std::vector<uint32_t> bits(size_t(W + 12) * (H + 12), 0);
    CShadowPixels pixels{bits.data(), W + 12, H + 12, true};
    shadow.RenderShadow(pixels, owner, RECT{300, 200, 300 + W, 200 + H});

    CGdiObject<HRGN> region(::CreateRectRgn(0, 0, 0, 0));
    ASSERT_NE(::GetWindowRgn(owner, region.Get()), ERROR);
    ::DestroyWindow(owner);
    // Owner pixel (x, y) lies at (x + 5, y + 5) of the shadow image.
    for (int y = 0; y < H; ++y) {
        int first = 0, last = W - 1;
        while (first < W && !::PtInRegion(region.Get(), first, y))
            ++first;
        while (last > first && !::PtInRegion(region.Get(), last, y))
            --last;
        ASSERT_LT(first, W) << "row " << y;
        const uint32_t* line = pixels.Row(y + 5);
        for (int x = first; x <= last; ++x)
            ASSERT_EQ(line[x + 5], 0u) << x << "," << y;
        EXPECT_GT(Alpha(line[first + 4]), 0) << "left of row " << y;
        EXPECT_GT(Alpha(line[last + 6]), 0) << "right of row " << y;
    }
}
