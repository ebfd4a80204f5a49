#pragma once
// The windows' language: Russian as designed, English when KORVAX_LANG=en asks for it.
// For as long as it lives it keeps the translations installed: the program's English
// catalogue (compiled into the program), or, with the Russian windows, the toolkit's own
// texts (file dialog, standard buttons) in the user's language.
//
// Create on the user-interface thread after the application object and before the
// windows, whose texts are fixed when they are built.

#include <QTranslator>

namespace korvax {

class WindowLanguage {
public:
    WindowLanguage();
    ~WindowLanguage();
    WindowLanguage(const WindowLanguage&) = delete;
    WindowLanguage& operator=(const WindowLanguage&) = delete;

private:
    QTranslator translator_;
    bool installed_ = false;
};

}  // namespace korvax
