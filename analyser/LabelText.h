// The analyser's label text on a device context: the Japanese Gothic face at a point size, the
// system's button-text colour, centred on the given x with its top at the given y, drawn over
// what is there. The context's font comes back when the object goes.
#pragma once

#include "platform/ui/gdi.h"

class CLabelText {
public:
    CLabelText(CDC& dc, int points) : m_dc(dc) {
        m_font.CreatePointFont(points * 10, "ＭＳゴシック");
        m_pOld = dc.SelectObject(&m_font);
        dc.SetTextColor(GetSysColor(COLOR_BTNTEXT));
        dc.SetTextAlign(TA_CENTER);
        dc.SetBkMode(TRANSPARENT);
    }
    ~CLabelText() { m_dc.SelectObject(m_pOld); }
    CLabelText(const CLabelText&) = delete;
    CLabelText& operator=(const CLabelText&) = delete;

private:
    CDC& m_dc;
    CFont m_font;
    CFont* m_pOld = nullptr;
};
