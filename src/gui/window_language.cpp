#include "gui/window_language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>

#include <iostream>

#include "platform/program_language.h"

namespace korvax {

WindowLanguage::WindowLanguage() {
    if (EnglishAsked()) {
        // The toolkit's own texts are English already: only the program's need a catalogue.
        installed_ = translator_.load(QStringLiteral(":/i18n/korvax_en.qm"));
        if (!installed_) std::cerr << "korvax: the English texts are missing from this build; the windows stay Russian\n";
    } else {
        installed_ = translator_.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                                      QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    }
    if (installed_) QCoreApplication::installTranslator(&translator_);
}

WindowLanguage::~WindowLanguage() {
    if (installed_) QCoreApplication::removeTranslator(&translator_);
}

}  // namespace korvax
