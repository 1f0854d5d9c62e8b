// Pins the stored results: a generated stereo file is analysed and its sustained part isolated
// in-process, once with the baseline loops and once with the AVX2 loops, and every file of the
// analysis folder must hash to the value recorded when the results were last known good.
// Faster code must leave records, grains, display records and summaries byte for byte alone.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "CliRunner.h"
#include "dsp/FastMath.h"
#include "engine/StubAnalysisView.h"
#include "support/Signals.h"
#include "support/TempDir.h"

namespace orvex::test {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kFrames = 3 * 44100;

// Partials of 196 Hz (right channel a fifth higher), a click every quarter second and noise.
Channels toneClicksNoise() {
    Channels out;
    for (int c = 0; c < 2; ++c) {
        std::vector<float> signal = noise(kFrames, 0.02, std::uint32_t(c + 11));
        for (int h = 1; h <= 6; ++h) mixInto(signal, sine(196.0 * h * (c ? 1.5 : 1.0), 44100.0, kFrames, 0.25 / h));
        for (std::int64_t t = 2000; t + 16 < kFrames; t += 11025)
            for (int i = 0; i < 16; ++i) signal[std::size_t(t + i)] += (i % 2 ? -0.4f : 0.4f) * float(16 - i) / 16.0f;
        out.push_back(std::move(signal));
    }
    return out;
}

// FNV-1a over the whole file.
std::uint64_t fileHash(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::uint64_t hash = 14695981039346656037ull;
    for (std::istreambuf_iterator<char> it(in), end; it != end; ++it)
        hash = (hash ^ static_cast<unsigned char>(*it)) * 1099511628211ull;
    return hash;
}

// Hash of every stored record file under the folder, by path relative to it. The dictionaries
// hold the file's own path and are left out, and so are the folder's empty lock file and the
// history's text (it counts the blocks the file system gives the copies).
std::map<std::string, std::uint64_t> storedHashes(const fs::path& folder) {
    std::map<std::string, std::uint64_t> hashes;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().extension() == ".noindex" &&
            entry.path().filename() != "lock.noindex" && entry.path().filename() != "take-selection_history.noindex")
            hashes[fs::relative(entry.path(), folder).string()] = fileHash(entry.path());
    return hashes;
}

std::string listing(const std::map<std::string, std::uint64_t>& hashes) {
    std::ostringstream out;
    for (const auto& [name, hash] : hashes) out << "        {\"" << name << "\", 0x" << std::hex << hash << "ull},\n";
    return out.str();
}

// Hashes recorded from the analysis and isolation of toneClicksNoise(). Keep sustained keeps the
// selection's files it started from (empty) as its undo level, the step-1 files.
const std::map<std::string, std::uint64_t> kPinned = {
    {"take-selection.analysis/take-selection_0.ana.noindex", 0x78c5255942a88f65ull},
    {"take-selection.analysis/take-selection_0.asp.noindex", 0x8c6e2afadb73970full},
    {"take-selection.analysis/take-selection_0.cdx.noindex", 0xcbf29ce484222325ull},
    {"take-selection.analysis/take-selection_0.dsp.noindex", 0xcbf29ce484222325ull},
    {"take-selection.analysis/take-selection_0.trk.noindex", 0xcbf29ce484222325ull},
    {"take-selection.analysis/take-selection_0.step-1.ana.noindex", 0xcbf29ce484222325ull},
    {"take-selection.analysis/take-selection_0.step-1.asp.noindex", 0xcbf29ce484222325ull},
    {"take-selection.analysis/take-selection_0.step-1.cdx.noindex", 0xcbf29ce484222325ull},
    {"take-selection.analysis/take-selection_0.step-1.dsp.noindex", 0xcbf29ce484222325ull},
    {"take-selection.analysis/take-selection_0.step-1.trk.noindex", 0xcbf29ce484222325ull},
    {"take-selection.analysis/take-selection_0.undo.noindex", 0xcbf29ce484222325ull},
    {"take-selection.analysis/take-selection_1.ana.noindex", 0x418f7b47b073fae7ull},
    {"take-selection.analysis/take-selection_1.asp.noindex", 0xbb27fba7686793e7ull},
    {"take-selection.analysis/take-selection_1.cdx.noindex", 0xcbf29ce484222325ull},
    {"take-selection.analysis/take-selection_1.dsp.noindex", 0xcbf29ce484222325ull},
    {"take-selection.analysis/take-selection_1.trk.noindex", 0xcbf29ce484222325ull},
    {"take-selection.analysis/take-selection_1.step-1.ana.noindex", 0xcbf29ce484222325ull},
    {"take-selection.analysis/take-selection_1.step-1.asp.noindex", 0xcbf29ce484222325ull},
    {"take-selection.analysis/take-selection_1.step-1.cdx.noindex", 0xcbf29ce484222325ull},
    {"take-selection.analysis/take-selection_1.step-1.dsp.noindex", 0xcbf29ce484222325ull},
    {"take-selection.analysis/take-selection_1.step-1.trk.noindex", 0xcbf29ce484222325ull},
    {"take-selection.analysis/take-selection_1.undo.noindex", 0xcbf29ce484222325ull},
    {"take-selection.analysis/take-selection_ovw.ana.noindex", 0xf8b3edb6bee2cbfeull},
    {"take-selection.analysis/take-selection_ovw.asp.noindex", 0x9589a8e72913ce27ull},
    {"take-selection.analysis/take-selection_ovw.cdx.noindex", 0xe1e45512ba870807ull},
    {"take-selection.analysis/take-selection_ovw.dsp.noindex", 0x6896255e462010c2ull},
    {"take-selection.analysis/take-selection_ovw.trk.noindex", 0x6093ca7650a3260full},
    {"take-selection.analysis/take-selection_ovw.step-1.ana.noindex", 0xcbf29ce484222325ull},
    {"take-selection.analysis/take-selection_ovw.step-1.asp.noindex", 0xcbf29ce484222325ull},
    {"take-selection.analysis/take-selection_ovw.step-1.cdx.noindex", 0xcbf29ce484222325ull},
    {"take-selection.analysis/take-selection_ovw.step-1.dsp.noindex", 0xcbf29ce484222325ull},
    {"take-selection.analysis/take-selection_ovw.step-1.trk.noindex", 0xcbf29ce484222325ull},
    {"take-selection.analysis/take-selection_ovw.undo.noindex", 0xcbf29ce484222325ull},
    {"take_0.ana.noindex", 0xfe9a9b7f3fb97b4aull},
    {"take_0.asp.noindex", 0xee60268eee1f309eull},
    {"take_0.cdx.noindex", 0xcbf29ce484222325ull},
    {"take_0.dsp.noindex", 0xcbf29ce484222325ull},
    {"take_0.trk.noindex", 0xcbf29ce484222325ull},
    {"take_0.undo.noindex", 0xcbf29ce484222325ull},
    {"take_1.ana.noindex", 0xe89c6d1c9ec43617ull},
    {"take_1.asp.noindex", 0xd3902f6b82e178f4ull},
    {"take_1.cdx.noindex", 0xcbf29ce484222325ull},
    {"take_1.dsp.noindex", 0xcbf29ce484222325ull},
    {"take_1.trk.noindex", 0xcbf29ce484222325ull},
    {"take_1.undo.noindex", 0xcbf29ce484222325ull},
    {"take_ovw.ana.noindex", 0xcfa0216e2884b459ull},
    {"take_ovw.asp.noindex", 0xdf4d3d2381a85addull},
    {"take_ovw.cdx.noindex", 0x9e78e9294bd5f4e8ull},
    {"take_ovw.dsp.noindex", 0x5a421c8b099773b2ull},
    {"take_ovw.trk.noindex", 0xb312b5a89be5bda7ull},
    {"take_ovw.undo.noindex", 0xcbf29ce484222325ull},
};

TEST(CliStoredResults, AnalysisAndIsolationStoreTheSameBytesInBothLoopBuilds) {
    std::vector<bool> builds{false};
    if (fastmath::processorHasWideVectors()) builds.push_back(true);
    auto platform = std::make_shared<SteadyPlatform>();
    platform->setEchoAlerts(false);
    Platform::install(platform);
    for (const bool wide : builds) {
        SCOPED_TRACE(wide ? "AVX2 loops" : "baseline loops");
        fastmath::wideVectorsAllowed() = wide;
        TempDir temp;
        const std::string sound = temp.file("take.wav");
        writeWave(sound, toneClicksNoise(), 44100);
        // At normal thread priority, as orvex-cli runs.
        std::string err;
        EXPECT_EQ(runInProcess({"analyse", sound}, err), 0) << err;
        EXPECT_EQ(runInProcess({"edit", sound, "sustained"}, err), 0) << err;
        const auto hashes = storedHashes(temp.path() / "take.analysis");
        EXPECT_EQ(hashes, kPinned) << listing(hashes);
    }
    fastmath::wideVectorsAllowed() = true;
    Platform::install(nullptr);
}

}  // namespace
}  // namespace orvex::test
