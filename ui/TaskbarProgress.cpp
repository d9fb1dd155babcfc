#include "TaskbarProgress.h"

#include <wrl/client.h>

#include <algorithm>

using Microsoft::WRL::ComPtr;

namespace {

const int kFull = 100;

class CShellTaskbarButton : public ITaskbarButton {
public:
    CShellTaskbarButton(HWND window, ComPtr<ITaskbarList3> list) : m_window(window), m_list(std::move(list)) {}

    void SetState(TBPFLAG state) override { m_list->SetProgressState(m_window, state); }
    void SetValue(ULONGLONG completed, ULONGLONG total) override
    {
        m_list->SetProgressValue(m_window, completed, total);
    }
    // Once: the button then stays lit until the player comes to the window.
    void Flash() override
    {
        FLASHWINFO flash{sizeof(flash), m_window, FLASHW_TRAY, 1, 0};
        ::FlashWindowEx(&flash);
    }

private:
    HWND m_window;
    ComPtr<ITaskbarList3> m_list;
};

TBPFLAG ProgressState(WorkflowState state, bool inError)
{
    switch (state) {
    case WorkflowState::Ready:
    case WorkflowState::Completed:
        return TBPF_NOPROGRESS;
    case WorkflowState::Paused:
        return TBPF_PAUSED;
    case WorkflowState::Failed:
        return TBPF_ERROR;
    case WorkflowState::Preparing:
        return TBPF_INDETERMINATE;
    case WorkflowState::Downloading:
        return inError ? TBPF_ERROR : TBPF_NORMAL;
    }
    return TBPF_NOPROGRESS;
}

// The bar cannot show more than full. A red bar of nothing would not be
// seen, so a failure before any progress shows a full one.
int ProgressValue(TBPFLAG state, int percent)
{
    if (state == TBPF_NOPROGRESS || state == TBPF_INDETERMINATE)
        return -1;
    if (state == TBPF_ERROR && percent <= 0)
        return kFull;
    return std::min(std::max(percent, 0), kFull);
}

} // namespace

std::unique_ptr<ITaskbarButton> CTaskbarProgress::ConnectShell(HWND window)
{
    ComPtr<ITaskbarList3> list;
    if (FAILED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&list))) ||
        FAILED(list->HrInit()))
        return nullptr;
    return std::make_unique<CShellTaskbarButton>(window, std::move(list));
}

void CTaskbarProgress::Attach(std::unique_ptr<ITaskbarButton> button)
{
    m_button = std::move(button);
    m_shownState = TBPF_NOPROGRESS;
    m_shownValue = -1;
}

// The state goes first: a value alone would turn a button without progress
// to normal.
void CTaskbarProgress::Show(WorkflowState state, bool inError, int percent)
{
    if (!m_button)
        return;
    const TBPFLAG shown = ProgressState(state, inError);
    if (shown != m_shownState)
        m_button->SetState(shown);
    m_shownState = shown;
    const int value = ProgressValue(shown, percent);
    if (value >= 0 && value != m_shownValue)
        m_button->SetValue(static_cast<ULONGLONG>(value), kFull);
    m_shownValue = value;
}

void CTaskbarProgress::Flash()
{
    if (m_button)
        m_button->Flash();
}
