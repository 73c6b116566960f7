// Drawing: colours, rectangles, pens, brushes, fonts, memory bitmaps and device contexts.
//
// Every drawing target is a Surface: 32-bit pixels whose bytes are blue, green, red and one
// unused byte (0 when written here). Rectangles, lines, pixels and bitmap copies are done here
// in plain C++, so images drawn without any window system are exact and testable. Text needs a
// font rasteriser: the window system supplies one (platform::ui::WindowSystem::DrawText); without
// one, text drawing is recorded in a headless sink instead of being rasterised.
//
// Threads: a surface and the objects that draw on it belong to the user-interface thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/types.h"

using COLORREF = DWORD;
constexpr COLORREF RGB(int r, int g, int b) {
    return static_cast<COLORREF>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int GetRValue(COLORREF c) { return static_cast<int>(c & 0xFF); }
constexpr int GetGValue(COLORREF c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int GetBValue(COLORREF c) { return static_cast<int>((c >> 16) & 0xFF); }
inline constexpr COLORREF CLR_INVALID = 0xFFFFFFFFu;

struct POINT {
    LONG x = 0;
    LONG y = 0;
};
struct SIZE {
    LONG cx = 0;
    LONG cy = 0;
};
struct RECT {
    LONG left = 0;
    LONG top = 0;
    LONG right = 0;
    LONG bottom = 0;
};
using LPRECT = RECT*;
using LPCRECT = const RECT*;
using LPPOINT = POINT*;

class CPoint : public POINT {
public:
    CPoint() = default;
    CPoint(int px, int py) { x = px; y = py; }
    CPoint(const POINT& p) : POINT(p) {}
    bool operator==(const CPoint& o) const { return x == o.x && y == o.y; }
};

class CSize : public SIZE {
public:
    CSize() = default;
    CSize(int w, int h) { cx = w; cy = h; }
};

class CRect : public RECT {
public:
    CRect() = default;
    CRect(int l, int t, int r, int b) { left = l; top = t; right = r; bottom = b; }
    CRect(const RECT& r) : RECT(r) {}
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsRectEmpty() const { return right <= left || bottom <= top; }
    bool PtInRect(POINT p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
    void OffsetRect(int dx, int dy) { left += dx; right += dx; top += dy; bottom += dy; }
    operator LPRECT() { return this; }
    operator LPCRECT() const { return this; }
    bool operator==(const CRect& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};

// System colours that the program asks for.
inline constexpr int COLOR_WINDOW = 5;
inline constexpr int COLOR_WINDOWTEXT = 8;
inline constexpr int COLOR_BTNFACE = 15;
inline constexpr int COLOR_BTNSHADOW = 16;
inline constexpr int COLOR_GRAYTEXT = 17;
inline constexpr int COLOR_BTNTEXT = 18;
inline constexpr int COLOR_BTNHIGHLIGHT = 20;
// The colour of a system element; the window system may set them from its palette.
COLORREF GetSysColor(int nIndex);

inline constexpr int SM_CXICON = 11;
inline constexpr int SM_CYICON = 12;
inline constexpr int SM_CXSMICON = 49;
inline constexpr int SM_CYSMICON = 50;
int GetSystemMetrics(int nIndex);

// Pen styles, background modes, text alignment, raster operation.
inline constexpr int PS_SOLID = 0;
inline constexpr int PS_NULL = 5;
inline constexpr int TRANSPARENT = 1;
inline constexpr int OPAQUE = 2;
inline constexpr UINT TA_LEFT = 0;
inline constexpr UINT TA_TOP = 0;
inline constexpr UINT TA_RIGHT = 2;
inline constexpr UINT TA_CENTER = 6;
inline constexpr UINT TA_BOTTOM = 8;
inline constexpr UINT TA_BASELINE = 24;
inline constexpr DWORD SRCCOPY = 0x00CC0020;

// Font weights and qualities (the quality is kept but text is always drawn without smoothing
// artefacts of its own choosing; the window system decides).
inline constexpr int FW_NORMAL = 400;
inline constexpr int FW_BOLD = 700;
inline constexpr BYTE DEFAULT_CHARSET = 1;
inline constexpr BYTE SHIFTJIS_CHARSET = 128;
inline constexpr BYTE ANSI_CHARSET = 0;
inline constexpr BYTE OUT_DEFAULT_PRECIS = 0;
inline constexpr BYTE CLIP_DEFAULT_PRECIS = 0;
inline constexpr BYTE DEFAULT_QUALITY = 0;
inline constexpr BYTE PROOF_QUALITY = 2;
inline constexpr BYTE DEFAULT_PITCH = 0;
inline constexpr BYTE FIXED_PITCH = 1;
inline constexpr BYTE FF_DONTCARE = 0;

namespace platform::ui {

// 32-bit pixels, rows top-down, bytes blue, green, red, unused.
class Surface {
public:
    Surface(int width, int height, COLORREF fill = RGB(0, 0, 0));
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    // Pixel as 0x00RRGGBB (stored little-endian, so the bytes are blue, green, red, 0).
    std::uint32_t* Pixels() { return m_pixels.data(); }
    const std::uint32_t* Pixels() const { return m_pixels.data(); }
    int BytesPerRow() const { return m_width * 4; }
    bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < m_width && y < m_height; }
    COLORREF GetPixel(int x, int y) const;  // CLR_INVALID outside
    void SetPixel(int x, int y, COLORREF c);
    void Fill(const RECT& r, COLORREF c);  // clipped to the surface
    void Resize(int width, int height, COLORREF fill);
    // Counts changes, so that a window system knows when to show the surface again.
    unsigned Generation() const { return m_generation; }
    void Touch() { ++m_generation; }

    static std::uint32_t ToPixel(COLORREF c) {
        return static_cast<std::uint32_t>((GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c));
    }
    static COLORREF FromPixel(std::uint32_t p) {
        return RGB(static_cast<int>((p >> 16) & 0xFF), static_cast<int>((p >> 8) & 0xFF), static_cast<int>(p & 0xFF));
    }

private:
    int m_width;
    int m_height;
    std::vector<std::uint32_t> m_pixels;
    unsigned m_generation = 0;
};

// A logical font: the desktop platform's font description.
struct FontSpec {
    int height = 0;  // < 0: character height in pixels; > 0: cell height in pixels; 0: default (12)
    int weight = FW_NORMAL;
    bool italic = false;
    std::string face;
    // The pixel size of the em for this description, given the face's cell-to-em ratio.
    int EmPixels(double cellPerEm) const;
};

// Installed family that stands in for a face the program names (Japanese Gothic faces of the
// desktop platform map to the IPA Gothic faces, proportional or fixed as the original).
std::string MapFontFace(const std::string& face);

// One text drawing request, handed to the window system's rasteriser.
struct TextJob {
    int x = 0;
    int y = 0;
    std::string text;
    FontSpec font;
    COLORREF color = RGB(0, 0, 0);
    COLORREF bkColor = RGB(255, 255, 255);
    int bkMode = OPAQUE;
    UINT align = TA_LEFT | TA_TOP;
};

// Text drawn while no window system was present (headless runs keep them for inspection).
std::vector<TextJob> TakeHeadlessTextDraws();

}  // namespace platform::ui

class CDC;

// Base of the objects a device context can select.
class CGdiObject {
public:
    CGdiObject() = default;
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;
    virtual ~CGdiObject() = default;
};

class CPen : public CGdiObject {
public:
    CPen() = default;
    CPen(int nPenStyle, int nWidth, COLORREF crColor) { CreatePen(nPenStyle, nWidth, crColor); }
    BOOL CreatePen(int nPenStyle, int nWidth, COLORREF crColor);
    int m_nStyle = PS_SOLID;
    int m_nWidth = 1;
    COLORREF m_color = RGB(0, 0, 0);
};

class CBrush : public CGdiObject {
public:
    CBrush() = default;
    explicit CBrush(COLORREF crColor) { CreateSolidBrush(crColor); }
    BOOL CreateSolidBrush(COLORREF crColor);
    bool m_bNull = true;
    COLORREF m_color = RGB(255, 255, 255);
};
using HBRUSH = CBrush*;

class CFont : public CGdiObject {
public:
    BOOL CreateFont(int nHeight, int nWidth, int nEscapement, int nOrientation, int nWeight, BYTE bItalic,
                    BYTE bUnderline, BYTE cStrikeOut, BYTE nCharSet, BYTE nOutPrecision, BYTE nClipPrecision,
                    BYTE nQuality, BYTE nPitchAndFamily, const char* lpszFacename);
    // nPointSize in tenths of a point, converted at 96 pixels per inch.
    BOOL CreatePointFont(int nPointSize, const char* lpszFaceName, CDC* pDC = nullptr);
    const platform::ui::FontSpec& Spec() const { return m_spec; }
    bool IsCreated() const { return m_bCreated; }

private:
    platform::ui::FontSpec m_spec;
    bool m_bCreated = false;
};
using HFONT = CFont*;

struct BITMAP {
    LONG bmType = 0;
    LONG bmWidth = 0;
    LONG bmHeight = 0;
    LONG bmWidthBytes = 0;
    WORD bmPlanes = 1;
    WORD bmBitsPixel = 32;
    void* bmBits = nullptr;
};

// A memory bitmap of 32-bit blue-green-red-unused pixels.
class CBitmap : public CGdiObject {
public:
    BOOL CreateCompatibleBitmap(CDC* pDC, int nWidth, int nHeight);
    BOOL CreateBitmap(int nWidth, int nHeight);
    // Loads a bitmap resource of the program.
    BOOL LoadBitmap(UINT nIDResource);
    BOOL DeleteObject();
    int GetBitmap(BITMAP* pBitMap) const;
    // Copies up to dwCount bytes of the pixels (rows top-down); returns the bytes copied.
    DWORD GetBitmapBits(DWORD dwCount, void* lpBits) const;
    DWORD SetBitmapBits(DWORD dwCount, const void* lpBits);
    CSize GetBitmapDimension() const;
    bool IsNull() const { return !m_surface; }
    CBitmap* GetSafeHandle() { return m_surface ? this : nullptr; }
    operator CBitmap*() { return GetSafeHandle(); }
    const std::shared_ptr<platform::ui::Surface>& SurfacePtr() const { return m_surface; }
    UINT ResourceId() const { return m_nResourceId; }

private:
    std::shared_ptr<platform::ui::Surface> m_surface;
    UINT m_nResourceId = 0;
};
using HBITMAP = CBitmap*;

// An icon: one image per size (32 × 32 and 16 × 16).
struct IconImage {
    UINT id = 0;
    std::shared_ptr<platform::ui::Surface> big;
    std::shared_ptr<platform::ui::Surface> small;
};
using HICON = const IconImage*;
// The program's icon resource, made once and kept for the program's life; null when unknown.
HICON LoadIconResource(UINT nID);

class CWnd;

// A device context: drawing state (pen, brush, font, text colours, current point) over a
// surface: a window's client area or a selected memory bitmap.
class CDC {
public:
    CDC() = default;
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;
    virtual ~CDC();

    static CDC* FromHandle(CDC* h) { return h; }
    CDC* GetSafeHdc() { return this; }
    operator CDC*() { return this; }

    BOOL CreateCompatibleDC(CDC* pDC);
    BOOL DeleteDC();

    CBitmap* SelectObject(CBitmap* pBitmap);
    CPen* SelectObject(CPen* pPen);
    CBrush* SelectObject(CBrush* pBrush);
    CFont* SelectObject(CFont* pFont);

    void FillSolidRect(const RECT* lpRect, COLORREF clr);
    void FillSolidRect(int x, int y, int cx, int cy, COLORREF clr);
    void FillRect(const RECT* lpRect, CBrush* pBrush);
    // Outline with the pen, inside filled with the brush; right and bottom edges excluded.
    BOOL Rectangle(int x1, int y1, int x2, int y2);
    BOOL Rectangle(const RECT* lpRect) { return Rectangle(lpRect->left, lpRect->top, lpRect->right, lpRect->bottom); }
    CPoint MoveTo(int x, int y);
    // A line from the current point with the pen; the end point itself is not drawn.
    BOOL LineTo(int x, int y);
    CPoint GetCurrentPosition() const { return m_current; }
    COLORREF SetPixel(int x, int y, COLORREF crColor);
    COLORREF GetPixel(int x, int y) const;

    COLORREF SetTextColor(COLORREF crColor);
    COLORREF GetTextColor() const { return m_textColor; }
    COLORREF SetBkColor(COLORREF crColor);
    COLORREF GetBkColor() const { return m_bkColor; }
    int SetBkMode(int nBkMode);
    UINT SetTextAlign(UINT nFlags);
    BOOL TextOut(int x, int y, const std::string& text);
    CSize GetTextExtent(const std::string& text) const;
    BOOL DrawIcon(int x, int y, HICON hIcon);

    BOOL BitBlt(int x, int y, int nWidth, int nHeight, CDC* pSrcDC, int xSrc, int ySrc, DWORD dwRop = SRCCOPY);

    // The surface drawn on (null for a memory context with no bitmap selected).
    platform::ui::Surface* GetSurface() const { return m_surface.get(); }

protected:
    // Draws on a window's client area; the window is told when drawing has changed it.
    void AttachWindow(CWnd* pWnd);
    // Shows again the part of the window that was drawn on (nothing when nothing was drawn).
    void DetachWindow();
    // Drawing changed the surface within area (client pixels; it may reach beyond the surface).
    void Changed(const RECT& area);

private:
    void PlotPen(int x, int y);

    std::shared_ptr<platform::ui::Surface> m_surface;
    CWnd* m_pWnd = nullptr;
    CBitmap* m_pBitmap = nullptr;
    CPen m_defaultPen{PS_SOLID, 1, RGB(0, 0, 0)};
    CBrush m_defaultBrush{RGB(255, 255, 255)};
    CFont m_defaultFont;
    CPen* m_pPen = &m_defaultPen;
    CBrush* m_pBrush = &m_defaultBrush;
    CFont* m_pFont = &m_defaultFont;
    CPoint m_current;
    CRect m_drawn;  // the bounds of what was drawn on a window's surface since it was attached
    COLORREF m_textColor = RGB(0, 0, 0);
    COLORREF m_bkColor = RGB(255, 255, 255);
    int m_bkMode = OPAQUE;
    UINT m_textAlign = TA_LEFT | TA_TOP;
    bool m_bMemory = false;
};
using HDC = CDC*;

// A device context over a window's client area, for drawing outside painting.
class CClientDC : public CDC {
public:
    explicit CClientDC(CWnd* pWnd);
    ~CClientDC() override;
};

// The device context of a window's painting (WM_PAINT).
class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd* pWnd);
    ~CPaintDC() override;
};

// An image object with its own pixels (created 24- or 32-bit; kept as 32-bit pixels).
class CImage {
public:
    BOOL Create(int nWidth, int nHeight, int nBPP);
    void Destroy();
    bool IsNull() const { return !m_bitmap.SurfacePtr(); }
    int GetWidth() const;
    int GetHeight() const;
    int GetBPP() const { return m_nBPP; }
    // A device context over the image until ReleaseDC.
    HDC GetDC();
    void ReleaseDC();
    BOOL BitBlt(HDC hDestDC, int xDest, int yDest, DWORD dwROP = SRCCOPY);
    CBitmap& Bitmap() { return m_bitmap; }

private:
    CBitmap m_bitmap;
    std::unique_ptr<CDC> m_dc;
    CBitmap* m_pOld = nullptr;
    int m_nBPP = 0;
};
