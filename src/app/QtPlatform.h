#pragma once

#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "app/SoundPlayer.h"
#include "platform/Platform.h"
#include "platform/UserDefaults.h"

class QMessageBox;

namespace orvex {

// The desktop's platform services on Qt. Alerts are QMessageBox dialogs, window-modal on the
// active window when there is one; the user defaults are a property list under
// $XDG_CONFIG_HOME/orvex/; reveal uses the freedesktop file manager over D-Bus with xdg-open of
// the folder as fallback; sounds play through a SoundPlayer; recent documents are the
// RecentDocuments list of the defaults.
// Threads: create on the GUI thread, after the QApplication. runAlert, beep, playSound and the
// workspace calls may come from any thread: they run on the GUI thread, a worker waiting for
// them (the GUI thread never waits for a worker here, so this cannot deadlock).
class QtPlatform : public QObject, public Platform {
    Q_OBJECT
public:
    // defaultsPath empty: $XDG_CONFIG_HOME/orvex/defaults.plist (~/.config when unset).
    explicit QtPlatform(std::string defaultsPath = {});
    ~QtPlatform() override;

    static std::string defaultDefaultsPath();

    AlertButton runAlert(const std::string& title, const std::string& message,
                         const std::vector<std::string>& buttons) override;
    void beep() override;
    void postToMainThread(std::function<void()> call, bool wait) override;
    bool isMainThread() const override;

    bool boolForKey(const std::string& key) override;
    std::int64_t integerForKey(const std::string& key) override;
    std::optional<std::string> stringForKey(const std::string& key) override;
    bool hasDefaultForKey(const std::string& key) override;
    void setBoolForKey(const std::string& key, bool value) override;
    void setIntegerForKey(const std::string& key, std::int64_t value) override;
    void setStringForKey(const std::string& key, const std::string& value) override;
    void synchronizeDefaults() override;

    void playSound(const std::string& name, const std::string& type) override;
    void revealFile(const std::string& path) override;
    void openWithDefaultApplication(const std::string& path) override;
    void addRecentDocument(const std::string& path) override;

    // The file of a resource ("finished-new", "aiff") found by the ResourceFinder; empty when none.
    static std::string resourcePath(const std::string& name, const std::string& type);
    // The title, message and buttons of every alert shown so far (for tests and logs).
    std::vector<std::vector<std::string>> alertLog() const;
    int beepCount() const;
    // The files revealed and the names of the sounds asked for, in order (for tests and logs).
    std::vector<std::string> revealLog() const;
    std::vector<std::string> soundLog() const;
    // Tests: reveals are only recorded, no file browser opens.
    void setRevealsRecordedOnly(bool on) { mRevealsRecordedOnly = on; }
    // Answers every alert waiting for the user: with its "Cancel" button when it has one (which
    // changes nothing), else as its default. True while an alert is still open, that is until the
    // code that asked has its answer. GUI thread.
    bool answerOpenAlerts();
    // Replaces the player of the short sounds (tests give one on a silent output). GUI thread.
    void setSoundPlayer(std::unique_ptr<SoundPlayer> player) { mSounds = std::move(player); }

private:
    AlertButton showAlert(const std::string& title, const std::string& message,
                          const std::vector<std::string>& buttons);
    static bool revealThroughFileManager(const QString& path);
    bool launchOpener(const QString& target);

    UserDefaults mDefaults;
    std::unique_ptr<SoundPlayer> mSounds;
    mutable std::mutex mLogMutex;
    std::vector<std::vector<std::string>> mAlertLog;
    std::vector<std::string> mRevealLog;
    std::vector<std::string> mSoundLog;
    int mBeeps = 0;
    bool mRevealsRecordedOnly = false;
    std::vector<QMessageBox*> mOpenAlerts;  // GUI thread; innermost last
};

}  // namespace orvex
