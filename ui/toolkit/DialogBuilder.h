#pragma once

#include "UIDefs.h"

#include <functional>
#include <string>

namespace pugi {
class xml_node;
}

namespace DuiLib {

class CControlUI;
class CContainerUI;
class CPaintManagerUI;

// Builds a control tree from a layout file of the skin. Element names are
// matched without regard to case; attributes apply in document order, so a
// repeated one simply applies twice.
class CDialogBuilder {
public:
    using ControlFactory = std::function<CControlUI*()>;

    // Makes controls of an element name the toolkit does not know itself,
    // for every builder of the process (before the callback is asked).
    static void RegisterControl(const std::wstring& elementName, ControlFactory factory);

    // The root control, or null when the file is missing or malformed. The
    // window attributes and fonts go to the paint manager.
    CControlUI* Create(const std::wstring& file, IDialogBuilderCallback* callback, CPaintManagerUI* manager);

private:
    bool ReadWindow(const pugi::xml_node& window, CPaintManagerUI* manager);
    bool ReadChildren(const pugi::xml_node& node, CContainerUI* parent, CPaintManagerUI* manager, bool includes);
    bool ReadInclude(const pugi::xml_node& node, CContainerUI* parent, CPaintManagerUI* manager);
    void ReadFont(const pugi::xml_node& node, CPaintManagerUI* manager);
    CControlUI* MakeControl(const std::wstring& element);
    CControlUI* BuildControl(const pugi::xml_node& node, CPaintManagerUI* manager);

    IDialogBuilderCallback* m_callback = nullptr;
    int m_includeDepth = 0;
};

} // namespace DuiLib
