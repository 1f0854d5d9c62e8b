#pragma once

#include <QImage>
#include <QString>
#include <QTemporaryDir>

#include <memory>

#include "app/QtPlatform.h"

namespace orvex {
class DesktopDocuments;
class KVEditorWindow;
}  // namespace orvex

namespace orvex::test {

// For a Qt Test class: a private $XDG_CONFIG_HOME and a fresh QtPlatform installed as the
// process's platform for as long as it lives. Create it in init() (or a test body), on the
// GUI thread, after the QApplication.
class QtPlatformScope {
public:
    QtPlatformScope();
    ~QtPlatformScope();
    QtPlatform& platform() { return *mPlatform; }
    // A path inside the scope's temporary folder (removed with it).
    QString file(const QString& name) const { return mFolder.filePath(name); }

private:
    QTemporaryDir mFolder;
    QByteArray mOldConfigHome;
    std::shared_ptr<QtPlatform> mPlatform;
};

// A stereo (or mono) 16-bit WAVE file at rate: sines of 220 Hz left and 330 Hz right, the
// right one at half the level, so the two channels are told apart in pictures.
void writeTestWave(const QString& path, double seconds, int channels = 2, int rate = 44100);

// Opens path in documents, answering the set-up question of a file seen for the first time with
// Extract; the document's window (resized to width x height), or null when the file was refused.
KVEditorWindow* openWindow(DesktopDocuments& documents, const QString& path, int width = 1200, int height = 700);

// Clicks the button labelled text in the next modal message box that opens (polling up to
// timeoutMs); the title of that box is stored in *title when given.
void answerNextAlert(const QString& text, QString* title = nullptr, int timeoutMs = 5000);

// Saves picture as name under $ORVEX_TEST_ARTIFACTS (or the current folder); returns the path.
QString saveArtifact(const QImage& picture, const QString& name);

}  // namespace orvex::test
