#include "gui/window_look.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QWidget>

#include <algorithm>
#include <cstdint>

namespace korvax {
namespace {

constexpr int kTileSize = 128;
constexpr int kGlyphSize = 16;

// The first of `candidates` the font database knows, else the last one (which Qt then
// resolves to whatever it has).
QString FirstInstalledFamily(const QStringList& candidates) {
    const QStringList installed = QFontDatabase::families();
    for (const QString& family : candidates) {
        if (installed.contains(family, Qt::CaseInsensitive)) return family;
    }
    return candidates.back();
}

// A small integer hash: the same grain on every run, no state.
std::uint32_t Grain(std::uint32_t x, std::uint32_t y) {
    std::uint32_t h = x * 374761393U + y * 668265263U;
    h = (h ^ (h >> 13)) * 1274126177U;
    return h ^ (h >> 16);
}

QPixmap BlankGlyph() {
    QPixmap glyph(kGlyphSize, kGlyphSize);
    glyph.fill(Qt::transparent);
    return glyph;
}

}  // namespace

QPixmap BackgroundTile() {
    QImage tile(kTileSize, kTileSize, QImage::Format_RGB32);
    for (int y = 0; y < kTileSize; ++y) {
        for (int x = 0; x < kTileSize; ++x) {
            // Two diagonal weaves whose periods divide the tile, so it repeats seamlessly.
            const int weave = ((x + y) % 16 == 0 ? -7 : 0) + ((x - y + kTileSize) % 16 == 8 ? -4 : 0);
            const int grain = static_cast<int>(Grain(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y)) % 9U) - 4;
            const int shade = weave + grain;
            tile.setPixel(x, y, qRgb(std::clamp(218 + shade, 0, 255), std::clamp(224 + shade, 0, 255),
                                     std::clamp(232 + shade, 0, 255)));
        }
    }
    return QPixmap::fromImage(tile);
}

void PaintBackground(QWidget& window, const QPixmap& tile) {
    QPalette palette = window.palette();
    palette.setBrush(QPalette::Window, QBrush(tile));
    window.setPalette(palette);
    window.setAutoFillBackground(true);
}

QFont WindowFont() {
    QFont font(FirstInstalledFamily({"MS Sans Serif", "Liberation Sans", "Arial", "Nimbus Sans", "DejaVu Sans"}));
    font.setPixelSize(11);
    return font;
}

QFont CaptionFont() {
    QFont font(FirstInstalledFamily({"Times New Roman", "Liberation Serif", "Nimbus Roman", "DejaVu Serif"}));
    font.setPixelSize(15);
    return font;
}

QFont FittedFont(QFont font, const QStringList& texts, int width) {
    const auto fits = [&](const QFont& candidate) {
        const QFontMetrics metrics(candidate);
        return std::all_of(texts.begin(), texts.end(),
                           [&](const QString& text) { return metrics.horizontalAdvance(text) <= width; });
    };
    for (int stretch = 100; stretch >= 75; stretch -= 5) {
        font.setStretch(stretch);
        if (fits(font)) return font;
    }
    while (font.pixelSize() > 8 && !fits(font)) font.setPixelSize(font.pixelSize() - 1);
    return font;
}

QIcon SettingsGlyph() {
    // A folder: the settings window is where the folders to check are chosen.
    QPixmap glyph = BlankGlyph();
    QPainter painter(&glyph);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(128, 96, 16), 1));
    painter.setBrush(QColor(236, 196, 84));
    painter.drawRoundedRect(QRectF(1.5, 2.5, 6, 3), 1, 1);
    QLinearGradient body(0, 4, 0, 14);
    body.setColorAt(0, QColor(252, 222, 120));
    body.setColorAt(1, QColor(224, 172, 48));
    painter.setBrush(body);
    painter.drawRoundedRect(QRectF(1.5, 4.5, 13, 9), 1, 1);
    return QIcon(glyph);
}

QIcon StatisticsGlyph() {
    // A bar chart.
    QPixmap glyph = BlankGlyph();
    QPainter painter(&glyph);
    painter.setPen(QColor(64, 64, 64));
    painter.drawLine(1, 14, 14, 14);
    painter.drawLine(1, 1, 1, 14);
    const struct {
        int x, top;
        QColor colour;
    } bars[] = {{3, 8, QColor(64, 128, 208)}, {7, 3, QColor(208, 64, 56)}, {11, 6, QColor(72, 160, 72)}};
    for (const auto& bar : bars) {
        painter.fillRect(QRect(bar.x, bar.top, 3, 14 - bar.top), bar.colour);
    }
    return QIcon(glyph);
}

QIcon UpdateGlyph() {
    // A database drum with a green arrow bringing new entries in.
    QPixmap glyph = BlankGlyph();
    QPainter painter(&glyph);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(48, 64, 96), 1));
    QLinearGradient drum(0, 0, 11, 0);
    drum.setColorAt(0, QColor(150, 170, 210));
    drum.setColorAt(1, QColor(90, 110, 160));
    painter.setBrush(drum);
    QPainterPath body;
    body.moveTo(1.5, 4);
    body.lineTo(1.5, 13);
    body.arcTo(QRectF(1.5, 11, 9, 4), 180, 180);
    body.lineTo(10.5, 4);
    painter.drawPath(body);
    painter.setBrush(QColor(190, 205, 235));
    painter.drawEllipse(QRectF(1.5, 2, 9, 4));
    QPainterPath arrow;
    arrow.moveTo(12.5, 1);
    arrow.lineTo(12.5, 8);
    arrow.lineTo(10, 8);
    arrow.lineTo(13, 12);
    arrow.lineTo(16, 8);
    arrow.lineTo(14.5, 8);
    arrow.lineTo(14.5, 1);
    arrow.closeSubpath();
    painter.setPen(QPen(QColor(24, 96, 24), 0.8));
    painter.setBrush(QColor(72, 184, 72));
    painter.drawPath(arrow);
    return QIcon(glyph);
}

}  // namespace korvax
