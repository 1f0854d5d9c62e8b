#pragma once

#include <filesystem>
#include <functional>
#include <mutex>

namespace orvex {

// How this process makes its FFTW plans for the real transforms the analysis and the synthesis
// run most: measured once per machine (FFTW picks the fastest algorithm by timing it) with the
// result, FFTW's "wisdom", kept in a cache file so that later runs plan at once; or estimated,
// when the cache cannot be written (measuring at every start would cost seconds) or when
// ORVEX_FFT_PLANS=estimate asks for plans that do not depend on timing (the test suite does, so
// that its stored results are the same on every run and every machine).
// The cache file starts with a line naming the FFTW version; a file of another version, or one
// FFTW cannot read, is ignored and replaced. It is written to a temporary name and renamed.
class FftPlanning {
public:
    enum class Mode { Estimate, Measure };

    // The process-wide planning: its cache is "fftw-wisdom" in $XDG_CACHE_HOME/orvex/
    // (~/.cache/orvex/ when unset), read on first use.
    static FftPlanning& process();
    // A planning of its own cache file (tests); reads the file now.
    explicit FftPlanning(std::filesystem::path cacheFile, bool measureWanted = true);

    Mode mode() const { return mMode; }
    // Whether the cache held wisdom FFTW accepted.
    bool loadedWisdom() const { return mLoaded; }

    // Makes a plan with the planning's flags: make(flags) is called with FFTW_ESTIMATE, or
    // first with FFTW_MEASURE | FFTW_WISDOM_ONLY and, when the cache knows no plan of that kind,
    // with FFTW_MEASURE, after which the cache is written.
    void* plan(const std::function<void*(unsigned flags)>& make);
    // Makes a plan with FFTW_ESTIMATE whatever the mode. Plans are made one at a time, so that
    // writing the cache never reads FFTW's wisdom while another thread adds to it.
    void* planEstimated(const std::function<void*(unsigned flags)>& make);

    // Called once, on the thread that plans, before the first plan this process measures (a
    // progress line: measuring takes about a second per transform size).
    static void setMeasuringNotice(std::function<void()> notice);

    // The cache of this machine: $XDG_CACHE_HOME/orvex/fftw-wisdom.
    static std::filesystem::path defaultCacheFile();

private:
    bool load();
    bool save() const;

    std::filesystem::path mCacheFile;
    Mode mMode = Mode::Estimate;
    bool mLoaded = false;
    std::mutex mPlanning;
};

}  // namespace orvex
