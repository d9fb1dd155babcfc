#pragma once

#include <windows.h>

#include <map>
#include <string>

// Where the named controls of one layout of a skin lie, laid out at the
// window's own size: the places a player clicks, taken from the layout
// itself rather than written into the tests.
class WindowLayout {
public:
    // `layoutFile` of the skin that `program` carries; empty when the
    // program has no skin or the layout cannot be built. The toolkit reads
    // its skin files from that skin from then on, in this whole process.
    static WindowLayout OfProgram(const std::wstring& program, const wchar_t* layoutFile = L"DlgMain.xml");

    bool Empty() const { return m_positions.empty(); }
    // The control's rectangle in the window's client area; an empty
    // rectangle for a name the layout does not have.
    RECT Position(const std::wstring& name) const;
    POINT Centre(const std::wstring& name) const;

private:
    std::map<std::wstring, RECT> m_positions;
};
