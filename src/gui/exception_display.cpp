#include "gui/exception_display.h"

#include <QApplication>
#include <QMessageBox>

#include "engine/display_text.h"

namespace korvax {
namespace {

ExceptionDisplay& CurrentDisplay() {
    static ExceptionDisplay display;
    return display;
}

void ShowErrorBox(const QString& message) {
    QMessageBox::critical(QApplication::activeWindow(), QStringLiteral("Korvax"), message);
}

}  // namespace

ExceptionDisplay SetExceptionDisplay(ExceptionDisplay display) {
    return std::exchange(CurrentDisplay(), std::move(display));
}

QString ExceptionMessage(const std::exception& failure) {
    return QString::fromStdString(DisplayText(failure.what()));
}

void ShowException(const QString& message) {
    const ExceptionDisplay& display = CurrentDisplay();
    if (display) {
        display(message);
    } else {
        ShowErrorBox(message);
    }
}

void ShowException(const std::exception& failure) { ShowException(ExceptionMessage(failure)); }

}  // namespace korvax
