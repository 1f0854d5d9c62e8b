// The channels and their mix analysed together give the records of each stream analysed on its
// own: the mix's warp search from the channels' spectra chooses the warps a search of its own
// chooses, and all the rest of the mix's record comes from its own samples.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "AnalysisHelpers.h"
#include "dsp/StreamSetAnalyzer.h"
#include "support/Signals.h"

namespace orvex::test {
namespace {

constexpr std::int64_t kFrameSize = 4096;
constexpr std::int64_t kOverlap = 32;
constexpr std::int64_t kHop = kFrameSize / kOverlap;

// The records of a stream analysed alone, sample by sample.
std::vector<std::unique_ptr<FrameRecord>> aloneRecords(const std::vector<float>& samples) {
    SpectralProcessor processor(kFrameSize, kOverlap, 4, 44100.0);
    RecordSink sink;
    sink.attach(processor);
    processor.feedSamples(static_cast<std::int64_t>(samples.size()), samples.data());
    return std::move(sink.records);
}

// Analyses every frame of the streams (mix first) together; frame k ends at (k + 1) hops, with
// zeros before the start. records[frame][stream].
std::vector<std::vector<FrameRecord>> togetherRecords(const std::vector<std::vector<float>>& streams,
                                                      std::size_t frames) {
    StreamSetAnalyzer analyzer(static_cast<int>(streams.size()) - 1, kFrameSize, kOverlap, 4, 44100.0, 1.1f, 11);
    std::vector<std::vector<float>> padded;
    for (const auto& stream : streams) {
        padded.emplace_back(std::size_t(kFrameSize), 0.0f);
        padded.back().insert(padded.back().end(), stream.begin(), stream.end());
    }
    std::vector<std::vector<FrameRecord>> records(frames, std::vector<FrameRecord>(streams.size()));
    std::vector<const float*> framePointers(streams.size());
    std::vector<FrameRecord*> recordPointers(streams.size());
    for (std::size_t k = 0; k < frames; ++k) {
        for (std::size_t s = 0; s < streams.size(); ++s) {
            framePointers[s] = padded[s].data() + (k + 1) * kHop;
            recordPointers[s] = &records[k][s];
        }
        analyzer.analyze(framePointers.data(), recordPointers.data());
    }
    return records;
}

bool sameBytes(const FrameRecord& a, const FrameRecord& b) {
    return std::memcmp(&a, &b, sizeof(FrameRecord)) == 0;
}

// Every stream's records byte for byte as analysed alone; the warp choices are the test signals'
// own (most frames of the music warped), and nothing else may differ.
void expectAloneRecords(const Channels& channels) {
    std::vector<std::vector<float>> streams{channelMean(channels)};
    streams.insert(streams.end(), channels.begin(), channels.end());
    std::vector<std::vector<std::unique_ptr<FrameRecord>>> alone;
    for (const auto& stream : streams) alone.push_back(aloneRecords(stream));
    const std::size_t frames = alone[0].size();
    ASSERT_GT(frames, 100u);
    const auto together = togetherRecords(streams, frames);
    for (std::size_t s = 0; s < streams.size(); ++s) {
        int warped = 0;
        for (std::size_t k = 0; k < frames; ++k) {
            const std::string where = "stream " + std::to_string(s) + " frame " + std::to_string(k);
            ASSERT_EQ(together[k][s].warpFactor, alone[s][k]->warpFactor) << where;
            ASSERT_TRUE(sameBytes(together[k][s], *alone[s][k])) << where;
            warped += together[k][s].warpFactor != 1.0f;
        }
        EXPECT_GT(warped * 4, int(frames)) << "stream " << s << ": the warp search decides little here";
    }
}

TEST(StreamSetAnalyzer, StereoAndThreeChannelsGiveEachStreamsOwnRecords) {
    const std::int64_t length = 22050;
    Channels music = musicLike(length);
    {
        SCOPED_TRACE("stereo");
        expectAloneRecords(music);
    }
    std::vector<float> third = noise(length, 0.02, 9);
    mixInto(third, chirp(300.0, 500.0, 44100.0, length, 0.3));
    music.push_back(std::move(third));
    SCOPED_TRACE("three channels");
    expectAloneRecords(music);
}

// The mix of one channel is the channel, but for negative zeros (0 + -0 is +0): where the
// channel's silence is written as -0, the mix's frames are its own samples' records.
TEST(StreamSetAnalyzer, TheMixOfOneChannelIsTheChannelEvenOverNegativeZeros) {
    std::vector<float> channel = musicLike(22050)[0];
    std::fill(channel.begin() + 6000, channel.begin() + 14000, -0.0f);
    std::fill(channel.begin() + 14000, channel.begin() + 16000, 0.0f);
    const std::vector<float> mix = channelMean({channel});
    const auto aloneMix = aloneRecords(mix);
    const auto aloneChannel = aloneRecords(channel);
    const auto together = togetherRecords({mix, channel}, aloneMix.size());
    ASSERT_GT(aloneMix.size(), 100u);
    for (std::size_t k = 0; k < aloneMix.size(); ++k) {
        EXPECT_TRUE(sameBytes(together[k][0], *aloneMix[k])) << "mix frame " << k;
        EXPECT_TRUE(sameBytes(together[k][1], *aloneChannel[k])) << "channel frame " << k;
    }
}

}  // namespace
}  // namespace orvex::test
