#include "support/WindowLayout.h"

#include "ui/GifProgressUI.h"
#include "ui/toolkit/ContainerUI.h"
#include "ui/toolkit/ControlHost.h"
#include "ui/toolkit/ControlUI.h"
#include "ui/toolkit/LayoutBuilder.h"
#include "ui/toolkit/SkinResources.h"

#include <functional>
#include <memory>
#include <vector>

namespace {

// The skin package in the program's resources.
const UINT kSkinId = 130;
const wchar_t kSkinType[] = L"ZIPRES";

// The skin's bytes, kept for the rest of the process: the toolkit reads
// from them in place.
const std::string* SkinOf(const std::wstring& program)
{
    static std::map<std::wstring, std::unique_ptr<std::string>> skins;
    auto& skin = skins[program];
    if (skin)
        return skin.get();
    const HMODULE module =
        ::LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module)
        return nullptr;
    const HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(kSkinId), kSkinType);
    const HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
    const char* bytes = loaded ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
    if (bytes)
        skin = std::make_unique<std::string>(bytes, ::SizeofResource(module, found));
    ::FreeLibrary(module);
    return skin.get();
}

void ForEachNamed(uitk::CControlUI* control, const std::function<void(uitk::CControlUI&)>& visit)
{
    if (!control->GetName().empty())
        visit(*control);
    auto* container = static_cast<uitk::CContainerUI*>(control->GetInterface(L"Container"));
    for (int i = 0; container && i < container->GetCount(); ++i)
        ForEachNamed(container->GetItemAt(i), visit);
}

// A control the layout hides (pause and resume, which the window shows in
// the place of start) is placed where it lies once shown.
std::map<std::wstring, RECT> PositionsOf(uitk::CControlUI* root, uitk::CControlHost& host)
{
    std::map<std::wstring, RECT> positions;
    std::vector<uitk::CControlUI*> hidden;
    ForEachNamed(root, [&](uitk::CControlUI& control) {
        if (control.IsVisible())
            positions[control.GetName()] = control.GetPos();
        else
            hidden.push_back(&control);
    });
    for (uitk::CControlUI* control : hidden) {
        control->SetVisible(true);
        host.UpdateLayout();
        positions[control->GetName()] = control->GetPos();
        control->SetVisible(false);
    }
    return positions;
}

} // namespace

WindowLayout WindowLayout::OfProgram(const std::wstring& program, const wchar_t* layoutFile)
{
    WindowLayout layout;
    const std::string* skin = SkinOf(program);
    if (!skin || !uitk::CSkinResources::SetResourceZip(skin->data(), skin->size()))
        return layout;
    uitk::RegisterGifProgress();
    uitk::CControlHost host;
    uitk::CLayoutBuilder builder;
    uitk::CControlUI* root = builder.Create(layoutFile, nullptr, &host);
    if (root && host.AttachDialog(root))
        layout.m_positions = PositionsOf(root, host);
    return layout;
}

RECT WindowLayout::Position(const std::wstring& name) const
{
    const auto found = m_positions.find(name);
    return found == m_positions.end() ? RECT{} : found->second;
}

POINT WindowLayout::Centre(const std::wstring& name) const
{
    const RECT rc = Position(name);
    return POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
}
