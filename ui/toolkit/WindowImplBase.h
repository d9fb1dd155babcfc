#pragma once

#include "NotifyPump.h"
#include "ControlHost.h"
#include "UIDefs.h"
#include "WindowWnd.h"

namespace uitk {

enum class UILIB_RESOURCETYPE { File = 1, Zip, Resource, ZipResource };

// A skinned window: a borderless native window whose client area is the
// control tree of one layout file.
class WindowImplBase : public CWindowWnd,
                       public CNotifyPump,
                       public INotificationSink,
                       public IMessageFilter,
                       public ILayoutBuilderCallback {
public:
    WindowImplBase();
    ~WindowImplBase() override = default;

    CControlHost& GetControlHost() { return m_host; }
    CControlUI* FindControl(const std::wstring& name) const { return m_host.FindControl(name); }

    void Notify(SNotification& msg) override;
    LRESULT MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
    CControlUI* CreateControl(const std::wstring& className) override;

protected:
    // Runs once after the layout has been built.
    virtual void Init() {}
    virtual void HandleClick(SNotification& msg);
    virtual std::wstring GetSkinFolder() const { return {}; }
    virtual std::wstring SkinFile() const = 0;
    virtual UILIB_RESOURCETYPE GetResourceType() const { return UILIB_RESOURCETYPE::File; }
    virtual std::wstring GetZIPFileName() const { return {}; }
    virtual UINT GetResourceID() const { return 0; }

    virtual LRESULT HandleCreate(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT HandleClose(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT HandleDestroy(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT HandleSysCommand(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);

    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnFinalMessage(HWND hwnd) override;

    CControlHost m_host;

private:
    // Makes the skin's archive the source of skin files; false when the
    // resource is missing or empty.
    bool LoadSkinArchive();
};

} // namespace uitk
