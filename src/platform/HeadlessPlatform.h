#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Platform.h"
#include "platform/UserDefaults.h"

namespace orvex {

// Platform for orvex-cli and the tests. Alerts are printed to standard error as
// "Title: message" and answered with a preset button; the main-thread queue is pumped by its
// owner (the thread that created the platform, unless set otherwise). Thread-safe.
class HeadlessPlatform : public Platform {
public:
    struct Alert {
        std::string title;
        std::string message;
        std::vector<std::string> buttons;
        AlertButton answer;
    };

    // defaultsPath: a property-list file backing the user defaults; empty keeps them in memory.
    explicit HeadlessPlatform(std::string defaultsPath = {});

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

    // --- Controls for the owner ---

    // The thread whose pumping runs posted calls (default: the constructing thread).
    void setMainThread(std::thread::id id);
    // Answers for the next alerts, in order; once used up, alerts get the default button.
    void queueAlertAnswer(AlertButton answer);
    // Whether alerts are echoed to standard error (on by default).
    void setEchoAlerts(bool echo);
    // Runs every queued call, including calls queued while pumping; returns how many ran.
    // Must be called on the main thread.
    int pumpMainThread();
    // Pumps until pred() is true or the timeout passes; returns pred()'s last value.
    bool pumpMainThreadUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout);

    // --- What happened, for tests ---
    std::vector<Alert> alerts() const;
    int beepCount() const;
    std::vector<std::string> soundsPlayed() const;
    std::vector<std::string> revealedFiles() const;
    std::vector<std::string> openedFiles() const;
    std::vector<std::string> recentDocuments() const;

private:
    mutable std::mutex mMutex;
    std::condition_variable mQueueChanged;
    std::deque<std::function<void()>> mQueue;
    std::thread::id mMainThread;
    std::deque<AlertButton> mAnswers;
    bool mEchoAlerts = true;
    std::vector<Alert> mAlerts;
    int mBeeps = 0;
    std::vector<std::string> mSounds, mRevealed, mOpened, mRecent;
    UserDefaults mDefaults;
};

}  // namespace orvex
