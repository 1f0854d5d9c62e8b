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
class Platform {
public:
    virtual ~Platform() = default;

    // The process-wide instance. A HeadlessPlatform is installed until someone installs another.
    static Platform& shared();
    static std::shared_ptr<Platform> sharedPtr();
    static void install(std::shared_ptr<Platform> platform);

    // Modal alert with one to three buttons (default first); blocks until answered.
    virtual AlertButton runAlert(const std::string& title, const std::string& message,
                                 const std::vector<std::string>& buttons) = 0;
    virtual void beep() = 0;

    // Posted calls run on the main thread in posting order. With wait, the caller resumes after
    // the call has run; a call posted with wait from the main thread runs at once.
    virtual void postToMainThread(std::function<void()> call, bool wait) = 0;
    virtual bool isMainThread() const = 0;

    // User defaults; a missing key reads as false, 0 or nothing.
    virtual bool boolForKey(const std::string& key) = 0;
    virtual std::int64_t integerForKey(const std::string& key) = 0;
    virtual std::optional<std::string> stringForKey(const std::string& key) = 0;
    virtual bool hasDefaultForKey(const std::string& key) = 0;
    virtual void setBoolForKey(const std::string& key, bool value) = 0;
    virtual void setIntegerForKey(const std::string& key, std::int64_t value) = 0;
    virtual void setStringForKey(const std::string& key, const std::string& value) = 0;
    virtual void synchronizeDefaults() = 0;

    // Property-list files: missing or unreadable reads as nothing; writes are atomic.
    virtual std::optional<PropertyList> readDictionary(const std::string& path);
    virtual bool writeDictionary(const std::string& path, const PropertyList& dict);

    // Free bytes on the volume holding path, or -1 when it cannot be told.
    virtual std::int64_t freeBytesOfVolume(const std::string& path);

    // Sounds of the application's resources by name and type ("finished-new", "aiff"); never blocks.
    virtual void playSound(const std::string& name, const std::string& type) = 0;
    virtual void revealFile(const std::string& path) = 0;
    virtual void openWithDefaultApplication(const std::string& path) = 0;
    virtual void addRecentDocument(const std::string& path) = 0;

    // Priority of the calling thread: 0.0 lowest (the analysis runner), 1.0 highest.
    virtual void setCurrentThreadPriority(double priority);
};

}  // namespace orvex
