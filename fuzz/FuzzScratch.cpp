#include "FuzzScratch.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace orvex::fuzz {

namespace {

std::string makeFolder() {
    std::error_code ignored;
    const char* base = std::filesystem::is_directory("/dev/shm", ignored) && ::access("/dev/shm", W_OK) == 0
                           ? "/dev/shm"
                           : nullptr;
    std::string pattern = (base ? std::string(base) : std::filesystem::temp_directory_path(ignored).string()) +
                          "/orvex-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        std::perror("orvex fuzz: cannot make a scratch folder");
        std::abort();
    }
    return pattern;
}

}  // namespace

FuzzScratch& FuzzScratch::shared() {
    static FuzzScratch scratch;
    return scratch;
}

FuzzScratch::FuzzScratch() : mFolder(makeFolder()) {}

FuzzScratch::~FuzzScratch() {
    std::error_code ignored;
    std::filesystem::remove_all(mFolder, ignored);
}

std::string FuzzScratch::write(const std::string& name, const std::uint8_t* data, std::size_t size) const {
    const std::string target = path(name);
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) std::abort();
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) std::abort();
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return target;
}

void FuzzScratch::clear() const {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(mFolder, ignored))
        std::filesystem::remove_all(entry.path(), ignored);
}

std::uint32_t readLittle32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

}  // namespace orvex::fuzz
