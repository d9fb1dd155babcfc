#pragma once

#include <windows.h>

// What the download workflow needs of the window that owns it.
class IWorkflowHost {
public:
    // Pauses the download exactly as the pause button does: the buttons show
    // the paused state, the workflow's download is paused and the folder in
    // force is remembered for the resume.
    virtual void PauseDownload() = 0;
    // A message box without owner; `icon` is an MB_ICON* value or 0.
    virtual void ShowMessage(const wchar_t* caption, const wchar_t* text, UINT icon) = 0;

protected:
    ~IWorkflowHost() = default;
};
