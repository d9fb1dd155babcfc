#include "LayoutBuilder.h"

#include "AttributeParse.h"
#include "ButtonUI.h"
#include "ContainerUI.h"
#include "EditUI.h"
#include "HorizontalLayoutUI.h"
#include "LabelUI.h"
#include "OptionUI.h"
#include "ControlHost.h"
#include "ProgressUI.h"
#include "RichEditUI.h"
#include "SkinResources.h"
#include "VerticalLayoutUI.h"

#include <pugixml.hpp>

#include <map>
#include <memory>

namespace uitk {
namespace {

const int kMaxIncludeDepth = 8;
// Far deeper than any window needs. A deeper tree would exhaust the stack,
// here and in every later pass over it (layout, paint, search, deletion).
const int kMaxNestingDepth = 64;

// Counts the controls being built one inside the other.
class CNesting {
public:
    explicit CNesting(int& depth) : m_depth(++depth) {}
    ~CNesting() { --m_depth; }
    CNesting(const CNesting&) = delete;
    CNesting& operator=(const CNesting&) = delete;

private:
    int& m_depth;
};

std::wstring Wide(const char* utf8)
{
    int count = ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    if (count <= 1)
        return {};
    std::wstring text(size_t(count - 1), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, text.data(), count);
    return text;
}

bool Is(const pugi::xml_node& node, const wchar_t* name)
{
    return EqualNoCase(Wide(node.name()), name);
}

std::map<std::wstring, CLayoutBuilder::ControlFactory>& Registered()
{
    static std::map<std::wstring, CLayoutBuilder::ControlFactory> factories;
    return factories;
}

bool ParseSkinFile(const std::wstring& file, pugi::xml_document& document)
{
    std::string bytes;
    if (!CSkinResources::ReadSkinFile(file, bytes))
        return false;
    pugi::xml_parse_result parsed = document.load_buffer(bytes.data(), bytes.size(), pugi::parse_default,
                                                         pugi::encoding_utf8);
    return bool(parsed) && document.document_element();
}

} // namespace

void CLayoutBuilder::RegisterControl(const std::wstring& elementName, ControlFactory factory)
{
    std::wstring key = elementName;
    ::CharLowerBuffW(key.data(), DWORD(key.size()));
    Registered()[key] = std::move(factory);
}

CControlUI* CLayoutBuilder::Create(const std::wstring& file, ILayoutBuilderCallback* callback,
                                   CControlHost* manager)
{
    m_callback = callback;
    pugi::xml_document document;
    if (!ParseSkinFile(file, document))
        return nullptr;
    pugi::xml_node window = document.document_element();
    if (!Is(window, L"Window"))
        return BuildControl(window, manager);
    if (!ReadWindow(window, manager))
        return nullptr;
    // The first control element under the window is the root.
    for (pugi::xml_node child : window.children()) {
        if (child.type() != pugi::node_element || Is(child, L"Font") || Is(child, L"Include") ||
            Is(child, L"Image") || Is(child, L"Default"))
            continue;
        return BuildControl(child, manager);
    }
    return nullptr;
}

bool CLayoutBuilder::ReadWindow(const pugi::xml_node& window, CControlHost* manager)
{
    if (manager) {
        for (pugi::xml_attribute attribute : window.attributes()) {
            std::wstring name = Wide(attribute.name()), value = Wide(attribute.value());
            RECT rc = ParseRect(value);
            if (name == L"size")
                manager->SetInitSize(rc.left, rc.top);
            else if (name == L"mininfo")
                manager->SetMinInfo(rc.left, rc.top);
            else if (name == L"maxinfo")
                manager->SetMaxInfo(rc.left, rc.top);
            else if (name == L"caption")
                manager->SetCaptionRect(rc);
        }
    }
    for (pugi::xml_node child : window.children()) {
        if (Is(child, L"Font"))
            ReadFont(child, manager);
        else if (Is(child, L"Include") && !ReadInclude(child, nullptr, manager))
            return false;
    }
    return true;
}

void CLayoutBuilder::ReadFont(const pugi::xml_node& node, CControlHost* manager)
{
    if (!manager)
        return;
    int id = -1, size = 12;
    bool bold = false, italic = false;
    std::wstring face;
    for (pugi::xml_attribute attribute : node.attributes()) {
        std::wstring name = Wide(attribute.name()), value = Wide(attribute.value());
        if (name == L"id")
            id = ParseInt(value);
        else if (name == L"name")
            face = value.substr(0, 31);
        else if (name == L"size")
            size = ParseInt(value);
        else if (name == L"bold")
            bold = ParseBool(value);
        else if (name == L"italic")
            italic = ParseBool(value);
    }
    if (id >= 0)
        manager->AddFont(id, face, size, bold, italic);
}

// An included file is read in place: its fonts join the window, its
// controls join the parent.
bool CLayoutBuilder::ReadInclude(const pugi::xml_node& node, CContainerUI* parent, CControlHost* manager)
{
    if (m_includeDepth >= kMaxIncludeDepth)
        return false;
    pugi::xml_document document;
    if (!ParseSkinFile(Wide(node.attribute("source").value()), document))
        return false;
    ++m_includeDepth;
    pugi::xml_node root = document.document_element();
    bool ok = true;
    if (Is(root, L"Window"))
        ok = ReadWindow(root, manager) && (!parent || ReadChildren(root, parent, manager, false));
    else if (parent)
        ok = parent->Add(BuildControl(root, manager));
    --m_includeDepth;
    return ok;
}

bool CLayoutBuilder::ReadChildren(const pugi::xml_node& node, CContainerUI* parent, CControlHost* manager,
                                  bool includes)
{
    for (pugi::xml_node child : node.children()) {
        if (child.type() != pugi::node_element || Is(child, L"Font"))
            continue;
        if (Is(child, L"Include")) {
            if (!includes)
                continue;
            if (!ReadInclude(child, parent, manager))
                return false;
            continue;
        }
        if (!parent)
            continue;
        CControlUI* control = BuildControl(child, manager);
        if (!control)
            return false;
        parent->Add(control);
    }
    return true;
}

CControlUI* CLayoutBuilder::MakeControl(const std::wstring& element)
{
    std::wstring key = element;
    ::CharLowerBuffW(key.data(), DWORD(key.size()));
    if (key == L"control") return new CControlUI;
    if (key == L"container") return new CContainerUI;
    if (key == L"verticallayout") return new CVerticalLayoutUI;
    if (key == L"horizontallayout") return new CHorizontalLayoutUI;
    if (key == L"label" || key == L"text") return new CLabelUI;
    if (key == L"button") return new CButtonUI;
    if (key == L"option") return new COptionUI;
    if (key == L"edit") return new CEditUI;
    if (key == L"richedit") return new CRichEditUI;
    if (key == L"progress") return new CProgressUI;
    auto it = Registered().find(key);
    if (it != Registered().end())
        return it->second();
    return m_callback ? m_callback->CreateControl(element) : nullptr;
}

// A control element with its attributes and children; null for an element
// nobody can make or one nested too deep.
CControlUI* CLayoutBuilder::BuildControl(const pugi::xml_node& node, CControlHost* manager)
{
    CNesting nesting(m_nestingDepth);
    if (m_nestingDepth > kMaxNestingDepth)
        return nullptr;
    std::unique_ptr<CControlUI> control(MakeControl(Wide(node.name())));
    if (!control)
        return nullptr;
    for (pugi::xml_attribute attribute : node.attributes())
        control->SetAttribute(Wide(attribute.name()), Wide(attribute.value()));
    auto* container = static_cast<CContainerUI*>(control->GetInterface(L"Container"));
    if (container && !ReadChildren(node, container, manager, true))
        return nullptr;
    return control.release();
}

} // namespace uitk
