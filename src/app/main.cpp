// orvex: the desktop application. Opens the sound files named on the command line, each in a
// document window; without one, the start window (and, when the preference asks, the open
// dialog) stays up.
#include <QApplication>

#include "app/AppController.h"
#include "app/AppResources.h"
#include "app/QtPlatform.h"
#include "app/WindowDocumentHost.h"
#include "application/AppVersion.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Orvex");
    QApplication::setApplicationVersion(QString::fromStdString(orvex::AppVersion::string()));
    QApplication::setWindowIcon(orvex::AppResources::applicationIcon());
    auto platform = std::make_shared<orvex::QtPlatform>();
    orvex::Platform::install(platform);
    int status = 0;
    {
        orvex::WindowDocumentHost documents;
        orvex::AppController controller(documents);
        documents.setController(&controller);
        controller.applicationDidFinishLaunching(QApplication::arguments().mid(1));
        status = QApplication::exec();
        controller.applicationWillTerminate();
    }
    orvex::Platform::install(nullptr);
    return status;
}
