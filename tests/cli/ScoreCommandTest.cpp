#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "CliRunner.h"
#include "support/Signals.h"
#include "support/SoundFixtures.h"
#include "support/TempDir.h"

namespace orvex::test {
namespace {

namespace fs = std::filesystem;

// The same figures computed independently: the files read with Python's wave module, the lag
// found with numpy's double-precision FFT, the scores from their definitions. Prints the lines
// orvex-cli prints, at full precision. "json FILE" prints the lines of orvex-cli's --json
// output as read by Python's json module instead.
constexpr const char* kScoreScript = R"PY(
import json, sys, wave
import numpy as np

MAX_LAG, CAP = 8192, 300.0

def read(path):
    with wave.open(path, 'rb') as w:
        channels, width, frames = w.getnchannels(), w.getsampwidth(), w.getnframes()
        raw = np.frombuffer(w.readframes(frames), dtype=np.uint8)
    assert width == 3, width
    b = raw.reshape(-1, 3).astype(np.int64)
    v = b[:, 0] | (b[:, 1] << 8) | (b[:, 2] << 16)
    v = np.where(v >= 1 << 23, v - (1 << 24), v).astype(np.float64) / float(1 << 23)
    return v.reshape(-1, channels).T

def best_lag(r, e):
    n = 1
    while n < len(r) + len(e) + 2 * MAX_LAG:
        n *= 2
    c = np.fft.irfft(np.conj(np.fft.rfft(r, n)) * np.fft.rfft(e, n), n)  # c[d] = sum r[k] e[k + d]
    lags = np.arange(-MAX_LAG, MAX_LAG + 1)
    return int(lags[np.argmax(c[lags % n])])

def aligned(e, d, length):
    out = np.zeros(length)
    lo, hi = max(0, -d), min(length, len(e) - d)
    if hi > lo:
        out[lo:hi] = e[lo + d:hi + d]
    return out

def db(num, den):
    if num <= 0: return -CAP
    if den <= 0: return CAP
    return float(np.clip(10 * np.log10(num / den), -CAP, CAP))

def figures(s, e):
    a = np.dot(s, e) / np.dot(s, s)
    return db(np.dot(s, s), np.sum((s - e) ** 2)), db(np.sum((a * s) ** 2), np.sum((a * s - e) ** 2))

def compare(ref, est):
    rm, em = ref.mean(axis=0), est.mean(axis=0)
    d = best_lag(rm, em)
    if len(ref) == len(est):
        pairs = list(zip(ref, est))
    elif len(ref) == 1:
        pairs = [(ref[0], em)]
    else:
        pairs = [(rm, est[0])]
    length = ref.shape[1]
    return d, [figures(s, aligned(e, d, length)) for s, e in pairs], figures(rm, aligned(em, d, length))

def lines(prefix, suffix, channels, mono):
    for c, (snr, si) in enumerate(channels):
        print('%ssnr%s channel %d: %.9f dB' % (prefix, suffix, c, snr))
        print('%ssi-sdr%s channel %d: %.9f dB' % (prefix, suffix, c, si))
    print('%ssnr%s mono: %.9f dB' % (prefix, suffix, mono[0]))
    print('%ssi-sdr%s mono: %.9f dB' % (prefix, suffix, mono[1]))

def pair(o):
    assert set(o) == {'snr', 'si_sdr'}, o
    return o['snr'], o['si_sdr']

if sys.argv[1] == 'json':
    with open(sys.argv[2]) as f:
        o = json.load(f)
    assert isinstance(o, dict) and isinstance(o['lag'], int), o
    print('lag: %d samples' % o['lag'])
    lines('', '', [pair(c) for c in o['channels']], pair(o['mono']))
    if 'mix' in o:
        print('mix lag: %d samples' % o['mix']['lag'])
        lines('mix ', '', [pair(c) for c in o['mix']['channels']], pair(o['mix']['mono']))
        lines('', ' improvement', [pair(c) for c in o['improvement']['channels']], pair(o['improvement']['mono']))
    sys.exit(0)

ref, est = read(sys.argv[2]), read(sys.argv[3])
d, channels, mono = compare(ref, est)
print('lag: %d samples' % d)
lines('', '', channels, mono)
if len(sys.argv) > 4:
    md, mchannels, mmono = compare(ref, read(sys.argv[4]))
    print('mix lag: %d samples' % md)
    lines('mix ', '', mchannels, mmono)
    better = []
    if len(channels) == len(mchannels):
        better = [(a[0] - b[0], a[1] - b[1]) for a, b in zip(channels, mchannels)]
    lines('', ' improvement', better, (mono[0] - mmono[0], mono[1] - mmono[1]))
)PY";

constexpr std::int64_t kFrames = 66150;  // 1.5 s

using Figures = std::map<std::string, double>;

// "name: value ..." lines as name -> value; an unparsable line is a failure.
Figures parseLines(const std::string& text) {
    Figures figures;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const auto colon = line.find(": ");
        EXPECT_NE(colon, std::string::npos) << line;
        if (colon == std::string::npos) continue;
        std::istringstream value(line.substr(colon + 2));
        double number = 0.0;
        std::string unit;
        value >> number >> unit;
        EXPECT_TRUE(value || value.eof()) << line;
        EXPECT_TRUE(std::isfinite(number)) << line;
        EXPECT_TRUE(unit == "dB" || unit == "samples") << line;
        figures[line.substr(0, colon)] = number;
    }
    return figures;
}

void expectAgreement(const Figures& orvex, const Figures& numpy, const std::string& what) {
    ASSERT_FALSE(numpy.empty()) << what;
    EXPECT_EQ(orvex.size(), numpy.size()) << what;
    for (const auto& [name, expected] : numpy) {
        const auto found = orvex.find(name);
        ASSERT_NE(found, orvex.end()) << what << ": no line \"" << name << "\"";
        if (name.find("lag") != std::string::npos)
            EXPECT_EQ(found->second, expected) << what << ": " << name;
        else
            EXPECT_NEAR(found->second, expected, 0.01) << what << ": " << name;
    }
}

// x delayed by lag samples (negative: advanced) and scaled, over length samples.
std::vector<float> delayed(const std::vector<float>& x, std::int64_t lag, double gain, std::int64_t length) {
    std::vector<float> out(static_cast<std::size_t>(length), 0.0f);
    for (std::int64_t n = 0; n < length; ++n) {
        const std::int64_t m = n - lag;
        if (m >= 0 && m < static_cast<std::int64_t>(x.size())) out[n] = static_cast<float>(gain * x[m]);
    }
    return out;
}

std::vector<float> sum(std::vector<float> a, const std::vector<float>& b) {
    mixInto(a, b);
    return a;
}

// Sines, a chirp and noise; channel c has its own content.
Channels referenceSignal(int channels) {
    Channels sound;
    for (int c = 0; c < channels; ++c) {
        std::vector<float> x = sine(220.0 * (c + 1), 44100, kFrames, 0.3);
        mixInto(x, sine(1234.5 + 100 * c, 44100, kFrames, 0.1, 0.3 * c));
        mixInto(x, chirp(100, 4000, 44100, kFrames, 0.1));
        mixInto(x, noise(kFrames, 0.05, 11 + c));
        sound.push_back(std::move(x));
    }
    return sound;
}

// The reference scaled, shifted by lag and with independent noise of the given level per
// channel, 100 samples longer than the reference.
Channels estimateOf(const Channels& reference, std::int64_t lag, double gain, const std::vector<double>& noiseLevels,
                    std::uint32_t noiseStream) {
    Channels sound;
    const std::int64_t length = kFrames + 100;
    for (std::size_t c = 0; c < reference.size(); ++c)
        sound.push_back(sum(delayed(reference[c], lag, gain, length), noise(length, noiseLevels[c], noiseStream + c)));
    return sound;
}

Channels monoOf(const Channels& sound) {
    std::vector<float> mono(sound.front().size(), 0.0f);
    for (const auto& channel : sound)
        for (std::size_t i = 0; i < mono.size(); ++i) mono[i] += channel[i] / static_cast<float>(sound.size());
    return {mono};
}

class ScoreCommandTest : public testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(cliProgram())) GTEST_SKIP() << "orvex-cli is not built";
        if (!haveTool("/usr/bin/python3")) GTEST_SKIP() << "/usr/bin/python3 is missing";
        int code = 0;
        runCommand("/usr/bin/python3 -c 'import numpy' 2>/dev/null", &code);
        if (code != 0) GTEST_SKIP() << "numpy is missing";
        mScript = mTemp.file("score.py");
        std::ofstream(mScript) << kScoreScript;
    }

    std::string write(const std::string& name, const Channels& sound) {
        const std::string path = mTemp.file(name);
        writeWave(path, sound, 44100);  // 24-bit PCM
        return path;
    }

    // What numpy computes for the files (mix optional).
    Figures numpyFigures(const std::string& reference, const std::string& estimate, const std::string& mix = "") {
        int code = 0;
        const std::string out = runCommand("/usr/bin/python3 '" + mScript + "' expect '" + reference + "' '" +
                                               estimate + "'" + (mix.empty() ? "" : " '" + mix + "'") + " 2>&1",
                                           &code);
        EXPECT_EQ(code, 0) << out;
        return code == 0 ? parseLines(out) : Figures{};
    }

    // orvex-cli score's lines (expected to succeed quietly).
    Figures orvexFigures(const std::string& arguments) {
        const CliRun run = runCli("score " + arguments);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "");
        return parseLines(run.out);
    }

    // orvex-cli score --json, read by Python's json module and given back as lines.
    Figures orvexJsonFigures(const std::string& arguments) {
        const CliRun run = runCli("score --json " + arguments);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
        const std::string file = mTemp.file("score.json");
        std::ofstream(file) << run.out;
        int code = 0;
        const std::string out = runCommand("/usr/bin/python3 '" + mScript + "' json '" + file + "' 2>&1", &code);
        EXPECT_EQ(code, 0) << out << "\n" << run.out;
        return code == 0 ? parseLines(out) : Figures{};
    }

    TempDir mTemp;
    std::string mScript;
};

TEST_F(ScoreCommandTest, StereoEstimateDelayedBy37AgreesWithNumpy) {
    const Channels reference = referenceSignal(2);
    const std::string ref = write("reference.wav", reference);
    const std::string est = write("estimate.wav", estimateOf(reference, 37, 0.8, {0.03, 0.08}, 21));

    const Figures numpy = numpyFigures(ref, est);
    const Figures orvex = orvexFigures("'" + est + "' --reference '" + ref + "'");
    EXPECT_EQ(orvex.at("lag"), 37);
    EXPECT_EQ(numpy.at("lag"), 37);
    EXPECT_EQ(orvex.count("snr channel 1"), 1u);
    EXPECT_EQ(orvex.count("snr channel 2"), 0u);
    expectAgreement(orvex, numpy, "stereo");
    // The noisier channel scores lower, and the gain of 0.8 costs SNR but not SI-SDR.
    EXPECT_GT(orvex.at("si-sdr channel 0"), orvex.at("si-sdr channel 1") + 5);
    EXPECT_GT(orvex.at("si-sdr channel 0"), orvex.at("snr channel 0") + 3);
}

TEST_F(ScoreCommandTest, NegativeLagsAndMixedChannelCountsAgreeWithNumpy) {
    const Channels mono = referenceSignal(1);
    const std::string ref = write("mono-reference.wav", mono);
    const std::string est = write("mono-estimate.wav", estimateOf(mono, -1234, 1.1, {0.05}, 31));
    const Figures numpy = numpyFigures(ref, est);
    const Figures orvex = orvexFigures("'" + est + "' --reference '" + ref + "'");
    EXPECT_EQ(orvex.at("lag"), -1234);
    EXPECT_EQ(numpy.at("lag"), -1234);
    expectAgreement(orvex, numpy, "mono, lag -1234");
    EXPECT_NEAR(orvex.at("snr channel 0"), orvex.at("snr mono"), 1e-9);

    // A mono estimate against a stereo reference is compared with the reference's mono sum.
    const Channels stereo = referenceSignal(2);
    const std::string stereoRef = write("stereo-reference.wav", stereo);
    const std::string monoEst = write("mono-of-stereo.wav", estimateOf(monoOf(stereo), -8000, 0.5, {0.02}, 41));
    const Figures numpyMixed = numpyFigures(stereoRef, monoEst);
    const Figures orvexMixed = orvexFigures("'" + monoEst + "' --reference '" + stereoRef + "'");
    EXPECT_EQ(orvexMixed.at("lag"), -8000);
    EXPECT_EQ(orvexMixed.count("snr channel 1"), 0u);
    expectAgreement(orvexMixed, numpyMixed, "mono estimate, stereo reference");

    // And the other way round, with a positive lag at the edge of the search.
    const std::string stereoEst = write("stereo-estimate.wav", estimateOf(stereo, 8192, 1.0, {0.04, 0.04}, 51));
    const Figures numpyOther = numpyFigures(ref, stereoEst);
    const Figures orvexOther = orvexFigures("'" + stereoEst + "' --reference '" + ref + "'");
    EXPECT_EQ(orvexOther.at("lag"), 8192);
    EXPECT_EQ(numpyOther.at("lag"), 8192);
    expectAgreement(orvexOther, numpyOther, "stereo estimate, mono reference");
}

TEST_F(ScoreCommandTest, MixGivesTheImprovementAndJsonParses) {
    const Channels reference = referenceSignal(2);
    const std::string ref = write("reference.wav", reference);
    const std::string est = write("estimate.wav", estimateOf(reference, 37, 0.9, {0.02, 0.03}, 61));
    // The mixture: the reference plus a louder interferer, 12 samples late.
    Channels mixture;
    for (int c = 0; c < 2; ++c) {
        std::vector<float> interferer = sine(97.0 + 13 * c, 44100, kFrames, 0.2);
        mixInto(interferer, noise(kFrames, 0.15, 71 + c));
        mixture.push_back(delayed(sum(reference[c], interferer), 12, 0.7, kFrames + 50));
    }
    const std::string mix = write("mix.wav", mixture);

    const std::string arguments = "'" + est + "' --reference '" + ref + "' --mix '" + mix + "'";
    const Figures numpy = numpyFigures(ref, est, mix);
    const Figures orvex = orvexFigures(arguments);
    EXPECT_EQ(orvex.at("lag"), 37);
    EXPECT_EQ(orvex.at("mix lag"), 12);
    expectAgreement(orvex, numpy, "with a mix");
    for (const std::string part : {"channel 0", "channel 1", "mono"})
        for (const std::string figure : {"snr", "si-sdr"}) {
            const double improvement = orvex.at(figure + " improvement " + part);
            EXPECT_NEAR(improvement, orvex.at(figure + " " + part) - orvex.at("mix " + figure + " " + part), 0.002)
                << figure << " " << part;
            EXPECT_GT(improvement, 3.0) << figure << " " << part;
        }

    expectAgreement(orvexJsonFigures(arguments), numpy, "--json with a mix");
    expectAgreement(orvexJsonFigures("'" + est + "' --reference '" + ref + "'"), numpyFigures(ref, est), "--json");
}

TEST_F(ScoreCommandTest, APerfectMatchIsCappedAt300Decibels) {
    const Channels reference = referenceSignal(2);
    const std::string ref = write("reference.wav", reference);
    const std::string copy = write("copy.wav", reference);
    const Figures orvex = orvexFigures("'" + copy + "' --reference '" + ref + "'");
    EXPECT_EQ(orvex.at("lag"), 0);
    for (const char* name : {"snr channel 0", "si-sdr channel 1", "snr mono", "si-sdr mono"})
        EXPECT_EQ(orvex.at(name), 300.0) << name;
    expectAgreement(orvexJsonFigures("'" + copy + "' --reference '" + ref + "'"), orvex, "--json, perfect match");

    // A silent estimate keeps the reference's energy as its error and has nothing of it.
    const std::string silent = write("silent.wav", {std::vector<float>(kFrames, 0.0f)});
    const Figures nothing = orvexFigures("'" + silent + "' --reference '" + ref + "'");
    EXPECT_EQ(nothing.at("lag"), 0);
    EXPECT_NEAR(nothing.at("snr mono"), 0.0, 1e-9);
    EXPECT_EQ(nothing.at("si-sdr mono"), -300.0);

    const CliRun help = runCli("score --help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("300 dB"), std::string::npos) << help.out;
}

TEST_F(ScoreCommandTest, ArgumentErrorsAndUnreadableFilesAreOneLine) {
    const Channels reference = referenceSignal(2);
    const std::string ref = write("reference.wav", reference);
    const std::string text = mTemp.file("notes.txt");
    std::ofstream(text) << "a list of things\n";
    const std::string three = write("three.wav", referenceSignal(3));
    const std::string silent = write("silent.wav", {std::vector<float>(kFrames, 0.0f), std::vector<float>(kFrames)});
    const std::string halfSilent = write("half-silent.wav", {reference[0], std::vector<float>(kFrames, 0.0f)});
    std::vector<float> inverted = reference[0];
    for (float& v : inverted) v = -v;
    const std::string cancelling = write("cancelling.wav", {reference[0], inverted});

    struct Case {
        std::string arguments;
        int exitCode;
        std::string line;  // the start of the error line
    };
    const Case cases[] = {
        {"score '" + ref + "'", 2, "orvex-cli: --reference is required"},
        {"score --reference '" + ref + "'", 2, "orvex-cli: ESTIMATE is required"},
        {"score '" + ref + "' --reference '" + ref + "' --loudness", 2, "orvex-cli: "},
        {"score '" + text + "' --reference '" + ref + "'", 1,
         "orvex-cli: Unreadable file \"notes.txt\" (the estimate): This is not an audio file: its contents are "
         "in no sound file format.\n"},
        {"score '" + ref + "' --reference '" + text + "'", 1,
         "orvex-cli: Unreadable file \"notes.txt\" (the reference)"},
        {"score '" + ref + "' --reference '" + ref + "' --mix '" + text + "'", 1,
         "orvex-cli: Unreadable file \"notes.txt\" (the mix)"},
        {"score '" + mTemp.file("missing.wav") + "' --reference '" + ref + "'", 1,
         "orvex-cli: No such file: " + mTemp.file("missing.wav") + "\n"},
        {"score '" + ref + "' --reference '" + silent + "'", 1,
         "orvex-cli: cannot score the estimate against the reference: the reference is silent\n"},
        {"score '" + ref + "' --reference '" + halfSilent + "'", 1,
         "orvex-cli: cannot score the estimate against the reference: channel 1 of the reference is silent\n"},
        {"score '" + ref + "' --reference '" + cancelling + "'", 1,
         "orvex-cli: cannot score the estimate against the reference: the mono sum of the reference is silent"},
        {"score '" + three + "' --reference '" + ref + "'", 1,
         "orvex-cli: cannot score the estimate against the reference: a file of 2 channels"},
        {"score '" + ref + "' --reference '" + ref + "' --mix '" + three + "'", 1,
         "orvex-cli: cannot score the mix against the reference: a file of 2 channels"},
    };
    for (const Case& c : cases) {
        const CliRun run = runCli(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << "\n" << run.err;
        EXPECT_EQ(run.out, "") << c.arguments;
        EXPECT_EQ(run.err.rfind(c.line, 0), 0u) << c.arguments << "\n" << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << c.arguments << "\n" << run.err;
        EXPECT_EQ(errorLine(run.err), run.err) << c.arguments;
    }

    // The same argument error in-process: the exit code is the project's argument error.
    std::string err;
    EXPECT_EQ(runInProcess({"score", ref}, err), cli::CliCommand::kArgumentError);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

}  // namespace
}  // namespace orvex::test
