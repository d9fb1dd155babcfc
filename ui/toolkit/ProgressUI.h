#pragma once

#include "LabelUI.h"

namespace uitk {

// A progress bar: the part from min to value is drawn with the foreground
// image, cropped rather than stretched.
class CProgressUI : public CLabelUI {
public:
    std::wstring GetClass() const override { return L"Progress"; }
    CControlUI* GetInterface(const std::wstring& name) override;
    void SetAttribute(const std::wstring& name, const std::wstring& value) override;

    bool IsHorizontal() const { return m_horizontal; }
    int GetMinValue() const { return m_min; }
    int GetMaxValue() const { return m_max; }
    int GetValue() const { return m_value; }
    void SetMinValue(int value) { m_min = value; Invalidate(); }
    void SetMaxValue(int value) { m_max = value; Invalidate(); }
    // Kept within min and max as they are now.
    void SetValue(int value);
    const std::wstring& GetForeImage() const { return m_foreImage; }
    void SetForeImage(const std::wstring& image) { m_foreImage = image; Invalidate(); }

protected:
    void PaintStatusImage(HDC dc) override;

    bool m_horizontal = true;
    int m_min = 0;
    int m_max = 100;
    int m_value = 0;
    std::wstring m_foreImage;
};

} // namespace uitk
