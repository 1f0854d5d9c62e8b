#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "platform/PropertyList.h"

namespace orvex {

// User defaults kept in memory and, when a file path is given, loaded from and synchronised to
// a property-list file (written atomically; the file's folder is created on the first write).
// A missing key reads as false, 0 or nothing. Thread-safe: every call takes one mutex.
class UserDefaults {
public:
    explicit UserDefaults(std::string path = {});

    bool boolForKey(const std::string& key) const;
    std::int64_t integerForKey(const std::string& key) const;
    std::optional<std::string> stringForKey(const std::string& key) const;
    bool hasKey(const std::string& key) const;
    void setBool(const std::string& key, bool value);
    void setInteger(const std::string& key, std::int64_t value);
    void setString(const std::string& key, const std::string& value);
    // Writes the file (nothing without a path); false when it could not be written.
    bool synchronize() const;
    const std::string& path() const { return mPath; }

private:
    mutable std::mutex mMutex;
    std::string mPath;
    PropertyList mValues;
};

}  // namespace orvex
