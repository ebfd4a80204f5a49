#include "gui/program.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <iostream>

#include "gui/mainunit.h"
#include "gui/exception_display.h"
#include "gui/options.h"
#include "gui/renew.h"
#include "gui/statistic.h"

namespace korvax {
namespace {

// Every failure that reaches the event dispatch ends up in the standard exception display;
// handlers catch their own (Guarded), this is the net under them.
class KorvaxApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& failure) {
            ShowException(failure);
        } catch (...) {
            ShowException(QStringLiteral("Unknown exception"));
        }
        return false;
    }
};

}  // namespace

Program::Program(const ProgramOptions& options) {
    TForm1::Startup startup;
    startup.loadLibrary = options.loadLibrary;
    startup.measureMhz = options.measureMhz;
    form1_ = std::make_unique<TForm1>(state_, startup);
    if (!form1_->LibraryBound()) return;
    form2_ = std::make_unique<TForm2>(*form1_, form1_->Background());
    form3_ = std::make_unique<TForm3>(*form1_);
    form4_ = std::make_unique<TForm4>(state_);
    form1_->AttachWindows(*form2_, *form3_, *form4_);
    for (const QString& folder : options.folders) form2_->AddFolder(FullFolderPath(folder));
}

Program::~Program() = default;

bool Program::Started() const { return form1_->LibraryBound(); }

const std::string& Program::StartFailure() const { return form1_->LibraryFailure(); }

int Program::Run() {
    form1_->show();
    return QApplication::exec();
}

QString FullFolderPath(const QString& folder) { return QDir::cleanPath(QFileInfo(folder).absoluteFilePath()); }

int KorvaxMain(int argc, char** argv) {
    KorvaxApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvax"));
    // The toolkit's own texts (file dialog, standard buttons) in the user's language.
    QTranslator toolkitTexts;
    if (toolkitTexts.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&toolkitTexts);
    }
    try {
        ProgramOptions options;
        options.folders = QApplication::arguments().mid(1);
        Program program(options);
        if (!program.Started()) {
            std::cerr << "korvax: " << program.StartFailure() << '\n';
            return 2;
        }
        return program.Run();
    } catch (const std::exception& failure) {
        ShowException(failure);
        return 1;
    }
}

}  // namespace korvax
