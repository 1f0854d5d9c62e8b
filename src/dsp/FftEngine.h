#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

namespace orvex {

// Single-precision FFTs on interleaved complex data (re, im, re, im, ...).
// The platform path runs FFTW plans made once per engine and size (the real transforms' plans
// as FftPlanning makes them); the portable path is an in-place radix-2 transform driven by a
// cosine table. Both give the same results within float rounding. One engine is used by one thread at a time; engines on different threads
// are independent (planning is made thread-safe process-wide).
class FftEngine {
public:
    enum class Path { Platform, Portable };

    // maxSize: the largest power-of-two size the engine will be asked for.
    explicit FftEngine(std::int64_t maxSize, Path path = Path::Platform);
    ~FftEngine();
    FftEngine(const FftEngine&) = delete;
    FftEngine& operator=(const FftEngine&) = delete;

    // In place on m complex values: X[k] = sum x[n] e^(-2 pi i k n / m), no scaling.
    void complexForward(float* data, std::int64_t m);
    // Clears complex values m/2 .. m-1, then in place x[n] = (1/m) sum X[k] e^(+2 pi i k n / m).
    void oneSidedInverse(float* data, std::int64_t m);
    // Forward transform of m real samples: writes the complex values 0 .. m/2 (m + 2 floats),
    // equal to complexForward of the same samples with zero imaginary parts.
    void realForward(const float* input, float* output, std::int64_t m);

    // The real part of oneSidedInverse through a complex-to-real transform, at about half the
    // cost: spectrum holds the complex values 0 .. m/2 (m + 2 floats; value m/2 is ignored) and
    // is overwritten; output gets the first count samples of
    // x[n] = (1/m) Re sum over k < m/2 of X[k] e^(+2 pi i k n / m).
    void realInverse(float* spectrum, float* output, std::int64_t m, std::int64_t count);

    bool usesPlatform() const { return mPlatform != nullptr; }
    std::int64_t maxSize() const { return mMaxSize; }
    // Makes the platform plans for size m now, so the first transform does not plan.
    void prepare(std::int64_t m);
    // Makes the platform plans of these sizes once in this process, so that engines made later
    // (on any thread) find them planned: measuring happens here, not in the middle of a run.
    static void preparePlans(std::initializer_list<std::int64_t> sizes);

private:
    struct PlatformContext;
    void selectSize(std::int64_t m);
    void portableTransform(float* data, bool inverse) const;

    std::int64_t mMaxSize;
    std::int64_t mSize = 0;
    int mLog2 = 0;
    std::vector<float> mCosTable;   // cos(2 pi k / size), k = 0 .. size/4 (portable path)
    std::vector<float> mRealScratch;  // portable realForward work area
    std::unique_ptr<PlatformContext> mPlatform;
};

}  // namespace orvex
