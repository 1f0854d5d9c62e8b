#include "utilities/KVOutputTarget.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/DurableFile.h"

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
// The system's reason as the middle of a sentence ("permission denied").
std::string reasonText(int error) {
    std::string text = std::strerror(error);
    if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

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

// The errno of creating a new file in folder (0 when that works): the writer's own failure is
// not carried out of the decoder library, so the same creation is tried again with a probe
// that is removed at once.
int KVOutputTarget::creationErrorIn(const std::string& folder) {
    const std::string probe = (fs::path(folder) / (".orvex-probe" + std::string(kPartialMark) +
                                                   std::to_string(::getpid())))
                                  .string();
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return errno;
    ::close(fd);
    ::unlink(probe.c_str());
    return 0;
}

std::string KVOutputTarget::creationProblem(const std::string& path) {
    if (std::string refusal = refusalFor(path, {}); !refusal.empty()) return refusal;
    const std::string folder = DurableFile::folderOf(path);
    const std::string start = path + " cannot be created: ";
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) {
        const int reason = errno;
        return start + (reason == ENOENT ? "the folder " + folder + " does not exist"
                                         : "the folder " + folder + " cannot be reached (" + std::strerror(reason) + ")");
    }
    if (!S_ISDIR(info.st_mode)) return start + folder + " is not a folder";
    const int reason = creationErrorIn(folder);
    if (reason == ENOSPC || reason == EDQUOT) return start + reasonText(reason) + " (the disk holding " + folder + ")";
    if (reason == ENAMETOOLONG) return start + reasonText(reason);
    // Permission, a read-only volume, or a folder that takes no new entries (as /proc does,
    // which answers "No such file or directory" even to root).
    const std::string why = reason != 0 ? reasonText(reason) : "the file could not be opened for writing";
    return start + why + " in the folder " + folder + "; make sure you have permission to write to the folder";
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
