#include "platform/HeadlessPlatform.h"

#include <cstdio>
#include <future>

namespace orvex {

HeadlessPlatform::HeadlessPlatform(std::string defaultsPath)
    : mMainThread(std::this_thread::get_id()), mDefaults(std::move(defaultsPath)) {}

AlertButton HeadlessPlatform::runAlert(const std::string& title, const std::string& message,
                                       const std::vector<std::string>& buttons) {
    std::lock_guard<std::mutex> guard(mMutex);
    AlertButton answer = AlertButton::Default;
    if (!mAnswers.empty()) {
        answer = mAnswers.front();
        mAnswers.pop_front();
    }
    if (mEchoAlerts) std::fprintf(stderr, "%s: %s\n", title.c_str(), message.c_str());
    mAlerts.push_back({title, message, buttons, answer});
    return answer;
}

void HeadlessPlatform::beep() {
    std::lock_guard<std::mutex> guard(mMutex);
    ++mBeeps;
}

void HeadlessPlatform::postToMainThread(std::function<void()> call, bool wait) {
    if (wait && isMainThread()) {
        call();
        return;
    }
    if (!wait) {
        std::lock_guard<std::mutex> guard(mMutex);
        mQueue.push_back(std::move(call));
        mQueueChanged.notify_all();
        return;
    }
    // A worker waits for its call; the main thread runs it when it pumps, so holding no lock
    // while waiting keeps the main thread free to take any monitor the worker does not hold.
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    {
        std::lock_guard<std::mutex> guard(mMutex);
        mQueue.push_back([call = std::move(call), done] {
            call();
            done->set_value();
        });
        mQueueChanged.notify_all();
    }
    finished.wait();
}

bool HeadlessPlatform::isMainThread() const {
    std::lock_guard<std::mutex> guard(mMutex);
    return std::this_thread::get_id() == mMainThread;
}

void HeadlessPlatform::setMainThread(std::thread::id id) {
    std::lock_guard<std::mutex> guard(mMutex);
    mMainThread = id;
}

void HeadlessPlatform::queueAlertAnswer(AlertButton answer) {
    std::lock_guard<std::mutex> guard(mMutex);
    mAnswers.push_back(answer);
}

void HeadlessPlatform::setEchoAlerts(bool echo) {
    std::lock_guard<std::mutex> guard(mMutex);
    mEchoAlerts = echo;
}

int HeadlessPlatform::pumpMainThread() {
    int ran = 0;
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard<std::mutex> guard(mMutex);
            if (mQueue.empty()) return ran;
            call = std::move(mQueue.front());
            mQueue.pop_front();
        }
        call();
        ++ran;
    }
}

bool HeadlessPlatform::pumpMainThreadUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        pumpMainThread();
        if (pred()) return true;
        std::unique_lock<std::mutex> lock(mMutex);
        if (std::chrono::steady_clock::now() >= deadline) break;
        // Wake for new posts, and at least every few milliseconds to re-check pred.
        mQueueChanged.wait_for(lock, std::chrono::milliseconds(5), [this] { return !mQueue.empty(); });
    }
    pumpMainThread();
    return pred();
}

bool HeadlessPlatform::boolForKey(const std::string& key) { return mDefaults.boolForKey(key); }
std::int64_t HeadlessPlatform::integerForKey(const std::string& key) { return mDefaults.integerForKey(key); }
std::optional<std::string> HeadlessPlatform::stringForKey(const std::string& key) { return mDefaults.stringForKey(key); }
bool HeadlessPlatform::hasDefaultForKey(const std::string& key) { return mDefaults.hasKey(key); }
void HeadlessPlatform::setBoolForKey(const std::string& key, bool value) { mDefaults.setBool(key, value); }
void HeadlessPlatform::setIntegerForKey(const std::string& key, std::int64_t value) { mDefaults.setInteger(key, value); }
void HeadlessPlatform::setStringForKey(const std::string& key, const std::string& value) {
    mDefaults.setString(key, value);
}
void HeadlessPlatform::synchronizeDefaults() { mDefaults.synchronize(); }

void HeadlessPlatform::playSound(const std::string& name, const std::string& type) {
    std::lock_guard<std::mutex> guard(mMutex);
    mSounds.push_back(name + "." + type);
}

void HeadlessPlatform::revealFile(const std::string& path) {
    std::lock_guard<std::mutex> guard(mMutex);
    mRevealed.push_back(path);
}

void HeadlessPlatform::openWithDefaultApplication(const std::string& path) {
    std::lock_guard<std::mutex> guard(mMutex);
    mOpened.push_back(path);
}

void HeadlessPlatform::addRecentDocument(const std::string& path) {
    std::lock_guard<std::mutex> guard(mMutex);
    mRecent.push_back(path);
}

std::vector<HeadlessPlatform::Alert> HeadlessPlatform::alerts() const {
    std::lock_guard<std::mutex> guard(mMutex);
    return mAlerts;
}

int HeadlessPlatform::beepCount() const {
    std::lock_guard<std::mutex> guard(mMutex);
    return mBeeps;
}

std::vector<std::string> HeadlessPlatform::soundsPlayed() const {
    std::lock_guard<std::mutex> guard(mMutex);
    return mSounds;
}

std::vector<std::string> HeadlessPlatform::revealedFiles() const {
    std::lock_guard<std::mutex> guard(mMutex);
    return mRevealed;
}

std::vector<std::string> HeadlessPlatform::openedFiles() const {
    std::lock_guard<std::mutex> guard(mMutex);
    return mOpened;
}

std::vector<std::string> HeadlessPlatform::recentDocuments() const {
    std::lock_guard<std::mutex> guard(mMutex);
    return mRecent;
}

}  // namespace orvex
