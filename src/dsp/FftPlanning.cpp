#include "dsp/FftPlanning.h"

#include <fftw3.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>

#include <unistd.h>

namespace orvex {

namespace fs = std::filesystem;

namespace {

struct FftwString {
    void operator()(char* p) const { std::free(p); }
};

std::string versionLine() { return std::string("orvex fft wisdom ") + fftwf_version + "\n"; }

std::mutex gNoticeMutex;
std::function<void()> gNotice;
bool gNoticeGiven = false;

void giveNoticeOnce() {
    std::function<void()> notice;
    {
        std::lock_guard lock(gNoticeMutex);
        if (gNoticeGiven) return;
        gNoticeGiven = true;
        notice = gNotice;
    }
    if (notice) notice();
}

bool folderWritable(const fs::path& folder) {
    std::error_code error;
    fs::create_directories(folder, error);
    return fs::is_directory(folder, error) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

}  // namespace

fs::path FftPlanning::defaultCacheFile() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    fs::path base;
    if (cache && *cache == '/') {
        base = cache;
    } else {
        const char* home = std::getenv("HOME");
        base = fs::path(home && *home ? home : "/tmp") / ".cache";
    }
    return base / "orvex" / "fftw-wisdom";
}

FftPlanning& FftPlanning::process() {
    static FftPlanning planning = [] {
        const char* wanted = std::getenv("ORVEX_FFT_PLANS");
        const bool measure = !(wanted && std::strcmp(wanted, "estimate") == 0);
        return FftPlanning(defaultCacheFile(), measure);
    }();
    return planning;
}

FftPlanning::FftPlanning(fs::path cacheFile, bool measureWanted) : mCacheFile(std::move(cacheFile)) {
    if (!measureWanted) return;
    mLoaded = load();
    if (mLoaded || folderWritable(mCacheFile.parent_path())) mMode = Mode::Measure;
}

bool FftPlanning::load() {
    std::ifstream in(mCacheFile, std::ios::binary);
    if (!in) return false;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string header = versionLine();
    if (text.compare(0, header.size(), header) != 0) return false;
    if (fftwf_import_wisdom_from_string(text.c_str() + header.size())) return true;
    // A damaged file may have been read in part: keep nothing of it.
    fftwf_forget_wisdom();
    return false;
}

bool FftPlanning::save() const {
    const std::unique_ptr<char, FftwString> wisdom(fftwf_export_wisdom_to_string());
    if (!wisdom) return false;
    const fs::path temporary = mCacheFile.string() + ".new-" + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << versionLine() << wisdom.get();
        out.flush();
        if (!out) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code error;
    fs::rename(temporary, mCacheFile, error);
    if (error) fs::remove(temporary, error);
    return !error;
}

void* FftPlanning::plan(const std::function<void*(unsigned flags)>& make) {
    std::lock_guard lock(mPlanning);
    if (mMode == Mode::Estimate) return make(FFTW_ESTIMATE);
    if (void* known = make(FFTW_MEASURE | FFTW_WISDOM_ONLY)) return known;
    giveNoticeOnce();
    void* measured = make(FFTW_MEASURE);
    if (measured) save();
    return measured;
}

void* FftPlanning::planEstimated(const std::function<void*(unsigned flags)>& make) {
    std::lock_guard lock(mPlanning);
    return make(FFTW_ESTIMATE);
}

void FftPlanning::setMeasuringNotice(std::function<void()> notice) {
    std::lock_guard lock(gNoticeMutex);
    gNotice = std::move(notice);
    gNoticeGiven = false;
}

}  // namespace orvex
