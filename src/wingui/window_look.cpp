#include "wingui/window_look.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace korvax::wingui {
namespace {

constexpr int kTileSize = 128;

// A small integer hash: the same grain on every run, no state.
std::uint32_t Grain(std::uint32_t x, std::uint32_t y) {
    std::uint32_t h = x * 374761393U + y * 668265263U;
    h = (h ^ (h >> 13)) * 1274126177U;
    return h ^ (h >> 16);
}

HBITMAP MakeTile() {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = kTileSize;
    info.bmiHeader.biHeight = -kTileSize;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr) return nullptr;
    auto* pixels = static_cast<std::uint32_t*>(bits);
    for (int y = 0; y < kTileSize; ++y) {
        for (int x = 0; x < kTileSize; ++x) {
            // Two diagonal weaves whose periods divide the tile, so it repeats seamlessly.
            const int weave = ((x + y) % 16 == 0 ? -7 : 0) + ((x - y + kTileSize) % 16 == 8 ? -4 : 0);
            const int grain =
                static_cast<int>(Grain(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y)) % 9U) - 4;
            const int shade = weave + grain;
            const auto channel = [&](int base) { return static_cast<std::uint32_t>(std::clamp(base + shade, 0, 255)); };
            pixels[y * kTileSize + x] = (channel(218) << 16) | (channel(224) << 8) | channel(232);
        }
    }
    return bitmap;
}

HFONT MakeFont(const wchar_t* face, int height, int weight = FW_NORMAL, int width = 0) {
    LOGFONTW font{};
    font.lfHeight = height;
    font.lfWidth = width;
    font.lfWeight = weight;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = CLEARTYPE_QUALITY;
    lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
    return ::CreateFontIndirectW(&font);
}

// A brush, pen or region of GDI, deleted when it goes.
template <typename Object>
class Gdi {
public:
    explicit Gdi(Object object) : object_(object) {}
    ~Gdi() {
        if (object_ != nullptr) ::DeleteObject(object_);
    }
    Gdi(const Gdi&) = delete;
    Gdi& operator=(const Gdi&) = delete;
    Object get() const { return object_; }

private:
    Object object_;
};

void Fill(HDC dc, int left, int top, int right, int bottom, COLORREF colour) {
    const RECT rect{left, top, right, bottom};
    Gdi<HBRUSH> brush(::CreateSolidBrush(colour));
    ::FillRect(dc, &rect, brush.get());
}

// The glyphs, drawn on a 16 x 16 grid scaled by `unit` (dots per 16th of the glyph) from
// the top left corner `at`.
void DrawGlyph(HDC dc, Glyph glyph, POINT at, int dpi) {
    const auto x = [&](int v) { return at.x + ::MulDiv(v, dpi, 96); };
    const auto y = [&](int v) { return at.y + ::MulDiv(v, dpi, 96); };
    switch (glyph) {
        case Glyph::None:
            return;
        case Glyph::Settings: {
            // A folder: the settings window is where the folders to check are chosen.
            Gdi<HPEN> pen(::CreatePen(PS_SOLID, 1, RGB(128, 96, 16)));
            Gdi<HBRUSH> tab(::CreateSolidBrush(RGB(236, 196, 84)));
            Gdi<HBRUSH> body(::CreateSolidBrush(RGB(244, 204, 96)));
            const HGDIOBJ oldPen = ::SelectObject(dc, pen.get());
            HGDIOBJ oldBrush = ::SelectObject(dc, tab.get());
            ::RoundRect(dc, x(1), y(2), x(8), y(6), x(2) - x(0), y(2) - y(0));
            ::SelectObject(dc, body.get());
            ::RoundRect(dc, x(1), y(4), x(15), y(14), x(2) - x(0), y(2) - y(0));
            ::SelectObject(dc, oldBrush);
            ::SelectObject(dc, oldPen);
            return;
        }
        case Glyph::Statistics: {
            // A bar chart.
            Fill(dc, x(1), y(14), x(15), y(15), RGB(64, 64, 64));
            Fill(dc, x(1), y(1), x(2), y(15), RGB(64, 64, 64));
            Fill(dc, x(3), y(8), x(6), y(14), RGB(64, 128, 208));
            Fill(dc, x(7), y(3), x(10), y(14), RGB(208, 64, 56));
            Fill(dc, x(11), y(6), x(14), y(14), RGB(72, 160, 72));
            return;
        }
        case Glyph::Update: {
            // A database drum with a green arrow bringing new entries in.
            Gdi<HPEN> pen(::CreatePen(PS_SOLID, 1, RGB(48, 64, 96)));
            Gdi<HBRUSH> drum(::CreateSolidBrush(RGB(120, 140, 185)));
            Gdi<HBRUSH> top(::CreateSolidBrush(RGB(190, 205, 235)));
            const HGDIOBJ oldPen = ::SelectObject(dc, pen.get());
            const HGDIOBJ oldBrush = ::SelectObject(dc, drum.get());
            ::Rectangle(dc, x(1), y(4), x(11), y(14));
            ::Ellipse(dc, x(1), y(11), x(11), y(16));
            ::SelectObject(dc, top.get());
            ::Ellipse(dc, x(1), y(2), x(11), y(7));
            Gdi<HPEN> arrowPen(::CreatePen(PS_SOLID, 1, RGB(24, 96, 24)));
            Gdi<HBRUSH> arrowBrush(::CreateSolidBrush(RGB(72, 184, 72)));
            ::SelectObject(dc, arrowPen.get());
            ::SelectObject(dc, arrowBrush.get());
            const POINT arrow[] = {{x(12), y(1)}, {x(12), y(8)}, {x(10), y(8)}, {x(13), y(12)},
                                   {x(16), y(8)}, {x(14), y(8)}, {x(14), y(1)}};
            ::Polygon(dc, arrow, static_cast<int>(std::size(arrow)));
            ::SelectObject(dc, oldBrush);
            ::SelectObject(dc, oldPen);
            return;
        }
    }
}

}  // namespace

HBRUSH TileBrush() {
    static const HBRUSH brush = [] {
        HBITMAP tile = MakeTile();
        HBRUSH made = tile != nullptr ? ::CreatePatternBrush(tile) : nullptr;
        if (tile != nullptr) ::DeleteObject(tile);  // the brush keeps its own copy
        return made != nullptr ? made : ::GetSysColorBrush(COLOR_BTNFACE);
    }();
    return brush;
}

void PaintTile(HDC dc, const RECT& rect, POINT origin) {
    POINT old{};
    ::SetBrushOrgEx(dc, -origin.x, -origin.y, &old);
    ::FillRect(dc, &rect, TileBrush());
    ::SetBrushOrgEx(dc, old.x, old.y, nullptr);
}

HFONT MakeWindowFont(int dpi) { return MakeFont(L"Microsoft Sans Serif", -::MulDiv(8, dpi, 72)); }

HFONT MakeCaptionFont(int dpi, const std::vector<std::wstring>& texts, int width) {
    HDC screen = ::GetDC(nullptr);
    // The widest text in `font`, and the font's average character width.
    const auto measure = [&](HFONT font, int& averageWidth) {
        const HGDIOBJ old = ::SelectObject(screen, font);
        TEXTMETRICW metrics{};
        ::GetTextMetricsW(screen, &metrics);
        averageWidth = metrics.tmAveCharWidth;
        int widest = 0;
        for (const std::wstring& text : texts) {
            SIZE size{};
            ::GetTextExtentPoint32W(screen, text.c_str(), static_cast<int>(text.size()), &size);
            widest = std::max<int>(widest, size.cx);
        }
        ::SelectObject(screen, old);
        return widest;
    };
    int height = -::MulDiv(15, dpi, 96);
    HFONT font = MakeFont(L"Times New Roman", height);
    int average = 0;
    int widest = measure(font, average);
    const int natural = average;
    // Narrower characters first, down to three quarters of their width; then smaller ones.
    for (int characterWidth = average; widest > width && font != nullptr;) {
        if (characterWidth > natural * 3 / 4) {
            --characterWidth;
        } else if (height < -8) {
            ++height;
            characterWidth = 0;
        } else {
            break;
        }
        ::DeleteObject(font);
        font = MakeFont(L"Times New Roman", height, FW_NORMAL, characterWidth);
        int ignored = 0;
        widest = measure(font, ignored);
        if (characterWidth == 0) characterWidth = ignored;
    }
    ::ReleaseDC(nullptr, screen);
    return font;
}

void DrawFlatButton(const DRAWITEMSTRUCT& item, Glyph glyph, bool hot, POINT origin, int dpi) {
    HDC dc = item.hDC;
    RECT rect = item.rcItem;
    PaintTile(dc, rect, origin);
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    if (!disabled && (pressed || hot)) ::DrawEdge(dc, &rect, pressed ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);

    const int glyphSize = ::MulDiv(16, dpi, 96);
    const int pad = ::MulDiv(4, dpi, 96);
    const int shift = pressed ? 1 : 0;
    const POINT glyphAt{rect.left + pad + shift, rect.top + (rect.bottom - rect.top - glyphSize) / 2 + shift};
    if (!disabled) DrawGlyph(dc, glyph, glyphAt, dpi);

    // Every caption starts after the glyph's place, so that all five line up.
    RECT text = rect;
    text.left = glyphAt.x + glyphSize + pad;
    text.top += shift;
    wchar_t caption[128] = {};
    ::GetWindowTextW(item.hwndItem, caption, static_cast<int>(std::size(caption)));
    ::SetBkMode(dc, TRANSPARENT);
    const HGDIOBJ oldFont = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(item.hwndItem, WM_GETFONT, 0, 0)));
    if (disabled) {
        // Engraved, as the system shows a disabled caption.
        RECT light = text;
        ::OffsetRect(&light, 1, 1);
        ::SetTextColor(dc, ::GetSysColor(COLOR_BTNHIGHLIGHT));
        ::DrawTextW(dc, caption, -1, &light, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
        ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
    } else {
        ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
    }
    ::DrawTextW(dc, caption, -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    ::SelectObject(dc, oldFont);
    if ((item.itemState & ODS_FOCUS) != 0 && (item.itemState & ODS_NOFOCUSRECT) == 0) {
        RECT focus = rect;
        ::InflateRect(&focus, -2, -2);
        ::DrawFocusRect(dc, &focus);
    }
}

void DrawGauge(const DRAWITEMSTRUCT& item, int percent) {
    HDC dc = item.hDC;
    const RECT rect = item.rcItem;
    percent = std::clamp(percent, 0, 100);
    ::FillRect(dc, &rect, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    const int inner = rect.right - rect.left - 2;
    Fill(dc, rect.left + 1, rect.top + 1, rect.left + 1 + inner * percent / 100, rect.bottom - 1, RGB(192, 192, 192));
    Gdi<HBRUSH> frame(::CreateSolidBrush(RGB(128, 128, 128)));
    ::FrameRect(dc, &rect, frame.get());
    const std::wstring text = std::to_wstring(percent) + L"%";
    RECT textRect = rect;
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB(0, 0, 0));
    const HGDIOBJ oldFont = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(item.hwndItem, WM_GETFONT, 0, 0)));
    ::DrawTextW(dc, text.c_str(), -1, &textRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    ::SelectObject(dc, oldFont);
}

}  // namespace korvax::wingui
