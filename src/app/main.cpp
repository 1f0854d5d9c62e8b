// orvex: the desktop application. Opens the sound files named on the command line, each in a
// document window.
#include <QApplication>
#include <QFileInfo>

#include "app/KVEditorWindow.h"
#include "app/QtPlatform.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Orvex");
    auto platform = std::make_shared<orvex::QtPlatform>();
    orvex::Platform::install(platform);
    const QStringList files = QApplication::arguments().mid(1);
    for (const QString& file : files) {
        auto* window = new orvex::KVEditorWindow;
        window->setWindowTitle(QFileInfo(file).completeBaseName());
        window->show();
    }
    if (files.isEmpty()) (new orvex::KVEditorWindow)->show();
    const int status = QApplication::exec();
    orvex::Platform::install(nullptr);
    return status;
}
