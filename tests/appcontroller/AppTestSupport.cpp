#include "AppTestSupport.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>

#include "app/AppController.h"
#include "platform/Platform.h"
#include "support/Signals.h"

namespace orvex::test {

AppScope::AppScope() : mOldConfigHome(qgetenv("XDG_CONFIG_HOME")) {
    const QString config = mFolder.filePath(QStringLiteral("config"));
    qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
    QDir().mkpath(QDir(config).filePath(QStringLiteral("orvex")));
    mPlatform = std::make_shared<HeadlessPlatform>(QDir(config).filePath(QStringLiteral("orvex/defaults.plist")).toStdString());
    mPlatform->setEchoAlerts(false);
    Platform::install(mPlatform);
}

AppScope::~AppScope() {
    Platform::install(nullptr);
    if (mOldConfigHome.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", mOldConfigHome);
}

QString AppScope::writeWave(const QString& name) const {
    const QString path = file(name);
    test::writeWave(path.toStdString(), {sine(440.0, 44100, 4410, 0.5)}, 44100);
    return path;
}

namespace {
class FakeDocumentWindow : public QMainWindow {
public:
    FakeDocumentWindow(FakeDocumentHost& host) : mHost(host) {}

protected:
    void closeEvent(QCloseEvent* event) override {
        QMainWindow::closeEvent(event);
        mHost.windowClosed(this);
    }

private:
    FakeDocumentHost& mHost;
};
}  // namespace

FakeDocumentHost::~FakeDocumentHost() { qDeleteAll(mWindows); }

bool FakeDocumentHost::openDocument(const QString& path) {
    if (!QFileInfo(path).isFile()) return false;
    auto* window = new FakeDocumentWindow(*this);
    window->setWindowTitle(QFileInfo(path).fileName());
    window->setMenuBar(controller->createMenuBar(window, true));
    window->resize(400, 200);
    mWindows.prepend(window);
    window->show();
    window->activateWindow();
    return true;
}

void FakeDocumentHost::windowClosed(QMainWindow* window) {
    ++closeCounts[window->windowTitle()];
    mWindows.removeAll(window);
    window->deleteLater();
    if (controller) controller->documentsChanged();
}

}  // namespace orvex::test
