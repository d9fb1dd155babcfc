#pragma once

#include "workflow/WorkflowEvents.h"

#include <windows.h>
#include <shobjidl.h>

#include <functional>
#include <memory>

// The window's button on the taskbar, as far as the download marks it.
class ITaskbarButton {
public:
    virtual ~ITaskbarButton() = default;
    virtual void SetState(TBPFLAG state) = 0;
    // Out of 100: the window's progress is a percentage.
    virtual void SetValue(ULONGLONG completed, ULONGLONG total) = 0;
    virtual void Flash() = 0;
};

// The download's progress on the taskbar button, so that a minimised
// download can still be watched: the percentage while downloading, a moving
// bar while preparing, paused, red on a failure, nothing when ready or
// complete. The window shows its state on every tick; the button hears only
// what changed. Without a button every call does nothing.
class CTaskbarProgress {
public:
    // The button of `window`, or null when the shell offers no interface.
    using Connector = std::function<std::unique_ptr<ITaskbarButton>(HWND window)>;
    static std::unique_ptr<ITaskbarButton> ConnectShell(HWND window);

    // A new button shows no progress: whatever the old one showed is told
    // to it anew.
    void Attach(std::unique_ptr<ITaskbarButton> button);
    // Before the window goes.
    void Detach() { m_button.reset(); }
    // `inError`: the downloader's own status is an error.
    void Show(WorkflowState state, bool inError, int percent);
    void Flash();

private:
    std::unique_ptr<ITaskbarButton> m_button;
    TBPFLAG m_shownState = TBPF_NOPROGRESS;
    int m_shownValue = -1; // none
};
