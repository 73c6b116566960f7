#include "platform/ui/gdi.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>

#include "platform/ui/restypes.h"
#include "platform/ui/windowsystem.h"
#include "platform/ui/wnd.h"

using platform::ui::GetWindowSystem;
using platform::ui::Surface;

namespace platform::ui {

Surface::Surface(int width, int height, COLORREF fill)
    : m_width(std::max(0, width)), m_height(std::max(0, height)),
      m_pixels(static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height), ToPixel(fill)) {}

COLORREF Surface::GetPixel(int x, int y) const {
    if (!Contains(x, y)) return CLR_INVALID;
    return FromPixel(m_pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width) + static_cast<std::size_t>(x)]);
}

void Surface::SetPixel(int x, int y, COLORREF c) {
    if (!Contains(x, y)) return;
    m_pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width) + static_cast<std::size_t>(x)] = ToPixel(c);
}

void Surface::Fill(const RECT& r, COLORREF c) {
    const int l = std::max<int>(0, r.left);
    const int t = std::max<int>(0, r.top);
    const int rr = std::min<int>(m_width, r.right);
    const int b = std::min<int>(m_height, r.bottom);
    if (l >= rr || t >= b) return;
    const std::uint32_t px = ToPixel(c);
    for (int y = t; y < b; ++y) {
        std::uint32_t* row = m_pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width);
        std::fill(row + l, row + rr, px);
    }
}

void Surface::Resize(int width, int height, COLORREF fill) {
    m_width = std::max(0, width);
    m_height = std::max(0, height);
    m_pixels.assign(static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height), ToPixel(fill));
    ++m_generation;
}

int FontSpec::EmPixels(double cellPerEm) const {
    if (height < 0) return -height;
    if (height == 0) return 12;
    const double em = static_cast<double>(height) / (cellPerEm > 0.0 ? cellPerEm : 1.0);
    return std::max(1, static_cast<int>(std::lround(em)));
}

std::string MapFontFace(const std::string& face) {
    auto has = [&face](const char* part) { return face.find(part) != std::string::npos; };
    std::string lower = face;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    auto lowerHas = [&lower](const char* part) { return lower.find(part) != std::string::npos; };
    const bool mincho = has("明朝") || lowerHas("mincho");
    // Proportional faces: "MS UI Gothic", "MS PGothic", "ＭＳ Ｐゴシック", "MS P明朝".
    const bool proportional = lowerHas("ui gothic") || lowerHas("pgothic") || lowerHas("pmincho") ||
                              has("Ｐ") || lowerHas("ms p");
    const bool gothic = has("ゴシック") || lowerHas("gothic");
    if (mincho) return proportional ? "IPAPMincho" : "IPAMincho";
    if (gothic) return proportional ? "IPAPGothic" : "IPAGothic";
    // Every other face (dialog shell faces, system fonts) gets the proportional Japanese Gothic,
    // so that Japanese text always renders.
    return "IPAPGothic";
}

namespace {
std::mutex g_textSinkMutex;
std::deque<TextJob> g_textSink;
constexpr std::size_t kTextSinkLimit = 10000;
}  // namespace

std::vector<TextJob> TakeHeadlessTextDraws() {
    std::lock_guard<std::mutex> lock(g_textSinkMutex);
    std::vector<TextJob> out(g_textSink.begin(), g_textSink.end());
    g_textSink.clear();
    return out;
}

}  // namespace platform::ui

COLORREF GetSysColor(int nIndex) {
    if (auto* ws = GetWindowSystem()) {
        const COLORREF c = ws->SysColor(nIndex);
        if (c != CLR_INVALID) return c;
    }
    switch (nIndex) {
    case COLOR_BTNFACE: return RGB(240, 240, 240);
    case COLOR_BTNSHADOW: return RGB(160, 160, 160);
    case COLOR_GRAYTEXT: return RGB(109, 109, 109);
    case COLOR_BTNHIGHLIGHT: return RGB(255, 255, 255);
    case COLOR_WINDOW: return RGB(255, 255, 255);
    case COLOR_WINDOWTEXT:
    case COLOR_BTNTEXT:
    default: return RGB(0, 0, 0);
    }
}

int GetSystemMetrics(int nIndex) {
    switch (nIndex) {
    case SM_CXICON:
    case SM_CYICON: return 32;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    default: return 0;
    }
}

// --- Pens, brushes, fonts ------------------------------------------------------------------------

BOOL CPen::CreatePen(int nPenStyle, int nWidth, COLORREF crColor) {
    m_nStyle = nPenStyle;
    m_nWidth = std::max(1, nWidth);
    m_color = crColor;
    return TRUE;
}

BOOL CBrush::CreateSolidBrush(COLORREF crColor) {
    m_bNull = false;
    m_color = crColor;
    return TRUE;
}

BOOL CFont::CreateFont(int nHeight, int, int, int, int nWeight, BYTE bItalic, BYTE, BYTE, BYTE, BYTE, BYTE, BYTE, BYTE,
                       const char* lpszFacename) {
    m_spec.height = nHeight;
    m_spec.weight = nWeight == 0 ? FW_NORMAL : nWeight;
    m_spec.italic = bItalic != 0;
    m_spec.face = lpszFacename ? lpszFacename : "";
    m_bCreated = true;
    return TRUE;
}

BOOL CFont::CreatePointFont(int nPointSize, const char* lpszFaceName, CDC*) {
    // Tenths of a point at 96 pixels per inch, rounded, as a character height.
    const int pixels = (nPointSize * 96 + 360) / 720;
    return CreateFont(-pixels, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, lpszFaceName);
}

// --- Bitmaps and icons ---------------------------------------------------------------------------

BOOL CBitmap::CreateCompatibleBitmap(CDC*, int nWidth, int nHeight) { return CreateBitmap(nWidth, nHeight); }

BOOL CBitmap::CreateBitmap(int nWidth, int nHeight) {
    if (m_surface || nWidth <= 0 || nHeight <= 0) return FALSE;
    m_surface = std::make_shared<Surface>(nWidth, nHeight, RGB(0, 0, 0));
    return TRUE;
}

BOOL CBitmap::LoadBitmap(UINT nIDResource) {
    if (m_surface) return FALSE;
    m_surface = resources::MakeBitmap(nIDResource);
    if (!m_surface) return FALSE;
    m_nResourceId = nIDResource;
    return TRUE;
}

BOOL CBitmap::DeleteObject() {
    if (!m_surface) return FALSE;
    m_surface.reset();
    m_nResourceId = 0;
    return TRUE;
}

int CBitmap::GetBitmap(BITMAP* pBitMap) const {
    if (pBitMap == nullptr || !m_surface) return 0;
    pBitMap->bmType = 0;
    pBitMap->bmWidth = m_surface->Width();
    pBitMap->bmHeight = m_surface->Height();
    pBitMap->bmWidthBytes = m_surface->BytesPerRow();
    pBitMap->bmPlanes = 1;
    pBitMap->bmBitsPixel = 32;
    pBitMap->bmBits = nullptr;
    return static_cast<int>(sizeof(BITMAP));
}

DWORD CBitmap::GetBitmapBits(DWORD dwCount, void* lpBits) const {
    if (!m_surface || lpBits == nullptr) return 0;
    const std::size_t total = static_cast<std::size_t>(m_surface->BytesPerRow()) * static_cast<std::size_t>(m_surface->Height());
    const std::size_t n = std::min<std::size_t>(dwCount, total);
    std::memcpy(lpBits, m_surface->Pixels(), n);
    return static_cast<DWORD>(n);
}

DWORD CBitmap::SetBitmapBits(DWORD dwCount, const void* lpBits) {
    if (!m_surface || lpBits == nullptr) return 0;
    const std::size_t total = static_cast<std::size_t>(m_surface->BytesPerRow()) * static_cast<std::size_t>(m_surface->Height());
    const std::size_t n = std::min<std::size_t>(dwCount, total);
    std::memcpy(m_surface->Pixels(), lpBits, n);
    m_surface->Touch();
    return static_cast<DWORD>(n);
}

CSize CBitmap::GetBitmapDimension() const {
    if (!m_surface) return CSize(0, 0);
    return CSize(m_surface->Width(), m_surface->Height());
}

HICON LoadIconResource(UINT nID) {
    static std::mutex mutex;
    static std::map<UINT, std::unique_ptr<IconImage>> icons;
    std::lock_guard<std::mutex> lock(mutex);
    auto it = icons.find(nID);
    if (it != icons.end()) return it->second.get();
    auto big = resources::MakeIcon(nID, 32);
    if (!big) return nullptr;
    auto icon = std::make_unique<IconImage>();
    icon->id = nID;
    icon->big = big;
    icon->small = resources::MakeIcon(nID, 16);
    HICON h = icon.get();
    icons.emplace(nID, std::move(icon));
    return h;
}

// --- Device contexts -----------------------------------------------------------------------------

CDC::~CDC() = default;

BOOL CDC::CreateCompatibleDC(CDC*) {
    m_bMemory = true;
    m_surface.reset();
    m_pBitmap = nullptr;
    return TRUE;
}

BOOL CDC::DeleteDC() {
    m_surface.reset();
    m_pBitmap = nullptr;
    return TRUE;
}

void CDC::AttachWindow(CWnd* pWnd) {
    m_pWnd = pWnd;
    if (pWnd == nullptr) return;
    m_surface = pWnd->ClientSurfacePtr();
    m_defaultFont.CreateFont(pWnd->GetFontSpec().height, 0, 0, 0, pWnd->GetFontSpec().weight, 0, 0, 0, 0, 0, 0, 0, 0,
                             pWnd->GetFontSpec().face.c_str());
}

void CDC::DetachWindow() {
    if (m_pWnd != nullptr && m_surface && !m_drawn.IsRectEmpty()) {
        if (auto* ws = GetWindowSystem(); ws != nullptr && m_pWnd->HasWindow()) ws->Repaint(m_pWnd, &m_drawn);
    }
    m_pWnd = nullptr;
    m_surface.reset();
    m_drawn = CRect();
}

void CDC::Changed(const RECT& area) {
    if (!m_surface) return;
    m_surface->Touch();
    if (m_pWnd == nullptr || area.right <= area.left || area.bottom <= area.top) return;
    if (m_drawn.IsRectEmpty()) {
        m_drawn = area;
    } else {
        m_drawn = CRect(std::min(m_drawn.left, area.left), std::min(m_drawn.top, area.top),
                        std::max(m_drawn.right, area.right), std::max(m_drawn.bottom, area.bottom));
    }
}

CBitmap* CDC::SelectObject(CBitmap* pBitmap) {
    CBitmap* old = m_pBitmap;
    if (!m_bMemory) return nullptr;
    m_pBitmap = pBitmap;
    m_surface = pBitmap ? pBitmap->SurfacePtr() : nullptr;
    return old;
}

CPen* CDC::SelectObject(CPen* pPen) {
    CPen* old = m_pPen;
    m_pPen = pPen ? pPen : &m_defaultPen;
    return old;
}

CBrush* CDC::SelectObject(CBrush* pBrush) {
    CBrush* old = m_pBrush;
    m_pBrush = pBrush ? pBrush : &m_defaultBrush;
    return old;
}

CFont* CDC::SelectObject(CFont* pFont) {
    CFont* old = m_pFont;
    m_pFont = pFont ? pFont : &m_defaultFont;
    return old;
}

void CDC::FillSolidRect(const RECT* lpRect, COLORREF clr) {
    m_bkColor = clr;  // filling uses (and leaves) the background colour, as on the desktop platform
    if (!m_surface || lpRect == nullptr) return;
    m_surface->Fill(*lpRect, clr);
    Changed(*lpRect);
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF clr) {
    const CRect r(x, y, x + cx, y + cy);
    FillSolidRect(&r, clr);
}

void CDC::FillRect(const RECT* lpRect, CBrush* pBrush) {
    if (!m_surface || lpRect == nullptr || pBrush == nullptr || pBrush->m_bNull) return;
    m_surface->Fill(*lpRect, pBrush->m_color);
    Changed(*lpRect);
}

BOOL CDC::Rectangle(int x1, int y1, int x2, int y2) {
    if (!m_surface) return FALSE;
    const bool pen = m_pPen->m_nStyle != PS_NULL;
    if (!m_pBrush->m_bNull) {
        const CRect inside = pen ? CRect(x1 + 1, y1 + 1, x2 - 1, y2 - 1) : CRect(x1, y1, x2 - 1, y2 - 1);
        m_surface->Fill(inside, m_pBrush->m_color);
    }
    if (pen) {
        const CPoint keep = m_current;
        MoveTo(x1, y1);
        LineTo(x2 - 1, y1);
        LineTo(x2 - 1, y2 - 1);
        LineTo(x1, y2 - 1);
        LineTo(x1, y1);
        m_current = keep;
    }
    Changed(CRect(x1, y1, x2, y2));
    return TRUE;
}

CPoint CDC::MoveTo(int x, int y) {
    const CPoint old = m_current;
    m_current = CPoint(x, y);
    return old;
}

void CDC::PlotPen(int x, int y) {
    const int w = m_pPen->m_nWidth;
    if (w <= 1) {
        m_surface->SetPixel(x, y, m_pPen->m_color);
        return;
    }
    const int half = w / 2;
    m_surface->Fill(CRect(x - half, y - half, x - half + w, y - half + w), m_pPen->m_color);
}

BOOL CDC::LineTo(int x, int y) {
    const int x0 = m_current.x;
    const int y0 = m_current.y;
    m_current = CPoint(x, y);
    if (!m_surface || m_pPen->m_nStyle == PS_NULL) return TRUE;
    // Bresenham from the current point; the end point is not drawn.
    int dx = std::abs(x - x0);
    int dy = -std::abs(y - y0);
    const int sx = x0 < x ? 1 : -1;
    const int sy = y0 < y ? 1 : -1;
    int err = dx + dy;
    int px = x0;
    int py = y0;
    while (px != x || py != y) {
        PlotPen(px, py);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            px += sx;
        }
        if (e2 <= dx) {
            err += dx;
            py += sy;
        }
    }
    // The pen's square reaches half its width around each point drawn.
    const int reach = std::max(1, m_pPen->m_nWidth);
    Changed(CRect(std::min(x0, x) - reach, std::min(y0, y) - reach, std::max(x0, x) + reach, std::max(y0, y) + reach));
    return TRUE;
}

COLORREF CDC::SetPixel(int x, int y, COLORREF crColor) {
    if (!m_surface || !m_surface->Contains(x, y)) return static_cast<COLORREF>(-1);
    m_surface->SetPixel(x, y, crColor);
    Changed(CRect(x, y, x + 1, y + 1));
    return crColor;
}

COLORREF CDC::GetPixel(int x, int y) const {
    if (!m_surface) return CLR_INVALID;
    return m_surface->GetPixel(x, y);
}

COLORREF CDC::SetTextColor(COLORREF crColor) {
    const COLORREF old = m_textColor;
    m_textColor = crColor;
    return old;
}

COLORREF CDC::SetBkColor(COLORREF crColor) {
    const COLORREF old = m_bkColor;
    m_bkColor = crColor;
    return old;
}

int CDC::SetBkMode(int nBkMode) {
    const int old = m_bkMode;
    m_bkMode = nBkMode;
    return old;
}

UINT CDC::SetTextAlign(UINT nFlags) {
    const UINT old = m_textAlign;
    m_textAlign = nFlags;
    return old;
}

BOOL CDC::TextOut(int x, int y, const std::string& text) {
    platform::ui::TextJob job;
    job.x = x;
    job.y = y;
    job.text = text;
    job.font = m_pFont->Spec();
    job.color = m_textColor;
    job.bkColor = m_bkColor;
    job.bkMode = m_bkMode;
    job.align = m_textAlign;
    if (auto* ws = GetWindowSystem()) {
        if (!m_surface) return FALSE;
        const SIZE size = ws->DrawText(m_surface.get(), job);
        // Wherever the alignment puts the text, it lies within its size around the point.
        Changed(CRect(x - size.cx - 1, y - size.cy - 1, x + size.cx + 1, y + size.cy + 1));
        return TRUE;
    }
    std::lock_guard<std::mutex> lock(platform::ui::g_textSinkMutex);
    platform::ui::g_textSink.push_back(std::move(job));
    if (platform::ui::g_textSink.size() > platform::ui::kTextSinkLimit) platform::ui::g_textSink.pop_front();
    return TRUE;
}

CSize CDC::GetTextExtent(const std::string& text) const {
    platform::ui::TextJob job;
    job.text = text;
    job.font = m_pFont->Spec();
    if (auto* ws = GetWindowSystem()) {
        const SIZE s = ws->DrawText(nullptr, job);
        return CSize(s.cx, s.cy);
    }
    // Without a rasteriser: half an em for each single-byte character, a full em for others.
    const int em = job.font.EmPixels(1.0);
    int width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        width += len == 1 ? em / 2 : em;
        i += len;
    }
    return CSize(width, em);
}

BOOL CDC::DrawIcon(int x, int y, HICON hIcon) {
    if (!m_surface || hIcon == nullptr || !hIcon->big) return FALSE;
    const Surface& src = *hIcon->big;
    const std::uint32_t transparent = Surface::ToPixel(RGB(255, 0, 255));
    for (int sy = 0; sy < src.Height(); ++sy) {
        for (int sx = 0; sx < src.Width(); ++sx) {
            const std::uint32_t p = src.Pixels()[static_cast<std::size_t>(sy) * static_cast<std::size_t>(src.Width()) + static_cast<std::size_t>(sx)];
            if ((p & 0x00FFFFFFu) != transparent) m_surface->SetPixel(x + sx, y + sy, Surface::FromPixel(p));
        }
    }
    Changed(CRect(x, y, x + src.Width(), y + src.Height()));
    return TRUE;
}

BOOL CDC::BitBlt(int x, int y, int nWidth, int nHeight, CDC* pSrcDC, int xSrc, int ySrc, DWORD) {
    if (!m_surface || pSrcDC == nullptr || pSrcDC->m_surface == nullptr) return FALSE;
    const Surface& src = *pSrcDC->m_surface;
    // Clip against both surfaces.
    int sx = xSrc, sy = ySrc, dx = x, dy = y, w = nWidth, h = nHeight;
    if (sx < 0) { dx -= sx; w += sx; sx = 0; }
    if (sy < 0) { dy -= sy; h += sy; sy = 0; }
    if (dx < 0) { sx -= dx; w += dx; dx = 0; }
    if (dy < 0) { sy -= dy; h += dy; dy = 0; }
    w = std::min({w, src.Width() - sx, m_surface->Width() - dx});
    h = std::min({h, src.Height() - sy, m_surface->Height() - dy});
    if (w <= 0 || h <= 0) return TRUE;
    std::vector<std::uint32_t> rows(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    for (int r = 0; r < h; ++r) {
        const std::uint32_t* from = src.Pixels() + static_cast<std::size_t>(sy + r) * static_cast<std::size_t>(src.Width()) + static_cast<std::size_t>(sx);
        std::copy(from, from + w, rows.begin() + static_cast<std::ptrdiff_t>(r) * w);
    }
    for (int r = 0; r < h; ++r) {
        std::uint32_t* to = m_surface->Pixels() + static_cast<std::size_t>(dy + r) * static_cast<std::size_t>(m_surface->Width()) + static_cast<std::size_t>(dx);
        std::copy(rows.begin() + static_cast<std::ptrdiff_t>(r) * w, rows.begin() + static_cast<std::ptrdiff_t>(r + 1) * w, to);
    }
    Changed(CRect(dx, dy, dx + w, dy + h));
    return TRUE;
}

CClientDC::CClientDC(CWnd* pWnd) { AttachWindow(pWnd); }
CClientDC::~CClientDC() { DetachWindow(); }

CPaintDC::CPaintDC(CWnd* pWnd) { AttachWindow(pWnd); }
CPaintDC::~CPaintDC() { DetachWindow(); }

// --- Images --------------------------------------------------------------------------------------

BOOL CImage::Create(int nWidth, int nHeight, int nBPP) {
    if (!IsNull() || (nBPP != 24 && nBPP != 32)) return FALSE;
    // A negative height asks for rows top-down, which is how every image here is kept.
    if (!m_bitmap.CreateBitmap(nWidth, std::abs(nHeight))) return FALSE;
    m_nBPP = nBPP;
    return TRUE;
}

void CImage::Destroy() {
    ReleaseDC();
    m_bitmap.DeleteObject();
    m_nBPP = 0;
}

int CImage::GetWidth() const { return m_bitmap.SurfacePtr() ? m_bitmap.SurfacePtr()->Width() : 0; }
int CImage::GetHeight() const { return m_bitmap.SurfacePtr() ? m_bitmap.SurfacePtr()->Height() : 0; }

HDC CImage::GetDC() {
    if (IsNull()) return nullptr;
    if (!m_dc) {
        m_dc = std::make_unique<CDC>();
        m_dc->CreateCompatibleDC(nullptr);
        m_pOld = m_dc->SelectObject(&m_bitmap);
    }
    return m_dc.get();
}

void CImage::ReleaseDC() {
    if (!m_dc) return;
    m_dc->SelectObject(m_pOld);
    m_dc.reset();
    m_pOld = nullptr;
}

BOOL CImage::BitBlt(HDC hDestDC, int xDest, int yDest, DWORD dwROP) {
    if (IsNull() || hDestDC == nullptr) return FALSE;
    CDC src;
    src.CreateCompatibleDC(nullptr);
    src.SelectObject(&m_bitmap);
    return hDestDC->BitBlt(xDest, yDest, GetWidth(), GetHeight(), &src, 0, 0, dwROP);
}
