#include "TestDialog.h"
#include "TestZip.h"

#include "support/ChildProcess.h"
#include "ui/GifProgressUI.h"
#include "ui/toolkit/SkinResources.h"

#include <gtest/gtest.h>

using namespace uitk;

namespace {

CGifProgressUI* BarOf(TestDialog* dialog, const wchar_t* name)
{
    return static_cast<CGifProgressUI*>(dialog->Find(name)->GetInterface(L"GifProgress"));
}

} // namespace

TEST(GifProgress, FilledWidthFollowsTheValueWithinMinAndMax)
{
    CGifProgressUI bar;
    bar.SetPos(RECT{15, 247, 15 + 478, 259});
    bar.SetValue(40);
    EXPECT_EQ(bar.FilledSize().cx, 191);
    EXPECT_EQ(bar.FilledSize().cy, 12);
    bar.SetValue(0);
    EXPECT_EQ(bar.FilledSize().cx, 0);
    bar.SetValue(250); // kept at max
    EXPECT_EQ(bar.FilledSize().cx, 478);
    bar.SetValue(100);
    bar.SetMaxValue(50); // the value now lies above max: drawn as max
    EXPECT_EQ(bar.FilledSize().cx, 478);

    // min equal to max: max becomes min + 1 before drawing.
    bar.SetMinValue(5);
    bar.SetMaxValue(5);
    EXPECT_EQ(bar.FilledSize().cx, 478); // the value 50 is kept at 6
    EXPECT_EQ(bar.GetMaxValue(), 6);

    bar.SetAttribute(L"hor", L"false");
    bar.SetMinValue(0);
    bar.SetMaxValue(100);
    bar.SetValue(50);
    EXPECT_EQ(bar.FilledSize().cx, 478);
    EXPECT_EQ(bar.FilledSize().cy, 6);
}

TEST(GifProgress, FramesChangeAfterTheirOwnDelays)
{
    CWndShadow::Initialize(CSkinResources::GetInstance());
    TestZip zip;
    zip.Add("two.gif", ReadHostFile(KORVANE_UI_TEST_DATA "/two_frames.gif"), false);
    zip.Add("zero.gif", ReadHostFile(KORVANE_UI_TEST_DATA "/zero_delay.gif"), false);
    // One white pixel, one frame.
    zip.Add("one.gif", std::string("GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00"
                                   "!\xf9\x04\x01\x00\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01\x00\x00"
                                   "\x02\x02" "D\x01\x00;",
                                   43),
            false);
    zip.Add("one_frame.xml", "<Window size=\"100,20\"><VerticalLayout>"
                             "<GifProgress name=\"bar\" foreimage=\"one.gif\" autoplay=\"true\" value=\"50\"/>"
                             "</VerticalLayout></Window>");
    zip.Add("zero_delay.xml", "<Window size=\"100,20\"><VerticalLayout>"
                              "<GifProgress name=\"bar\" foreimage=\"zero.gif\" value=\"50\"/>"
                              "</VerticalLayout></Window>");
    zip.Add("missing_image.xml", "<Window size=\"100,20\"><VerticalLayout>"
                                 "<GifProgress name=\"bar\" foreimage=\"nothing.gif\" value=\"50\"/>"
                                 "</VerticalLayout></Window>");
    zip.Add("Gif.xml", "<?xml version=\"1.0\" encoding=\"utf-8\"?><Window size=\"200,40\"><VerticalLayout>"
                       "<GifProgress name=\"bar\" foreimage=\"two.gif\" autosize=\"true\" autoplay=\"true\" value=\"50\"/>"
                       "</VerticalLayout></Window>");
    static std::string bytes; // the archive reads from it while the window lives
    bytes = zip.Bytes();
    ASSERT_TRUE(CSkinResources::SetResourceZip(bytes.data(), bytes.size()));

    auto record = std::make_shared<DialogRecord>();
    auto* dialog = new TestDialog(L"Gif.xml", record);
    HWND window = dialog->Open();
    ASSERT_NE(window, nullptr);
    CGifProgressUI* bar = BarOf(dialog, L"bar");
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->GetFrameCount(), 2);
    EXPECT_EQ(bar->GetFixedWidth(), 20); // autosize
    EXPECT_TRUE(bar->IsPlaying());
    EXPECT_EQ(bar->GetCurrentFrame(), 0);
    EXPECT_EQ(bar->GetTimerPeriod(), 100u); // delay 10 of frame 0

    DWORD started = ::GetTickCount();
    ASSERT_TRUE(WaitFor([&] {
        PumpMessages();
        return bar->GetCurrentFrame() == 1;
    }));
    DWORD firstChange = ::GetTickCount() - started;
    EXPECT_EQ(bar->GetTimerPeriod(), 200u); // delay 20 of frame 1
    ASSERT_TRUE(WaitFor([&] {
        PumpMessages();
        return bar->GetCurrentFrame() == 0;
    }));
    EXPECT_GE(::GetTickCount() - started, firstChange + 150);

    // Hiding stops the animation and rewinds it.
    bar->SetVisible(false);
    EXPECT_FALSE(bar->IsPlaying());
    EXPECT_EQ(bar->GetCurrentFrame(), 0);
    bar->SetVisible(true);
    EXPECT_TRUE(bar->IsPlaying());
    ::DestroyWindow(window);

    // A missing image leaves the bar without a filled part, and without a crash.
    auto otherRecord = std::make_shared<DialogRecord>();
    auto* other = new TestDialog(L"missing_image.xml", otherRecord);
    HWND otherWindow = other->Open();
    ASSERT_NE(otherWindow, nullptr);
    EXPECT_EQ(BarOf(other, L"bar")->GetFrameCount(), 0);
    EXPECT_FALSE(BarOf(other, L"bar")->IsPlaying());
    ::UpdateWindow(otherWindow);
    ::DestroyWindow(otherWindow);
    EXPECT_TRUE(otherRecord->deleted);

    // A frame delay of 0 plays as 100 ms.
    auto zeroRecord = std::make_shared<DialogRecord>();
    auto* zero = new TestDialog(L"zero_delay.xml", zeroRecord);
    HWND zeroWindow = zero->Open();
    ASSERT_NE(zeroWindow, nullptr);
    EXPECT_TRUE(BarOf(zero, L"bar")->IsPlaying());
    EXPECT_EQ(BarOf(zero, L"bar")->GetTimerPeriod(), 100u);
    ::DestroyWindow(zeroWindow);

    // A picture of one frame (as the skin's) is drawn, but never played.
    auto oneRecord = std::make_shared<DialogRecord>();
    auto* one = new TestDialog(L"one_frame.xml", oneRecord);
    HWND oneWindow = one->Open();
    ASSERT_NE(oneWindow, nullptr);
    ::UpdateWindow(oneWindow);
    EXPECT_EQ(BarOf(one, L"bar")->GetFrameCount(), 1);
    EXPECT_FALSE(BarOf(one, L"bar")->IsPlaying());
    ::DestroyWindow(oneWindow);
}
