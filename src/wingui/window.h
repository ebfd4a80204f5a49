#pragma once
// What every window of the Win32 front end shares: its class and window procedure, its
// controls laid out from their places at 96 dots per inch and scaled to the monitor the
// window is on (per-monitor DPI awareness: a window moved to a monitor of another scale
// is laid out again at that scale, its fonts made anew), the background tile behind its
// labels, and the keyboard: Tab moves between the controls, Enter or Space presses the
// button that has the focus.
//
// A window is made hidden and lives until the program ends; its close box hides it.
//
// Use on the user-interface thread only.

#include <windows.h>

#include <string>
#include <vector>

namespace korvax::wingui {

// The font a control is drawn in.
enum class FontKind { Window, Caption };

class Window {
public:
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    virtual ~Window();

    HWND Handle() const { return handle_; }
    // A control of this window by its id.
    HWND Control(int id) const { return ::GetDlgItem(handle_, id); }
    // The window's dots per inch (96 at 100 %).
    int Dpi() const { return dpi_; }
    // `pixels` at 96 dots per inch, at this window's scale.
    int Scale(int pixels) const { return ::MulDiv(pixels, dpi_, 96); }

    bool IsVisible() const { return ::IsWindowVisible(handle_) != FALSE; }
    // Shows the window (placed by Placing()) and brings it to the front.
    void Show();
    // Hides the window, as its close box does, and tells Closed().
    void Close();

    // Keyboard handling before the message is dispatched, for a message to this window
    // or one of its controls; true when it was handled.
    virtual bool PreTranslate(MSG& message);

    // The font of `kind` at this window's scale.
    HFONT Font(FontKind kind) const { return kind == FontKind::Caption ? captionFont_ : windowFont_; }

    // The window that `child` (a control, or the window itself) belongs to; null when none
    // of ours.
    static Window* Of(HWND child);

protected:
    Window();

    // Makes the window, hidden: `clientSize` at 96 dots per inch (or the outer size when
    // `outerSize`), `style` and `exStyle` as CreateWindowEx takes them.
    void Create(const std::wstring& caption, DWORD style, DWORD exStyle, SIZE size, bool outerSize,
                HWND owner = nullptr);
    // A control at `place` (at 96 dots per inch, in the client area of `parent`, this
    // window when null), in `font`.
    HWND AddControl(const wchar_t* className, const std::wstring& text, DWORD style, int id, RECT place,
                    FontKind font = FontKind::Window, DWORD exStyle = 0, HWND parent = nullptr);
    // Moves a control to `place` (at 96 dots per inch) and keeps it there at every scale.
    void PlaceControl(HWND control, RECT place);
    // The background behind the labels: the tile (true) or the system's window colour.
    void UseTile(bool tile) { tile_ = tile; }
    // The caption font is narrowed until each of `texts` fits `width` (at 96 dots per inch).
    void FitCaptions(std::vector<std::wstring> texts, int width);

    // Where the window goes whenever it is shown; the default leaves it where it is.
    virtual void Placing() {}
    // The close box was pressed (or Close() called): the window is hidden now.
    virtual void Closed() {}
    // The window's own messages; the default does what every window of the program does.
    virtual LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam);
    // Lays the controls out again at the window's scale, after a change of scale or size.
    virtual void Layout();
    // The client size at 96 dots per inch (fixed-size windows keep it at every scale).
    SIZE ClientSize96() const { return size96_; }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void MakeFonts();
    void FitFrame(const RECT* suggested);

    struct Placed {
        HWND control;
        RECT place;
        FontKind font;
    };

    HWND handle_ = nullptr;
    int dpi_ = 96;
    SIZE size96_{};
    bool outer_ = false;
    bool tile_ = false;
    DWORD style_ = 0;
    DWORD exStyle_ = 0;
    HFONT windowFont_ = nullptr;
    HFONT captionFont_ = nullptr;
    std::vector<Placed> placed_;
    std::vector<std::wstring> captionTexts_;
    int captionWidth_ = 0;
};

// Dispatches one message as the program's loops all do: keyboard handling of the window
// it is for, then the usual translation and dispatch.
void DispatchProgramMessage(MSG& message);

// The dots per inch of `window` (of the system when the system cannot tell per window).
int WindowDpi(HWND window);

}  // namespace korvax::wingui
