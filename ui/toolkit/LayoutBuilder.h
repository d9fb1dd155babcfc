#pragma once

#include "UIDefs.h"

#include <functional>
#include <string>

namespace pugi {
class xml_node;
}

namespace uitk {

class CControlUI;
class CContainerUI;
class CControlHost;

// Builds a control tree from a layout file of the skin. Element names are
// matched without regard to case; attributes apply in document order, so a
// repeated one simply applies twice.
class CLayoutBuilder {
public:
    using ControlFactory = std::function<CControlUI*()>;

    // Makes controls of an element name the toolkit does not know itself,
    // for every builder of the process (before the callback is asked).
    static void RegisterControl(const std::wstring& elementName, ControlFactory factory);

    // The root control, or null when the file is missing or malformed. The
    // window attributes and fonts go to the control host.
    CControlUI* Create(const std::wstring& file, ILayoutBuilderCallback* callback, CControlHost* manager);

private:
    bool ReadWindow(const pugi::xml_node& window, CControlHost* manager);
    bool ReadChildren(const pugi::xml_node& node, CContainerUI* parent, CControlHost* manager, bool includes);
    bool ReadInclude(const pugi::xml_node& node, CContainerUI* parent, CControlHost* manager);
    void ReadFont(const pugi::xml_node& node, CControlHost* manager);
    CControlUI* MakeControl(const std::wstring& element);
    CControlUI* BuildControl(const pugi::xml_node& node, CControlHost* manager);

    ILayoutBuilderCallback* m_callback = nullptr;
    int m_includeDepth = 0;
    int m_nestingDepth = 0;
};

} // namespace uitk
