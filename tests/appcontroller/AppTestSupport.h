#pragma once

#include <QList>
#include <QMainWindow>
#include <QTemporaryDir>

#include <map>
#include <memory>
#include <vector>

#include "app/DocumentHost.h"
#include "platform/HeadlessPlatform.h"

namespace orvex {
class AppController;
}

namespace orvex::test {

// A private $XDG_CONFIG_HOME with a platform that keeps its user defaults in
// $XDG_CONFIG_HOME/orvex/defaults.plist and records sounds and opened files.
class AppScope {
public:
    AppScope();
    ~AppScope();
    HeadlessPlatform& platform() { return *mPlatform; }
    QString file(const QString& name) const { return mFolder.filePath(name); }
    // A short sound file in the scope's folder.
    QString writeWave(const QString& name) const;

private:
    QTemporaryDir mFolder;
    QByteArray mOldConfigHome;
    std::shared_ptr<HeadlessPlatform> mPlatform;
};

// Documents as plain windows with the application's menu bar: the front one is the active
// window (else the newest); closing a window removes its document and tells the controller.
class FakeDocumentHost : public DocumentHost {
public:
    AppController* controller = nullptr;
    bool canUndo = false;
    bool hasAnalysis = false;
    std::vector<EditorCommand> performed;
    std::map<QString, int> closeCounts;  // window title -> times closed

    ~FakeDocumentHost() override;
    bool openDocument(const QString& path) override;
    QList<QWidget*> documentWindows() const override { return mWindows; }
    bool hasFrontDocument() const override { return !mWindows.isEmpty(); }
    CommandContext frontDocumentContext() const override {
        return {.hasDocument = !mWindows.isEmpty(), .hasAnalysis = hasAnalysis, .canUndo = canUndo};
    }
    void performOnFrontDocument(EditorCommand command) override { performed.push_back(command); }

    void windowClosed(QMainWindow* window);

private:
    QList<QWidget*> mWindows;
};

}  // namespace orvex::test
