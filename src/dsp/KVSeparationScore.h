#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvex {

// Scores of a separated estimate against its reference, as orvex-cli score prints them. Works
// on whole signals held in memory, one float vector per channel; every sum is in double.
//
// The estimate is first aligned to the reference by the whole-sample lag d in -maxLag..maxLag
// that maximises the cross-correlation of the mono sums, sum over n of ref[n] * est[n + d]
// (samples outside a signal count as zeros; n runs over the reference's length). The aligned
// estimate e[n] = est[n + d], n < the reference's length, is then scored against s = ref:
//   SNR    = 10 log10(|s|^2 / |s - e|^2)                      (no gain)
//   SI-SDR = 10 log10(|a s|^2 / |a s - e|^2), a = <s, e> / <s, s>
// per channel and for the mono sum (the mean of the channels). Figures are limited to
// +-kCapDb: a zero error gives +kCapDb, nothing of the reference in the estimate (a = 0 for
// SI-SDR, a silent or orthogonal estimate) gives -kCapDb.
//
// Channel counts: equal counts are compared channel by channel; a mono signal is compared with
// the mono sum of the other (one compared channel); other combinations are refused.
class KVSeparationScore {
public:
    using Channels = std::vector<std::vector<float>>;

    static constexpr std::int64_t kMaxLag = 8192;
    static constexpr double kCapDb = 300.0;

    struct Figures {
        double snr = 0.0;
        double siSdr = 0.0;
    };

    struct Comparison {
        std::string failure;  // empty when the comparison was made
        std::int64_t lag = 0;
        std::vector<Figures> channels;  // one per compared channel
        Figures mono;

        bool ok() const { return failure.empty(); }
    };

    KVSeparationScore() = delete;

    // Aligns estimate to reference and scores it. Fails (failure set, nothing else meaningful)
    // for an empty reference or channel list, channel counts that cannot be matched, or a
    // silent reference channel or mono sum.
    static Comparison compare(const Channels& reference, const Channels& estimate, std::int64_t maxLag = kMaxLag);

    // The lag d in -maxLag..maxLag maximising sum over n < reference.size() of
    // reference[n] * estimate[n + d]. Found with single-precision FFTs in blocks summed in
    // double, then the best candidates re-evaluated exactly in double; ties go to the lag nearest
    // zero (the negative one of two equally near).
    static std::int64_t bestLag(const std::vector<double>& reference, const std::vector<double>& estimate,
                                std::int64_t maxLag = kMaxLag);

    // The figures of estimate, aligned by lag, against reference (over the reference's length).
    // The reference must not be silent.
    static Figures figures(const std::vector<double>& reference, const std::vector<double>& estimate, std::int64_t lag);

    // The mean of the channels, in double.
    static std::vector<double> monoOf(const Channels& channels);

    // sum over n < reference.size() of reference[n] * estimate[n + lag], estimate zero outside.
    static double correlationAt(const std::vector<double>& reference, const std::vector<double>& estimate,
                                std::int64_t lag);
};

}  // namespace orvex
