// Opens one layout of the skin carried in this program, alone, the way the
// downloader opens its windows:
//
//   ui_skin_view.exe DlgMain.xml            shows it until it is closed
//   ui_skin_view.exe DlgMain.xml main.png   saves its picture and ends
//
// A layout that cannot be built ends the program as the downloader ends.
#include "WindowPicture.h"

#include "ui/DUIDialogBase.h"

#include <string>

namespace {

class SkinViewDialog : public CDUIDialogBase {
public:
    explicit SkinViewDialog(std::wstring layout) : m_layout(std::move(layout)) {}

protected:
    std::wstring ClassName() const override { return L"#Korvane_SkinView"; }
    std::wstring SkinFile() const override { return m_layout; }
    LRESULT HandleDestroy(UINT, WPARAM, LPARAM, bool& handled) override
    {
        ::PostQuitMessage(0);
        handled = true;
        return 0;
    }

private:
    std::wstring m_layout;
};

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        fwprintf(stderr, L"usage: ui_skin_view LAYOUT [PICTURE.png]\n");
        return 2;
    }
    CWndShadow::Initialize(::GetModuleHandleW(nullptr));
    auto* dialog = new SkinViewDialog(argv[1]);
    HWND window = dialog->Create(nullptr, L"Korvane skin view", WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_SYSMENU,
                                 0, 0, 0, 0, 0);
    if (!window)
        return 1;
    dialog->ShowWindow(true);
    dialog->CenterWindow();
    RECT client{};
    ::GetClientRect(window, &client);
    ::SendMessageW(window, WM_SIZE, 0, MAKELPARAM(client.right, client.bottom));
    if (argc >= 3) {
        bool saved = SavePng(CaptureClient(window), argv[2]);
        ::DestroyWindow(window);
        return saved ? 0 : 1;
    }
    return uitk::CControlHost::MessageLoop();
}
