#pragma once
// What the windows look like: the background texture shared by the main and settings
// windows, the fonts standing in for the classic Windows ones, and the button glyphs.
// Everything here is drawn by the program itself; nothing is loaded from files.
//
// Use on the user-interface thread only (fonts and pixmaps need the application object).

#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QStringList>

class QWidget;

namespace korvax {

// The 128 x 128 background tile: a light, finely grained steel-blue weave that repeats
// without seams.
QPixmap BackgroundTile();

// Fills `window`'s background with the tile.
void PaintBackground(QWidget& window, const QPixmap& tile);

// The windows' ordinary text (the classic "MS Sans Serif"): the platform's closest sans
// serif face at 11 pixels.
QFont WindowFont();

// The main window's caption labels (the classic 15-pixel "Times New Roman"): the closest
// serif face with Cyrillic glyphs.
QFont CaptionFont();

// `font` narrowed just enough for every one of `texts` to fit in `width` pixels: first
// condensed (down to 75 % width), then, where even that is too wide, made smaller.
QFont FittedFont(QFont font, const QStringList& texts, int width);

// Glyphs of the main window's buttons, 16 x 16.
QIcon SettingsGlyph();
QIcon StatisticsGlyph();
QIcon UpdateGlyph();

}  // namespace korvax
