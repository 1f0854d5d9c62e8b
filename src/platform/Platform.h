#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/PropertyList.h"

namespace orvex {

// The button that answered a modal alert.
enum class AlertButton { Default, Alternate, Other };

// Everything the Qt-free logic needs from the desktop. The desktop app installs a Qt
// implementation; orvex-cli and the tests install a HeadlessPlatform.
//
// Threads. Each method says which threads may call it. The rule that keeps this free of
// deadlocks: the main thread never waits on a worker that may wait on the main thread. A
// worker therefore never asks for a modal alert (runAlert is main-thread only) and reports a
// failure through FailureChannel, which posts without waiting; a worker that must wait for a
// posted call (postToMainThread with wait) may do so only while its owner on the main thread
// stops it by signalling and finishes when it reports, never by joining it.
class Platform {
public:
    virtual ~Platform() = default;

    // The process-wide instance. A HeadlessPlatform is installed until someone installs another.
    // Any thread; install() on the main thread before workers start (calls already made keep
    // the instance they got: a replaced instance saves its defaults and lives until the
    // process ends, so a late worker's reference never dangles).
    static Platform& shared();
    static std::shared_ptr<Platform> sharedPtr();
    static void install(std::shared_ptr<Platform> platform);

    // Modal alert with one to three buttons (default first); blocks until answered. Main thread
    // only: a worker reports through FailureChannel instead.
    virtual AlertButton runAlert(const std::string& title, const std::string& message,
                                 const std::vector<std::string>& buttons) = 0;
    // Any thread; never blocks.
    virtual void beep() = 0;

    // Posted calls run on the main thread in posting order. Any thread. Without wait it returns
    // at once. With wait, the caller resumes after the call has run; a call posted with wait
    // from the main thread runs at once. A worker posting with wait must not be joined by the
    // main thread (see the rule above).
    virtual void postToMainThread(std::function<void()> call, bool wait) = 0;
    // Any thread.
    virtual bool isMainThread() const = 0;

    // User defaults; a missing key reads as false, 0 or nothing. Any thread (the store locks).
    virtual bool boolForKey(const std::string& key) = 0;
    virtual std::int64_t integerForKey(const std::string& key) = 0;
    virtual std::optional<std::string> stringForKey(const std::string& key) = 0;
    virtual bool hasDefaultForKey(const std::string& key) = 0;
    virtual void setBoolForKey(const std::string& key, bool value) = 0;
    virtual void setIntegerForKey(const std::string& key, std::int64_t value) = 0;
    virtual void setStringForKey(const std::string& key, const std::string& value) = 0;
    virtual void synchronizeDefaults() = 0;

    // Property-list files: missing or unreadable reads as nothing; writes are atomic. Any thread.
    virtual std::optional<PropertyList> readDictionary(const std::string& path);
    virtual bool writeDictionary(const std::string& path, const PropertyList& dict);

    // Free bytes on the volume holding path, or -1 when it cannot be told. Any thread.
    virtual std::int64_t freeBytesOfVolume(const std::string& path);

    // Sounds of the application's resources by name and type ("finished-new", "aiff"); never
    // blocks. Any thread.
    virtual void playSound(const std::string& name, const std::string& type) = 0;
    // Main thread: hand a path to the desktop (file manager, default application, recent list).
    virtual void revealFile(const std::string& path) = 0;
    virtual void openWithDefaultApplication(const std::string& path) = 0;
    virtual void addRecentDocument(const std::string& path) = 0;

    // Priority of the calling thread: 0.0 lowest (the analysis runner), 1.0 highest. Any thread,
    // for itself.
    virtual void setCurrentThreadPriority(double priority);
};

}  // namespace orvex
