#include "utilities/KVOutputTarget.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace orvex {

namespace {

namespace fs = std::filesystem;

constexpr const char* kPartialMark = ".partial-";

bool sameFile(const struct stat& a, const std::string& other) {
    struct stat b {};
    return ::stat(other.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// True when the folder that would hold path, or any folder above it, is an analysis folder.
bool insideAnalysisFolder(const std::string& path) {
    std::error_code error;
    const fs::path folder = fs::weakly_canonical(fs::absolute(path, error).parent_path(), error);
    for (const fs::path& part : folder)
        if (part.extension() == ".analysis") return true;
    return false;
}

std::string typeRefusal(const std::string& path, const struct stat& info) {
    if (S_ISLNK(info.st_mode)) return path + " is a symbolic link; give a new file or an existing regular file";
    if (S_ISDIR(info.st_mode)) return path + " is a folder; give a file name";
    if (!S_ISREG(info.st_mode))
        return path + " is not a regular file (a device, pipe or socket); give a new file or an existing regular file";
    return "";
}

// The process id in a temporary file's name (".NAME.partial-PID", or ".NAME.partial-PID.N" for
// a dictionary saved several times at once), or 0 when the name is not one of ours.
pid_t writerOf(const std::string& name) {
    const auto at = name.rfind(kPartialMark);
    if (at == std::string::npos) return 0;
    std::string digits = name.substr(at + std::strlen(kPartialMark));
    if (const auto dot = digits.find('.'); dot != std::string::npos) {
        const std::string serial = digits.substr(dot + 1);
        if (serial.empty() || serial.find_first_not_of("0123456789") != std::string::npos) return 0;
        digits.resize(dot);
    }
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) return 0;
    return static_cast<pid_t>(std::stol(digits));
}

}  // namespace

std::string KVOutputTarget::refusalFor(const std::string& path, const std::vector<std::string>& protectedFiles) {
    if (path.empty() || fs::path(path).filename().empty()) return "No output file name given";
    if (insideAnalysisFolder(path)) return path + " lies inside an analysis folder; write the output elsewhere";
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        if (errno == ENOENT) return "";
        return path + " cannot be written: " + std::strerror(errno);
    }
    if (std::string type = typeRefusal(path, info); !type.empty()) return type;
    for (const std::string& file : protectedFiles)
        if (!file.empty() && sameFile(info, file)) return path + " is the sound file being worked on; give another name";
    return "";
}

std::string KVOutputTarget::partialPathFor(const std::string& target) {
    const fs::path path(target);
    return (path.parent_path() / ("." + path.filename().string() + kPartialMark + std::to_string(::getpid())))
        .string();
}

int KVOutputTarget::removeStalePartials(const std::string& folder) {
    std::error_code error;
    fs::directory_iterator entries(folder.empty() ? "." : folder, error);
    int removed = 0;
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        const pid_t writer = writerOf(entries->path().filename().string());
        if (writer <= 0 || writer == ::getpid()) continue;
        if (::kill(writer, 0) == 0 || errno != ESRCH) continue;  // still running (or not ours to ask)
        std::error_code ignored;
        if (entries->is_regular_file(ignored) && fs::remove(entries->path(), ignored)) ++removed;
    }
    return removed;
}

int KVOutputTarget::removeStalePartialsBelow(const std::string& folder) {
    int removed = removeStalePartials(folder);
    std::error_code error;
    fs::recursive_directory_iterator entries(folder, error);
    for (; !error && entries != fs::recursive_directory_iterator(); entries.increment(error)) {
        std::error_code ignored;
        if (entries->is_directory(ignored) && !entries->is_symlink(ignored))
            removed += removeStalePartials(entries->path().string());
    }
    return removed;
}

}  // namespace orvex
