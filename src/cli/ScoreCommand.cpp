#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CliCommand.h"
#include "CliGuards.h"
#include "audiofile/KVAudioFileReader.h"
#include "audiofile/OwnedChannelBuffers.h"
#include "audiofile/SoundFileDiagnosis.h"
#include "document/KVOpenFileCheck.h"
#include "dsp/KVSeparationScore.h"

namespace orvex::cli {

namespace {

using Channels = KVSeparationScore::Channels;
using Comparison = KVSeparationScore::Comparison;
using Figures = KVSeparationScore::Figures;

constexpr FrameCount kReadBlock = 65536;

struct ScoreOptions {
    std::string estimate, reference, mix;
    bool json = false;
};

// The whole file as float channels at the working rate, or a line saying why not.
std::optional<Channels> readWhole(const std::string& path, const char* role) {
    if (!CliGuards::inputExists(path)) return std::nullopt;
    const auto unreadable = [&] {
        return std::string("Unreadable file \"") + displayNameOfPath(path) + "\" (the " + role +
               "): " + SoundFileDiagnosis::ofUnreadableFile(path).sentence;
    };
    double rate = 0.0;
    std::int32_t channels = 0;
    std::int64_t length = 0;
    if (KVAudioFileReader::infoForFileAtPath(path, &rate, &channels, nullptr, nullptr, &length) != 0 || channels <= 0) {
        CliCommand::fail(unreadable());
        return std::nullopt;
    }
    Channels sound(static_cast<std::size_t>(channels));
    if (length <= 0) return sound;  // no frames: compared as silence (an empty reference is refused later)
    auto reader = KVAudioFileReader::initWithFileAtPath(path, kWorkingSampleRate, channels);
    const OwnedChannelBuffers buffers(channels, kReadBlock);
    if (!reader || !buffers.complete()) {
        CliCommand::fail(unreadable());
        return std::nullopt;
    }
    for (auto& channel : sound) channel.reserve(static_cast<std::size_t>(std::max<FrameCount>(reader->length(), 0)));
    for (;;) {
        const std::int32_t got = reader->readFrames(kReadBlock, buffers.get());
        if (got < 0) {
            CliCommand::fail(std::string("Reading \"") + displayNameOfPath(path) + "\" (the " + role +
                             ") failed part of the way: the file may be damaged or cut short");
            return std::nullopt;
        }
        if (got == 0) break;
        for (std::int32_t c = 0; c < channels; ++c)
            sound[c].insert(sound[c].end(), buffers.get()[c], buffers.get()[c] + got);
    }
    return sound;
}

std::string number(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

Figures difference(const Figures& a, const Figures& b) {
    return {a.snr - b.snr, a.siSdr - b.siSdr};
}

// The per-channel improvement is given when both comparisons have as many channels.
std::vector<Figures> channelImprovement(const Comparison& estimate, const Comparison& mix) {
    std::vector<Figures> figures;
    if (estimate.channels.size() != mix.channels.size()) return figures;
    for (std::size_t c = 0; c < estimate.channels.size(); ++c)
        figures.push_back(difference(estimate.channels[c], mix.channels[c]));
    return figures;
}

void printLines(const std::string& prefix, const std::string& suffix, const std::vector<Figures>& channels,
                const Figures& mono) {
    for (std::size_t c = 0; c < channels.size(); ++c) {
        std::printf("%ssnr%s channel %zu: %s dB\n", prefix.c_str(), suffix.c_str(), c,
                    number(channels[c].snr, 3).c_str());
        std::printf("%ssi-sdr%s channel %zu: %s dB\n", prefix.c_str(), suffix.c_str(), c,
                    number(channels[c].siSdr, 3).c_str());
    }
    std::printf("%ssnr%s mono: %s dB\n", prefix.c_str(), suffix.c_str(), number(mono.snr, 3).c_str());
    std::printf("%ssi-sdr%s mono: %s dB\n", prefix.c_str(), suffix.c_str(), number(mono.siSdr, 3).c_str());
}

std::string jsonFigures(const Figures& figures) {
    return "{\"snr\": " + number(figures.snr, 6) + ", \"si_sdr\": " + number(figures.siSdr, 6) + "}";
}

std::string jsonScores(const std::vector<Figures>& channels, const Figures& mono) {
    std::string text = "\"channels\": [";
    for (std::size_t c = 0; c < channels.size(); ++c) text += (c ? ", " : "") + jsonFigures(channels[c]);
    return text + "], \"mono\": " + jsonFigures(mono);
}

int runScore(const ScoreOptions& options) {
    const auto reference = readWhole(options.reference, "reference");
    if (!reference) return 1;
    const auto estimate = readWhole(options.estimate, "estimate");
    if (!estimate) return 1;
    std::optional<Channels> mix;
    if (!options.mix.empty() && !(mix = readWhole(options.mix, "mix"))) return 1;

    const Comparison scored = KVSeparationScore::compare(*reference, *estimate);
    if (!scored.ok()) {
        CliCommand::fail("cannot score the estimate against the reference: " + scored.failure);
        return 1;
    }
    std::optional<Comparison> mixed;
    if (mix) {
        mixed = KVSeparationScore::compare(*reference, *mix);
        if (!mixed->ok()) {
            CliCommand::fail("cannot score the mix against the reference: " + mixed->failure);
            return 1;
        }
    }

    if (options.json) {
        std::string text = "{\"lag\": " + std::to_string(scored.lag) + ", " + jsonScores(scored.channels, scored.mono);
        if (mixed) {
            text += ", \"mix\": {\"lag\": " + std::to_string(mixed->lag) + ", " +
                    jsonScores(mixed->channels, mixed->mono) + "}";
            text += ", \"improvement\": {" +
                    jsonScores(channelImprovement(scored, *mixed), difference(scored.mono, mixed->mono)) + "}";
        }
        std::printf("%s}\n", text.c_str());
        return 0;
    }
    std::printf("lag: %lld samples\n", static_cast<long long>(scored.lag));
    printLines("", "", scored.channels, scored.mono);
    if (mixed) {
        std::printf("mix lag: %lld samples\n", static_cast<long long>(mixed->lag));
        printLines("mix ", "", mixed->channels, mixed->mono);
        printLines("", " improvement", channelImprovement(scored, *mixed), difference(scored.mono, mixed->mono));
    }
    return 0;
}

void setupScore(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ScoreOptions>();
    CLI::App* command = app.add_subcommand("score", "Score a separated estimate against its reference (SNR, SI-SDR)");
    command->footer(
        "Both files (and the mix) are read at 44100 Hz. The estimate is aligned to the reference by the whole-sample "
        "lag d in -8192..+8192 that maximises sum ref[n] * est[n + d] over the mono sums; samples outside a file count "
        "as zeros and the compared length is the reference's. Then, per channel and for the mono sum (the mean of the "
        "channels): SNR = 10 log10(|s|^2 / |s - e|^2) with no gain, and SI-SDR = 10 log10(|a s|^2 / |a s - e|^2) "
        "with a = <s, e> / <s, s>. A mono file is compared with the mono sum of the other. With --mix the mix is "
        "scored the same way (with its own lag) and the improvement (estimate minus mix) is printed too. Figures are "
        "limited to +-300 dB: a perfect match (zero error) prints 300 dB, an estimate with nothing of the reference "
        "in it (silent or orthogonal) an SI-SDR of -300 dB. A silent reference is an error.");
    command->add_option("ESTIMATE", options->estimate, "The separated sound file to score")->required();
    command->add_option("--reference", options->reference, "The true source, as a sound file")->required();
    command->add_option("--mix", options->mix, "The mixture the estimate was separated from, scored for comparison");
    command->add_flag("--json", options->json, "Print one JSON object instead of one line per figure");
    command->callback([options, &exitCode] { exitCode = runScore(*options); });
}

const CliCommand::Registration registration("score", setupScore);

}  // namespace

}  // namespace orvex::cli
