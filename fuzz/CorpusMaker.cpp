// Writes small valid starting inputs for the harnesses into <folder>/<harness>/:
// sound files of several formats with metadata chunks, analysed records with undo copies,
// parameter dictionaries in XML and binary form, and grain files.
// Usage: orvex_fuzz_corpus FOLDER

#include <plist/plist.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <vector>

#include "utilities/ParamDictKeys.h"
#include "dsp/SpectralProcessor.h"
#include "platform/PropertyList.h"
#include "store/KVEncodedGrain.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

std::vector<float> tone(double frequency, double rate, std::int64_t frames) {
    std::vector<float> out(static_cast<std::size_t>(frames));
    for (std::int64_t i = 0; i < frames; ++i)
        out[std::size_t(i)] = float(0.5 * std::sin(2 * std::numbers::pi * frequency * double(i) / rate));
    return out;
}

bool writeBytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

void appendBytes(Bytes& to, const void* from, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(from);
    to.insert(to.end(), p, p + size);
}

// A short tone in the given format; WAVE files carry a "bext" and an "iXML" chunk.
bool writeSound(const fs::path& path, int format, int rate, int channels) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) return false;
    if ((format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV) {
        char bext[602] = "Orvex test tone";
        const char ixml[] = "<BWFXML><PROJECT>fuzz</PROJECT></BWFXML>";
        SF_CHUNK_INFO chunks[2] = {{"bext", 4, sizeof bext, bext}, {"iXML", 4, sizeof ixml - 1, (void*)ixml}};
        for (auto& chunk : chunks) sf_set_chunk(file, &chunk);
    }
    const std::int64_t frames = rate / 20;
    const auto mono = tone(440.0, rate, frames);
    std::vector<float> interleaved;
    for (const float x : mono) interleaved.insert(interleaved.end(), std::size_t(channels), x);
    sf_writef_float(file, interleaved.data(), frames);
    return sf_close(file) == 0;
}

bool makeSounds(const fs::path& folder) {
    return writeSound(folder / "pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2) &&
           writeSound(folder / "float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 1) &&
           writeSound(folder / "pcm24.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 22050, 2) &&
           writeSound(folder / "mono.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 1) &&
           writeSound(folder / "stereo.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 2);
}

void keepRecord(orvex::FrameRecord* record, std::int32_t, void* into) {
    auto& records = *static_cast<std::vector<std::unique_ptr<orvex::FrameRecord>>*>(into);
    records.push_back(orvex::FrameRecord::create());
    orvex::FrameRecord::copy(*record, *records.back());
}

// Records of a tone analysed with the system's parameters (N 4096, overlap 32, P 4).
std::vector<std::unique_ptr<orvex::FrameRecord>> analysedRecords(int count) {
    std::vector<std::unique_ptr<orvex::FrameRecord>> records;
    orvex::SpectralProcessor processor(4096, 32, 4, 44100.0);
    processor.setAnalysisCallback(keepRecord, &records, 0);
    const auto samples = tone(330.0, 44100.0, 4096 + 128 * count);
    processor.feedSamples(std::int64_t(samples.size()), samples.data());
    records.resize(std::min<std::size_t>(records.size(), std::size_t(count)));
    return records;
}

// Chunk-file input: flags, records-file length, records file, undo file.
Bytes chunkInput(std::uint8_t flags, const std::vector<const orvex::FrameRecord*>& records,
                 const std::vector<const orvex::FrameRecord*>& copies) {
    Bytes out{flags};
    const auto length = std::uint32_t(records.size() * sizeof(orvex::FrameRecord));
    for (int i = 0; i < 4; ++i) out.push_back(std::uint8_t(length >> (8 * i)));
    for (const auto* record : records) appendBytes(out, record, sizeof *record);
    for (const auto* copy : copies) appendBytes(out, copy, sizeof *copy);
    return out;
}

bool makeChunkInputs(const fs::path& folder) {
    auto records = analysedRecords(2);
    if (records.size() != 2) return false;
    auto copy = orvex::FrameRecord::create();
    orvex::FrameRecord::copy(*records[1], *copy);
    copy->frameIndex = 0;
    orvex::FrameRecord hole{};
    hole.frameIndex = 1;
    auto older = orvex::FrameRecord::create();
    orvex::FrameRecord::copy(*records[0], *older);
    older->version = orvex::kFrameRecordVersion - 1;
    return writeBytes(folder / "undo-copy", chunkInput(0x0F, {records[0].get()}, {copy.get()})) &&
           writeBytes(folder / "undo-hole", chunkInput(0x07, {records[0].get(), records[1].get()}, {&hole})) &&
           writeBytes(folder / "older-version", chunkInput(0x02, {older.get()}, {}));
}

bool makeDictionaries(const fs::path& folder) {
    orvex::PropertyList dict;
    dict.setInt("ORVXFileGroup_Version", 259);
    dict.setString("ORVXFileGroup_DictionaryPath", "/home/user/mix.analysis/mix.plist");
    dict.setInt(orvex::paramkeys::kAnalysisStartFrame, 0);
    dict.setInt(orvex::paramkeys::kAnalysisEndFrame, 132224);
    dict.setInt(orvex::paramkeys::kSelectionStartFrame, 4410);
    dict.setInt(orvex::paramkeys::kSelectionEndFrame, -1);
    dict.setInt("DocumentConfiguredForMode", 1);
    dict.setBool("AnalysisDataSelected", true);
    dict.setReal("SampleRate", 44100.0);
    const std::string xml = dict.toXml();
    plist_t root = nullptr;
    plist_from_memory(xml.data(), std::uint32_t(xml.size()), &root);
    char* binary = nullptr;
    std::uint32_t length = 0;
    if (root) plist_to_bin(root, &binary, &length);
    const Bytes binaryBytes(binary, binary + length);
    plist_to_bin_free(binary);
    plist_free(root);
    return length > 0 && writeBytes(folder / "dict.xml", Bytes(xml.begin(), xml.end())) &&
           writeBytes(folder / "dict.bplist", binaryBytes);
}

bool makeGrains(const fs::path& folder) {
    Bytes file;
    orvex::KVEncodedGrain grain{};
    for (int k = 0; k < 3; ++k) {
        const auto samples = tone(220.0 * (k + 1), 44100.0, orvex::KVEncodedGrain::kSampleCount);
        grain.encode(samples.data());
        if (k == 2) grain.marker = orvex::KVEncodedGrain::kPrefillMarker;
        appendBytes(file, &grain, sizeof grain);
    }
    return writeBytes(folder / "three-grains", file);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvex_fuzz_corpus FOLDER\n");
        return 2;
    }
    const fs::path root(argv[1]);
    std::error_code error;
    for (const char* name : {"audiofile", "chunkfile", "paramdict", "grain"}) fs::create_directories(root / name, error);
    const bool made = makeSounds(root / "audiofile") && makeChunkInputs(root / "chunkfile") &&
                      makeDictionaries(root / "paramdict") && makeGrains(root / "grain");
    if (!made) std::fprintf(stderr, "orvex_fuzz_corpus: could not write every starting input\n");
    return made ? 0 : 1;
}
