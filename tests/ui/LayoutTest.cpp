// Both layouts of the skin, built from the archive the program carries,
// laid out without a window.
#include "TestZip.h"

#include "ui/GifProgressUI.h"
#include "ui/toolkit/AttributeParse.h"
#include "ui/toolkit/ContainerUI.h"
#include "ui/toolkit/ControlUI.h"
#include "ui/toolkit/LayoutBuilder.h"
#include "ui/toolkit/LabelUI.h"
#include "ui/toolkit/ControlHost.h"
#include "ui/toolkit/SkinRenderer.h"
#include "ui/toolkit/SkinResources.h"

#include <gtest/gtest.h>

#include <memory>

using namespace uitk;

bool operator==(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::ostream& operator<<(std::ostream& out, const RECT& rc)
{
    return out << "(" << rc.left << "," << rc.top << ")-(" << rc.right << "," << rc.bottom << ")";
}

namespace {

const UINT kSkinId = 130;

class SkinLayout : public ::testing::Test {
protected:
    void Build(const wchar_t* file)
    {
        RegisterGifProgress();
        ASSERT_TRUE(CSkinResources::SetResourceZipFromResource(kSkinId, L"ZIPRES"));
        CLayoutBuilder builder;
        CControlUI* root = builder.Create(file, nullptr, &m_host);
        ASSERT_NE(root, nullptr);
        m_host.AttachDialog(root);
    }

    RECT Pos(const wchar_t* name)
    {
        CControlUI* control = m_host.FindControl(name);
        EXPECT_NE(control, nullptr) << "no control named " << std::string(name, name + wcslen(name));
        return control ? control->GetPos() : RECT{};
    }

    CControlUI* Control(const wchar_t* name) { return m_host.FindControl(name); }

    CControlHost m_host;
};

} // namespace

TEST_F(SkinLayout, MainWindowRowsAndControlsMatchTheTables)
{
    Build(L"DlgMain.xml");
    EXPECT_EQ(m_host.GetInitSize().cx, 632);
    EXPECT_EQ(m_host.GetInitSize().cy, 302);
    EXPECT_EQ(m_host.GetCaptionRect().bottom, 265);
    EXPECT_EQ(Pos(L"bg_mainwnd"), (RECT{0, 0, 632, 302}));
    EXPECT_EQ(Control(L"bg_mainwnd")->GetBkImage(), L"3.png");

    // Fixed rows 22, 28, 10 on top; two flexible rows share 163; then 24, 40 and 15.
    auto* root = static_cast<CContainerUI*>(Control(L"bg_mainwnd")->GetInterface(L"Container"));
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(root->GetCount(), 8);
    const int tops[8] = {0, 22, 50, 60, -1, 223, 247, 287};
    for (int row = 0; row < 8; ++row)
        if (tops[row] >= 0) {
            EXPECT_EQ(root->GetItemAt(row)->GetPos().top, tops[row]) << "row " << row + 1;
        }
    int flexible1 = root->GetItemAt(3)->GetPos().bottom - root->GetItemAt(3)->GetPos().top;
    int flexible2 = root->GetItemAt(4)->GetPos().bottom - root->GetItemAt(4)->GetPos().top;
    EXPECT_EQ(flexible1 + flexible2, 163);
    EXPECT_LE(std::abs(flexible1 - flexible2), 1);
    EXPECT_EQ(root->GetItemAt(7)->GetPos().bottom, 302);

    EXPECT_EQ(Pos(L"btn_regist"), (RECT{380, 22, 443, 50}));
    EXPECT_EQ(Pos(L"btn_home"), (RECT{458, 22, 521, 50}));
    EXPECT_EQ(Pos(L"btn_setting"), (RECT{567, 22, 579, 34}));
    EXPECT_EQ(Pos(L"btn_min"), (RECT{586, 22, 598, 34}));
    EXPECT_EQ(Pos(L"btn_close"), (RECT{605, 22, 617, 34}));
    EXPECT_EQ(Pos(L"label_downinfo"), (RECT{20, 223, 520, 247}));
    EXPECT_EQ(Pos(L"down_progress"), (RECT{15, 247, 493, 259}));
    EXPECT_EQ(Pos(L"edit_downdir"), (RECT{15, 264, 493, 288}));
    EXPECT_EQ(Pos(L"label_percent"), (RECT{450, 244, 480, 264}));
    EXPECT_EQ(Pos(L"btn_folder"), (RECT{470, 267, 487, 282}));
    EXPECT_EQ(Pos(L"btn_start"), (RECT{499, 247, 617, 287}));
    EXPECT_EQ(Control(L"label_percent")->GetText(), L"0%");
}

TEST_F(SkinLayout, HiddenControlsTakeNoRoom)
{
    Build(L"DlgMain.xml");
    EXPECT_FALSE(Control(L"btn_pause")->IsVisible());
    EXPECT_FALSE(Control(L"btn_resume")->IsVisible());

    Control(L"btn_start")->SetVisible(false);
    Control(L"btn_pause")->SetVisible(true);
    m_host.UpdateLayout();
    EXPECT_EQ(Pos(L"btn_pause"), (RECT{499, 247, 617, 287}));

    // Two shown buttons narrow the flexible column that holds the bar.
    Control(L"btn_start")->SetVisible(true);
    m_host.UpdateLayout();
    EXPECT_EQ(Pos(L"btn_start"), (RECT{381, 247, 499, 287}));
    EXPECT_EQ(Pos(L"btn_pause"), (RECT{499, 247, 617, 287}));
}

TEST_F(SkinLayout, SettingsDialogRowsMatchTheTable)
{
    Build(L"DlgSetting.xml");
    EXPECT_EQ(m_host.GetInitSize().cx, 506);
    EXPECT_EQ(m_host.GetInitSize().cy, 257);
    EXPECT_EQ(m_host.GetCaptionRect().bottom, 34);
    EXPECT_EQ(Pos(L"label_title"), (RECT{15, 7, 95, 27}));
    EXPECT_EQ(Control(L"label_title")->GetText(), L"配置选项");
    EXPECT_EQ(Pos(L"btn_close"), (RECT{479, 7, 491, 19}));
    EXPECT_EQ(Pos(L"edit_downspeed"), (RECT{150, 72, 230, 96}));
    EXPECT_EQ(Pos(L"edit_upspeed"), (RECT{50, 96, 130, 120}));
    EXPECT_EQ(Pos(L"opt_autostart"), (RECT{50, 151, 130, 163}));
    EXPECT_EQ(Pos(L"opt_unautostart"), (RECT{50, 173, 142, 185}));
    EXPECT_EQ(Pos(L"btn_url"), (RECT{110, 205, 310, 231}));
    EXPECT_EQ(Control(L"btn_url")->GetText().rfind(L"https://", 0), 0u);
}

TEST(LayoutMarkup, ElementNamesIgnoreCaseAndRepeatedAttributesApplyInOrder)
{
    TestZip zip;
    zip.Add("fonts.xml", "<?xml version=\"1.0\" encoding=\"utf-8\"?><Window><font id=\"4\" name=\"Arial\" size=\"9\"/></Window>");
    zip.Add("Small.xml",
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
            "<WINDOW size=\"100,60\"><include source=\"fonts.xml\"/>"
            "<verticallayout><CONTROL height=\"10\"/>"
            "<label name=\"twice\" font=\"1\" font=\"4\" text=\"first\" text=\"second\"/>"
            "<Control height=\"20\" visible=\"false\"/>"
            "<HorizontalLayout height=\"20\"><Control width=\"30\"/><Button name=\"b\" padding=\"5\"/></HorizontalLayout>"
            "</verticallayout></WINDOW>",
            false);
    zip.Add("Broken.xml", "<Window><VerticalLayout></Window>");
    zip.Add("Unknown.xml", "<Window><VerticalLayout><Gizmo/></VerticalLayout></Window>");
    std::string bytes = zip.Bytes();
    ASSERT_TRUE(CSkinResources::SetResourceZip(bytes.data(), bytes.size()));

    CControlHost pm;
    CLayoutBuilder builder;
    CControlUI* root = builder.Create(L"Small.xml", nullptr, &pm);
    ASSERT_NE(root, nullptr);
    pm.AttachDialog(root);
    auto* label = static_cast<CLabelUI*>(pm.FindControl(L"twice"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->GetText(), L"second");
    EXPECT_EQ(label->GetFont(), 4);
    EXPECT_EQ(label->GetPos(), (RECT{0, 10, 100, 40})); // the hidden 20 leaves 30 for the label
    EXPECT_EQ(pm.FindControl(L"b")->GetPos(), (RECT{35, 40, 100, 60}));
    EXPECT_NE(pm.GetFont(4), pm.GetFont(-1));

    CControlHost other;
    EXPECT_EQ(builder.Create(L"Broken.xml", nullptr, &other), nullptr);
    EXPECT_EQ(builder.Create(L"Unknown.xml", nullptr, &other), nullptr);
    EXPECT_EQ(builder.Create(L"Missing.xml", nullptr, &other), nullptr);
}

TEST(LayoutMarkup, ImageStringsColoursAndRectangles)
{
    TImageString bare = CSkinRenderer::ParseImageString(L"3.png");
    EXPECT_EQ(bare.file, L"3.png");
    EXPECT_FALSE(bare.hasDest);

    TImageString items = CSkinRenderer::ParseImageString(L"file='radio_down.png'dest='0,1,12,13' corner=\"4,2,4,2\"");
    EXPECT_EQ(items.file, L"radio_down.png");
    EXPECT_TRUE(items.hasDest);
    EXPECT_EQ(items.dest, (RECT{0, 1, 12, 13}));
    EXPECT_EQ(items.corner, (RECT{4, 2, 4, 2}));

    EXPECT_EQ(ParseColor(L"#FFA7A6AA"), 0xFFA7A6AAu);
    EXPECT_EQ(ParseColor(L"0xFFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseColor(L"#FFFFFF"), 0x00FFFFFFu);
    EXPECT_EQ(ParseRect(L"50"), (RECT{50, 0, 0, 0}));
    EXPECT_EQ(ParseRect(L"450,-3,0,0"), (RECT{450, -3, 0, 0}));
    EXPECT_TRUE(ParseBool(L"true"));
    EXPECT_FALSE(ParseBool(L"TRUE"));
}
