#include "qtsupport/QtTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <sndfile.h>

#include "app/DesktopDocuments.h"
#include "app/KVEditorWindow.h"
#include "playback/ManualAudioBackend.h"
#include "support/Signals.h"

namespace orvex::test {

namespace {
// The workers of analyses, exports and previews keep normal priority in tests: at the product's
// lowest priority the machine's other load, not the test, decides how long they take.
class SteadyQtPlatform : public QtPlatform {
public:
    using QtPlatform::QtPlatform;
    void setCurrentThreadPriority(double) override {}
};
}  // namespace

QtPlatformScope::QtPlatformScope() : mOldConfigHome(qgetenv("XDG_CONFIG_HOME")) {
    qputenv("XDG_CONFIG_HOME", mFolder.filePath("config").toLocal8Bit());
    mPlatform = std::make_shared<SteadyQtPlatform>();
    // The short sounds go to a silent output nobody pulls, so tests never open a sound card.
    mPlatform->setSoundPlayer(std::make_unique<SoundPlayer>(
        std::make_unique<KVAudioEngineController>(std::make_unique<ManualAudioBackend>())));
    Platform::install(mPlatform);
}

QtPlatformScope::~QtPlatformScope() {
    Platform::install(nullptr);
    mPlatform.reset();
    if (mOldConfigHome.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", mOldConfigHome);
}

void writeTestWave(const QString& path, double seconds, int channels, int rate) {
    const auto frames = static_cast<std::int64_t>(seconds * rate);
    Channels samples{sine(220.0, rate, frames, 0.8)};
    if (channels > 1) samples.push_back(sine(330.0, rate, frames, 0.4));
    for (int extra = 2; extra < channels; ++extra) samples.push_back(sine(440.0, rate, frames, 0.2));
    writeWave(path.toStdString(), samples, rate, SF_FORMAT_PCM_16);
}

void answerNextAlert(const QString& text, QString* title, int timeoutMs) {
    auto* poll = new QTimer;
    auto remaining = std::make_shared<int>(timeoutMs / 10);
    QObject::connect(poll, &QTimer::timeout, [poll, text, title, remaining] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (auto* candidate = qobject_cast<QMessageBox*>(widget); candidate && candidate->isVisible()) box = candidate;
        }
        if (box) {
            for (QAbstractButton* button : box->buttons())
                if (button->text() == text) {
                    if (title) *title = box->windowTitle();
                    button->click();
                    poll->deleteLater();
                    return;
                }
        }
        if (--*remaining <= 0) poll->deleteLater();
    });
    poll->start(10);
}

KVEditorWindow* openWindow(DesktopDocuments& documents, const QString& path, int width, int height) {
    answerNextAlert("Extract");
    if (!documents.openDocument(path)) return nullptr;
    KVEditorWindow* window = documents.windowForPath(path);
    if (window) window->resize(width, height);
    return window;
}

QString saveArtifact(const QImage& picture, const QString& name) {
    const QByteArray folder = qgetenv("ORVEX_TEST_ARTIFACTS");
    QDir dir(folder.isEmpty() ? QDir::currentPath() : QString::fromLocal8Bit(folder));
    dir.mkpath(".");
    const QString path = dir.filePath(name);
    picture.save(path);
    return path;
}

}  // namespace orvex::test
