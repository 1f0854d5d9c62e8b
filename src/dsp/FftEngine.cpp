#include "dsp/FftEngine.h"

#include "dsp/FftPlanning.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <numbers>

namespace orvex {

namespace {

struct FftwFree {
    void operator()(float* p) const { fftwf_free(p); }
};
using FftwBuffer = std::unique_ptr<float[], FftwFree>;

FftwBuffer allocate(std::int64_t floats) {
    return FftwBuffer(fftwf_alloc_real(static_cast<size_t>(floats)));
}

void makePlannerThreadSafe() {
    static std::once_flag once;
    std::call_once(once, [] { fftwf_make_planner_thread_safe(); });
}

int log2Of(std::int64_t m) {
    int bits = 0;
    while ((std::int64_t{1} << (bits + 1)) <= m) ++bits;
    return bits;
}

bool aligned(const float* p) { return fftwf_alignment_of(const_cast<float*>(p)) == 0; }

}  // namespace

// FFTW state: aligned work arrays of the maximum size and the plans of every size used so far.
struct FftEngine::PlatformContext {
    struct Plans {
        std::int64_t size;
        fftwf_plan forward;
        fftwf_plan inverse;
        fftwf_plan real;
        fftwf_plan realInverse;
    };
    std::int64_t maxSize;
    FftwBuffer complexBuffer;  // 2 x maxSize floats, in-place complex transforms
    FftwBuffer realInput;      // maxSize floats
    FftwBuffer realOutput;     // maxSize + 2 floats
    FftwBuffer inverseOutput;  // maxSize floats, complex-to-real results
    std::vector<Plans> plans;

    explicit PlatformContext(std::int64_t size)
        : maxSize(size),
          complexBuffer(allocate(2 * size)),
          realInput(allocate(size)),
          realOutput(allocate(size + 2)),
          inverseOutput(allocate(size)) {}

    ~PlatformContext() {
        for (const Plans& p : plans) {
            fftwf_destroy_plan(p.forward);
            fftwf_destroy_plan(p.inverse);
            fftwf_destroy_plan(p.real);
            fftwf_destroy_plan(p.realInverse);
        }
    }

    bool buffersReady() const { return complexBuffer && realInput && realOutput && inverseOutput; }

    // Returns the plans for size m, making them on first use; null when FFTW cannot plan.
    const Plans* plansFor(std::int64_t m) {
        for (const Plans& p : plans)
            if (p.size == m) return &p;
        auto* c = reinterpret_cast<fftwf_complex*>(complexBuffer.get());
        auto* r = reinterpret_cast<fftwf_complex*>(realOutput.get());
        const int n = static_cast<int>(m);
        // The real transforms carry the analysis and the synthesis and get the process's
        // (measured) plans; the complex ones serve light work and are estimated.
        FftPlanning& planning = FftPlanning::process();
        auto* real = static_cast<fftwf_plan>(planning.plan(
            [&](unsigned flags) { return static_cast<void*>(fftwf_plan_dft_r2c_1d(n, realInput.get(), r, flags)); }));
        auto* realInverse = static_cast<fftwf_plan>(planning.plan([&](unsigned flags) {
            return static_cast<void*>(fftwf_plan_dft_c2r_1d(n, c, inverseOutput.get(), flags));
        }));
        auto complexPlan = [&](int sign) {
            return static_cast<fftwf_plan>(planning.planEstimated(
                [&](unsigned flags) { return static_cast<void*>(fftwf_plan_dft_1d(n, c, c, sign, flags)); }));
        };
        Plans p{m, complexPlan(FFTW_FORWARD), complexPlan(FFTW_BACKWARD), real, realInverse};
        if (!p.forward || !p.inverse || !p.real || !p.realInverse) {
            for (fftwf_plan q : {p.forward, p.inverse, p.real, p.realInverse})
                if (q) fftwf_destroy_plan(q);
            return nullptr;
        }
        plans.push_back(p);
        return &plans.back();
    }

    void runComplex(fftwf_plan plan, float* data, std::int64_t m) {
        if (aligned(data)) {
            auto* c = reinterpret_cast<fftwf_complex*>(data);
            fftwf_execute_dft(plan, c, c);
            return;
        }
        std::memcpy(complexBuffer.get(), data, sizeof(float) * 2 * m);
        auto* c = reinterpret_cast<fftwf_complex*>(complexBuffer.get());
        fftwf_execute_dft(plan, c, c);
        std::memcpy(data, complexBuffer.get(), sizeof(float) * 2 * m);
    }

    void runReal(fftwf_plan plan, const float* input, float* output, std::int64_t m) {
        float* in = const_cast<float*>(input);  // an out-of-place r2c plan leaves its input alone
        if (!aligned(input)) {
            std::memcpy(realInput.get(), input, sizeof(float) * m);
            in = realInput.get();
        }
        if (aligned(output) && output != in) {
            fftwf_execute_dft_r2c(plan, in, reinterpret_cast<fftwf_complex*>(output));
            return;
        }
        fftwf_execute_dft_r2c(plan, in, reinterpret_cast<fftwf_complex*>(realOutput.get()));
        std::memcpy(output, realOutput.get(), sizeof(float) * (m + 2));
    }

    // Complex-to-real into inverseOutput (the transform destroys its input).
    const float* runRealInverse(fftwf_plan plan, float* spectrum, std::int64_t m) {
        float* in = spectrum;
        if (!aligned(spectrum)) {
            std::memcpy(complexBuffer.get(), spectrum, sizeof(float) * (m + 2));
            in = complexBuffer.get();
        }
        fftwf_execute_dft_c2r(plan, reinterpret_cast<fftwf_complex*>(in), inverseOutput.get());
        return inverseOutput.get();
    }
};

FftEngine::FftEngine(std::int64_t maxSize, Path path) : mMaxSize(maxSize) {
    if (path != Path::Platform) return;
    makePlannerThreadSafe();
    auto context = std::make_unique<PlatformContext>(maxSize);
    // Without its work arrays or a plan for the maximum size the engine computes portably.
    if (context->buffersReady() && context->plansFor(maxSize)) mPlatform = std::move(context);
}

FftEngine::~FftEngine() = default;

void FftEngine::preparePlans(std::initializer_list<std::int64_t> sizes) {
    for (std::int64_t size : sizes) FftEngine engine(size);
}

void FftEngine::prepare(std::int64_t m) {
    if (mPlatform && !mPlatform->plansFor(m)) mPlatform.reset();
}

void FftEngine::selectSize(std::int64_t m) {
    if (m == mSize) return;
    mSize = m;
    mLog2 = log2Of(m);
    if (mPlatform) return;
    // Built for every size (not only 2^3 .. 2^19) so that any power of two transforms correctly.
    const std::int64_t quarter = m / 4;
    mCosTable.resize(static_cast<size_t>(quarter + 1));
    for (std::int64_t k = 0; k <= quarter; ++k)
        mCosTable[k] = static_cast<float>(std::cos(2.0 * std::numbers::pi * double(k) / double(m)));
}

void FftEngine::complexForward(float* data, std::int64_t m) {
    selectSize(m);
    if (mPlatform) {
        if (const auto* plans = mPlatform->plansFor(m)) return mPlatform->runComplex(plans->forward, data, m);
    }
    portableTransform(data, false);
}

void FftEngine::oneSidedInverse(float* data, std::int64_t m) {
    selectSize(m);
    std::fill(data + m, data + 2 * m, 0.0f);
    const PlatformContext::Plans* plans = mPlatform ? mPlatform->plansFor(m) : nullptr;
    if (plans)
        mPlatform->runComplex(plans->inverse, data, m);
    else
        portableTransform(data, true);
    const float scale = 1.0f / static_cast<float>(m);
    for (std::int64_t i = 0; i < 2 * m; ++i) data[i] *= scale;
}

void FftEngine::realForward(const float* input, float* output, std::int64_t m) {
    selectSize(m);
    if (mPlatform) {
        if (const auto* plans = mPlatform->plansFor(m)) return mPlatform->runReal(plans->real, input, output, m);
    }
    mRealScratch.assign(static_cast<size_t>(2 * m), 0.0f);
    for (std::int64_t i = 0; i < m; ++i) mRealScratch[2 * i] = input[i];
    portableTransform(mRealScratch.data(), false);
    std::copy(mRealScratch.begin(), mRealScratch.begin() + m + 2, output);
}

// The complex-to-real transform sums X[0] + X[m/2] (-1)^n + 2 Re sum over 0 < k < m/2, so
// doubling the real part of X[0] and dropping X[m/2] gives twice the wanted signal, m times.
void FftEngine::realInverse(float* spectrum, float* output, std::int64_t m, std::int64_t count) {
    selectSize(m);
    spectrum[0] *= 2.0f;
    spectrum[1] = 0.0f;
    spectrum[m] = spectrum[m + 1] = 0.0f;
    const float scale = 0.5f / static_cast<float>(m);
    if (mPlatform) {
        if (const auto* plans = mPlatform->plansFor(m)) {
            const float* full = mPlatform->runRealInverse(plans->realInverse, spectrum, m);
            for (std::int64_t i = 0; i < count; ++i) output[i] = full[i] * scale;
            return;
        }
    }
    // Portable: the full complex inverse of the Hermitian-completed spectrum.
    mRealScratch.assign(static_cast<size_t>(2 * m), 0.0f);
    std::copy(spectrum, spectrum + m + 2, mRealScratch.begin());
    for (std::int64_t k = 1; k < m / 2; ++k) {
        mRealScratch[2 * (m - k)] = spectrum[2 * k];
        mRealScratch[2 * (m - k) + 1] = -spectrum[2 * k + 1];
    }
    portableTransform(mRealScratch.data(), true);
    for (std::int64_t i = 0; i < count; ++i) output[i] = mRealScratch[2 * i] * scale;
}

// Iterative decimation-in-time radix-2 transform. Twiddles come from the quarter-wave cosine
// table: cos(2 pi j / n) and sin(2 pi j / n) for j < n/2 by symmetry.
void FftEngine::portableTransform(float* data, bool inverse) const {
    const std::int64_t n = mSize;
    if (n < 2) return;
    for (std::int64_t i = 1, j = 0; i < n; ++i) {
        std::int64_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j |= bit;
        if (i < j) {
            std::swap(data[2 * i], data[2 * j]);
            std::swap(data[2 * i + 1], data[2 * j + 1]);
        }
    }
    const std::int64_t quarter = n / 4;
    auto cosOf = [&](std::int64_t j) { return j <= quarter ? mCosTable[j] : -mCosTable[n / 2 - j]; };
    auto sinOf = [&](std::int64_t j) { return j <= quarter ? mCosTable[quarter - j] : mCosTable[j - quarter]; };
    const float sign = inverse ? 1.0f : -1.0f;
    for (std::int64_t len = 2; len <= n; len <<= 1) {
        const std::int64_t half = len / 2;
        const std::int64_t stride = n / len;
        for (std::int64_t k = 0; k < half; ++k) {
            const float wr = n >= 4 ? cosOf(k * stride) : 1.0f;
            const float wi = n >= 4 ? sign * sinOf(k * stride) : 0.0f;
            for (std::int64_t start = 0; start < n; start += len) {
                float* a = data + 2 * (start + k);
                float* b = data + 2 * (start + k + half);
                const float tr = b[0] * wr - b[1] * wi;
                const float ti = b[0] * wi + b[1] * wr;
                b[0] = a[0] - tr;
                b[1] = a[1] - ti;
                a[0] += tr;
                a[1] += ti;
            }
        }
    }
}

}  // namespace orvex
