// A memory device context over the analyser's image for one drawing operation.
#pragma once

#include "analyser/FFTScreen.h"

class CFFTScreen::ImageDC : public CDC {
public:
    // repaint: the window shows the new image when the operation ends.
    ImageDC(CFFTScreen& screen, bool repaint) : m_screen(screen), m_repaint(repaint) {
        CreateCompatibleDC(nullptr);
        m_pOld = SelectObject(&screen.m_bitmap);
    }
    ~ImageDC() override {
        SelectObject(m_pOld);
        DeleteDC();
        if (m_repaint) m_screen.Invalidate(TRUE);
    }

private:
    CFFTScreen& m_screen;
    bool m_repaint;
    CBitmap* m_pOld = nullptr;
};
