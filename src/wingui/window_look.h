#pragma once
// What the Win32 windows look like: the background tile of the main and settings windows,
// the fonts standing in for the classic ones, the flat buttons with their glyphs and the
// percentage gauge. Everything is drawn by the program itself; nothing is loaded from
// files.
//
// Use on the user-interface thread only.

#include <windows.h>

#include <string>
#include <vector>

namespace korvax::wingui {

// The 128 x 128 background tile as a pattern brush (a light, finely grained steel-blue
// weave that repeats without seams), made once for the whole run.
HBRUSH TileBrush();

// Paints `rect` of `dc` (a control's) with the tile as it lies on the window behind the
// control at `origin` (the control's place in its window's client area), so that the
// tile runs on across the control without a seam.
void PaintTile(HDC dc, const RECT& rect, POINT origin);

// The windows' ordinary text (the classic 8-point "MS Sans Serif", whose TrueType face
// Windows keeps as "Microsoft Sans Serif") at `dpi`.
HFONT MakeWindowFont(int dpi);
// The main window's caption labels: 15-pixel "Times New Roman" at `dpi`, condensed just
// enough (down to three quarters of its width, then smaller) for each of `texts` to fit
// in `width` pixels.
HFONT MakeCaptionFont(int dpi, const std::vector<std::wstring>& texts, int width);

enum class Glyph { None, Settings, Statistics, Update };

// A flat button: only its glyph and caption on the window's background until the pointer
// is over it (`hot`: a raised edge) or it is pressed (a sunken one); the keyboard focus
// shows as a dotted rectangle. The glyph is 16 x 16 at 96 dots per inch.
void DrawFlatButton(const DRAWITEMSTRUCT& item, Glyph glyph, bool hot, POINT origin, int dpi);

// The percentage gauge: white, filled silver from the left to `percent`, the percentage
// written in the middle.
void DrawGauge(const DRAWITEMSTRUCT& item, int percent);

}  // namespace korvax::wingui
