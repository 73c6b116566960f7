#include "analyser/FFTScreen.h"

#include <algorithm>
#include <cstring>

#include "analyser/ImageDC.h"
#include "platform/ui/msgbox.h"

namespace {

constexpr const char* kMidiOpenFailed = "MIDIデバイスのオープンに失敗しました。";
constexpr COLORREF kRed = RGB(255, 0, 0);

// Key under each pitch row (0 = bottom row), counted on the left keyboard from the top: a white
// key u (< 32), or the black key on the upper edge of white key u - 32. [0] for the key ranges
// that start on C, [1] for those that start on G.
constexpr int kRowKey[2][25] = {
    {14, 46, 13, 45, 12, 11, 43, 10, 42, 9, 41, 8, 7, 39, 6, 38, 5, 4, 36, 3, 35, 2, 34, 1, 0},
    {14, 46, 13, 45, 12, 11, 43, 10, 42, 9, 8, 40, 7, 39, 6, 38, 5, 4, 36, 3, 35, 2, 1, 33, 0},
};

// Key of the Keyboard axis's strip for each of its 49 notes (C2..C6): a white key u counted
// from the left (< 32), or the black key right of white key u - 32.
constexpr int KeyboardStripKey(int key) {
    constexpr int octave[12] = {0, 32, 1, 33, 2, 3, 35, 4, 36, 5, 37, 6};
    return key >= 48 ? 28 : octave[key % 12] + 7 * (key / 12);
}

// Adds to the green and red bytes of a pixel (bytes blue, green, red, unused), limited to 255.
void Brighten(std::uint32_t& p, int green, int red) {
    const int g = std::min(255, static_cast<int>((p >> 8) & 0xFF) + green);
    const int r = std::min(255, static_cast<int>((p >> 16) & 0xFF) + red);
    p = (p & 0xFF0000FFu) | (static_cast<std::uint32_t>(g) << 8) | (static_cast<std::uint32_t>(r) << 16);
}

}  // namespace

BEGIN_MESSAGE_MAP(CFFTScreen, CWnd)
    ON_WM_PAINT()
    ON_WM_LBUTTONDOWN()
    ON_WM_MOUSEMOVE()
    ON_MESSAGE(WM_MOUSELEAVE, &CFFTScreen::OnMouseLeave)
END_MESSAGE_MAP()

CFFTScreen::CFFTScreen() {
    // Until the spectrum view is first set up every axis maps every bin to x 0.
    for (auto& table : m_pnBinX) table.assign(kBins, 0);
    m_pnLogGridX.assign(40, 0);
    m_pnCurBinX = m_pnBinX[0].data();
}

CFFTScreen::~CFFTScreen() {
    CloseMidi();
    m_bitmap.DeleteObject();
}

BOOL CFFTScreen::CreateOver(CWnd* pParent, CWnd* pFrame) {
    if (pParent == nullptr || pFrame == nullptr) return FALSE;
    CRect r;
    pFrame->GetWindowRect(&r);
    r.right = r.left + kWidth;
    r.bottom = r.top + kHeight;
    pParent->ScreenToClient(&r);
    return Create(AfxRegisterWndClass(0, nullptr, nullptr, nullptr), "FFT Screen", WS_CHILD | WS_VISIBLE, r, pParent,
                  kWindowId);
}

void CFFTScreen::EnsureImage() {
    if (!m_bitmap.IsNull()) return;
    CRect rc;
    GetClientRect(&rc);
    // A window not made (yet) still gets an image of the fixed size, so the views can be drawn.
    const int w = rc.Width() > 0 ? rc.Width() : kWidth;
    const int h = rc.Height() > 0 ? rc.Height() : kHeight;
    CClientDC dc(this);
    m_bitmap.CreateCompatibleBitmap(&dc, w, h);
}

// --- Hover, click, paint ---------------------------------------------------------------------------

int CFFTScreen::HoverAt(int x, int y) const {
    // Only points on the plot: the window system keeps sending moves from outside the window
    // while a button is held.
    if (x < 0 || x >= kWidth || y < 0 || y > kPlotH - 1) return -1;
    if (m_nScreenKind == 0) return (kPlotH - 1 - y) / 10;
    if (m_nScreenKind == 1 && m_nAxisMode == 2) return static_cast<int>(static_cast<float>(x) * 0.10840709f);
    return -1;
}

void CFFTScreen::OnMouseMove(UINT, CPoint point) {
    if (m_nMidiProgram < 0) return;
    const int hover = HoverAt(point.x, point.y);
    if (hover != m_nPrevHoverKey) {
        Invalidate(TRUE);
        m_nPrevHoverKey = hover;
    }
    m_nHoverKey = hover;
}

LRESULT CFFTScreen::OnMouseLeave(WPARAM, LPARAM) {
    if (m_nHoverKey >= 0) ClearHover();
    return 0;
}

void CFFTScreen::ClearHover() {
    m_nHoverKey = -1;
    m_nPrevHoverKey = -2;
    Invalidate(TRUE);
}

void CFFTScreen::OnLButtonDown(UINT, CPoint point) {
    if (m_nMidiProgram < 0) return;
    const int at = HoverAt(point.x, point.y);
    if (at < 0) return;
    // MIDI note 36 is C2: the bottom row of the key range C2, the leftmost key of the axis.
    const int note = m_nScreenKind == 0 ? m_nBaseNote + 36 + at : 36 + at;
    m_nMidiNote.store(note);
    m_notes.Play(m_hMidiOut, note, &m_nMidiNote);
}

void CFFTScreen::OnPaint() {
    CPaintDC dc(this);
    if (m_bitmap.IsNull()) return;
    BITMAP bm;
    m_bitmap.GetBitmap(&bm);
    const bool highlight = m_nHoverKey >= 0 && m_nMidiProgram >= 0;
    std::vector<std::uint32_t> untouched;
    if (highlight) {
        // The highlight goes on a copy that the image holds only while it is shown.
        const std::size_t pixels = static_cast<std::size_t>(bm.bmWidth) * static_cast<std::size_t>(bm.bmHeight);
        const DWORD bytes = static_cast<DWORD>(pixels * 4);
        untouched.resize(pixels);
        m_bitmap.GetBitmapBits(bytes, untouched.data());
        std::vector<std::uint32_t> shown = untouched;
        if (m_nScreenKind == 0) LayPitchHighlight(shown.data(), bm.bmWidth, bm.bmHeight);
        else if (m_nAxisMode == 2) LaySpectrumHighlight(shown.data(), bm.bmWidth, bm.bmHeight);
        m_bitmap.SetBitmapBits(bytes, shown.data());
    }
    CDC mem;
    mem.CreateCompatibleDC(&dc);
    CBitmap* old = mem.SelectObject(&m_bitmap);
    CRect rc;
    GetClientRect(&rc);
    dc.BitBlt(0, 0, rc.Width(), rc.Height(), &mem, 0, 0, SRCCOPY);
    mem.SelectObject(old);
    if (highlight) m_bitmap.SetBitmapBits(static_cast<DWORD>(untouched.size() * 4), untouched.data());
}

void CFFTScreen::LayPitchHighlight(std::uint32_t* px, int width, int height) const {
    const int hover = m_nHoverKey;
    if (hover < 0 || hover > 24) return;
    auto at = [&](int x, int y) -> std::uint32_t* {
        return (x >= 0 && y >= 0 && x < width && y < height) ? &px[static_cast<std::size_t>(y) * width + x] : nullptr;
    };
    // The row.
    const int top = (24 - hover) * 10;
    for (int y = top + 1; y <= top + 9; ++y) {
        for (int x = 32; x < width; ++x) {
            if (auto* p = at(x, y)) Brighten(*p, 64, 96);
        }
    }
    // Its key on the keyboard.
    const int u = kRowKey[m_nBaseNote % 12 == 0 ? 0 : 1][hover];
    const std::uint32_t red = platform::ui::Surface::ToPixel(kRed);
    if (u < 32) {
        const int y0 = (u * 240 - 240) / 14 + 10;
        const int from = hover == 24 ? 0 : y0 + 2;
        const int to = hover == 24 ? 8 : y0 + 15;
        for (int y = from; y <= to; ++y) {
            for (int x = 0; x <= 30; ++x) {
                // White and grey pixels turn red; the black keys over the white key stay.
                if (auto* p = at(x, y); p != nullptr && (*p & 0xFF) != 0) *p = red;
            }
        }
    } else {
        const int y0 = ((u - 32) * 240 - 240) / 14 + 10;
        for (int y = y0 - 3; y <= y0 + 4; ++y) {
            for (int x = 0; x <= 18; ++x) {
                if (auto* p = at(x, y)) *p = red;
            }
        }
    }
}

void CFFTScreen::LaySpectrumHighlight(std::uint32_t* px, int width, int height) const {
    const int hover = m_nHoverKey;
    if (hover < 0 || hover > 48) return;
    auto at = [&](int x, int y) -> std::uint32_t* {
        return (x >= 0 && y >= 0 && x < width && y < height) ? &px[static_cast<std::size_t>(y) * width + x] : nullptr;
    };
    // The key's column of the plot.
    const int x0 = hover * 452 / 49;
    const int w = (hover * 452 + 452) / 49 - x0;
    for (int y = 32; y <= 249; ++y) {
        for (int x = x0; x < x0 + w; ++x) {
            if (auto* p = at(x, y)) Brighten(*p, 64, 64);
        }
    }
    // The key on the strip: the white key's white pixels, or the black key's black ones.
    const std::uint32_t red = platform::ui::Surface::ToPixel(kRed);
    const std::uint32_t white = platform::ui::Surface::ToPixel(RGB(255, 255, 255));
    const int u = KeyboardStripKey(hover);
    if (u < 32) {
        const int kx = hover > 47 ? 445 : u * 443 / 28 + 2;
        const int kw = hover > 47 ? 7 : 13;
        for (int y = 0; y <= 30; ++y) {
            for (int x = kx; x < kx + kw; ++x) {
                if (auto* p = at(x, y); p != nullptr && (*p & 0xFFFFFF) == white) *p = red;
            }
        }
    } else {
        const int kx = (u - 32 + 1) * 443 / 28 - 4;
        for (int y = 0; y <= 18; ++y) {
            for (int x = kx; x < kx + 9; ++x) {
                if (auto* p = at(x, y); p != nullptr && (*p & 0xFFFFFF) == 0) *p = red;
            }
        }
    }
}

// --- MIDI ------------------------------------------------------------------------------------------

void CFFTScreen::SetMidiProgram(int program) {
    if (program < -1 || program > 127) program = -1;
    m_nMidiProgram = program;
    if (program < 0) return;
    if (m_hMidiOut == nullptr) {
        HMIDIOUT out = nullptr;
        if (midiOutOpen(&out, MIDI_MAPPER, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
            AfxMessageBox(kMidiOpenFailed);
            m_hMidiOut = nullptr;
            m_nMidiProgram = -1;
            return;
        }
        m_hMidiOut = out;
        // GM System On; the output takes a long message whole before it returns.
        char gmOn[6] = {'\xF0', '\x7E', '\x7F', '\x09', '\x01', '\xF7'};
        MIDIHDR hdr{};
        hdr.lpData = gmOn;
        hdr.dwBufferLength = sizeof gmOn;
        hdr.dwBytesRecorded = sizeof gmOn;
        midiOutPrepareHeader(m_hMidiOut, &hdr, sizeof hdr);
        midiOutLongMsg(m_hMidiOut, &hdr, sizeof hdr);
        midiOutUnprepareHeader(m_hMidiOut, &hdr, sizeof hdr);
    }
    midiOutShortMsg(m_hMidiOut, 0xC0u | (static_cast<DWORD>(program) << 8));
}

void CFFTScreen::CloseMidi() {
    // Sounding notes end before the output goes; the player's thread is joined.
    m_notes.Stop();
    if (m_hMidiOut != nullptr) {
        midiOutClose(m_hMidiOut);
        m_hMidiOut = nullptr;
    }
}
