#include "platform/UserDefaults.h"

#include <filesystem>

namespace orvex {

UserDefaults::UserDefaults(std::string path) : mPath(std::move(path)) {
    if (!mPath.empty())
        if (auto stored = PropertyList::readFile(mPath)) mValues = std::move(*stored);
}

bool UserDefaults::boolForKey(const std::string& key) const {
    std::lock_guard<std::mutex> guard(mMutex);
    return mValues.getBool(key);
}

std::int64_t UserDefaults::integerForKey(const std::string& key) const {
    std::lock_guard<std::mutex> guard(mMutex);
    return mValues.getInt(key);
}

std::optional<std::string> UserDefaults::stringForKey(const std::string& key) const {
    std::lock_guard<std::mutex> guard(mMutex);
    if (!mValues.has(key)) return std::nullopt;
    return mValues.getString(key);
}

bool UserDefaults::hasKey(const std::string& key) const {
    std::lock_guard<std::mutex> guard(mMutex);
    return mValues.has(key);
}

void UserDefaults::setBool(const std::string& key, bool value) {
    std::lock_guard<std::mutex> guard(mMutex);
    mValues.setBool(key, value);
}

void UserDefaults::setInteger(const std::string& key, std::int64_t value) {
    std::lock_guard<std::mutex> guard(mMutex);
    mValues.setInt(key, value);
}

void UserDefaults::setString(const std::string& key, const std::string& value) {
    std::lock_guard<std::mutex> guard(mMutex);
    mValues.setString(key, value);
}

bool UserDefaults::synchronize() const {
    std::lock_guard<std::mutex> guard(mMutex);
    if (mPath.empty()) return true;
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(mPath).parent_path(), error);
    return mValues.writeFileAtomically(mPath);
}

}  // namespace orvex
