#include "CliGuards.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <system_error>
#include <vector>

#include "CliCommand.h"
#include "dsp/DisplayColumn.h"
#include "dsp/DisplaySummary.h"
#include "dsp/FrameRecord.h"
#include "engine/KVAnalysisRunner.h"
#include "store/KVAnalysisPaths.h"
#include "store/KVEncodedGrain.h"
#include "store/RecordChecksums.h"
#include "utilities/KVOutputTarget.h"
#include "utilities/KVUtilities.h"

namespace orvex::cli {

namespace {

namespace fs = std::filesystem;

// One data file of a chunk: its suffix and record size; display files only for the overview.
struct DataFile {
    const char* suffix;
    std::size_t recordSize;
    bool overviewOnly;
};
constexpr DataFile kDataFiles[] = {{".ana.noindex", sizeof(FrameRecord), false},
                                   {".asp.noindex", sizeof(KVEncodedGrain), false},
                                   {".dsp.noindex", sizeof(DisplayColumn), true},
                                   {".trk.noindex", sizeof(DisplayColumn), true},
                                   {".cdx.noindex", sizeof(FrameSummary), true}};

// The chunk base paths of the file set of path: the overview first, then each channel.
std::vector<std::string> chunkBases(const std::string& path, std::int32_t channels) {
    std::vector<std::string> bases = {KVAnalysisPaths::overviewChunkPath(path)};
    for (std::int32_t c = 0; c < channels; ++c) bases.push_back(KVAnalysisPaths::channelChunkPath(path, c));
    return bases;
}

// Whole records in a file; -1 when it does not exist.
FrameCount recordsIn(const std::string& file, std::size_t recordSize) {
    std::error_code error;
    const auto bytes = fs::file_size(file, error);
    return error ? -1 : static_cast<FrameCount>(bytes / recordSize);
}

// "NAME is missing" or "NAME holds n of m frames" for the first data file of the chunks (the
// overview's display files included) that is missing or holds fewer records than wanted(base);
// empty when every file is whole.
std::string firstShortFile(const std::vector<std::string>& bases,
                           const std::function<FrameCount(const std::string&)>& wanted) {
    for (std::size_t i = 0; i < bases.size(); ++i) {
        const FrameCount want = wanted(bases[i]);
        for (const DataFile& kind : kDataFiles) {
            if (kind.overviewOnly && i > 0) continue;
            const std::string file = KVAnalysisPaths::dataFilePath(bases[i], kind.suffix);
            const FrameCount held = recordsIn(file, kind.recordSize);
            const std::string name = fs::path(file).filename().string();
            if (held < 0) return name + " is missing";
            // Records the side file knows of were written and have been lost since.
            const FrameCount whole = std::max(want, RecordChecksums::knownRecordsAt(file, kind.recordSize));
            if (held < whole) return name + " holds " + std::to_string(held) + " of " + std::to_string(whole) + " frames";
        }
    }
    return "";
}

}  // namespace

bool CliGuards::inputExists(const std::string& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) == 0) return true;
    const int reason = errno;
    if (reason == ENOENT) {
        CliCommand::fail("No such file: " + file);
    } else if (reason == ELOOP) {
        CliCommand::fail(file + " cannot be opened: its symbolic links form a loop");
    } else if (reason == EACCES) {
        CliCommand::fail(file + " cannot be opened: a folder on its path may not be entered (permission denied)");
    } else {
        CliCommand::fail(file + " cannot be opened: " + std::strerror(reason));
    }
    return false;
}

bool CliGuards::outputAllowed(const std::string& output, const std::string& source, const std::string& workingPath,
                              bool isWave) {
    const std::string refusal = KVOutputTarget::refusalFor(output, {source, workingPath});
    if (!refusal.empty()) {
        CliCommand::fail(refusal);
        return false;
    }
    std::string extension = fs::path(output).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return std::tolower(c); });
    if (isWave && extension != ".wav")
        std::fprintf(stderr, "orvex-cli: warning: %s does not end in .wav; it is written as a WAVE file all the same\n",
                     output.c_str());
    return true;
}

bool CliGuards::analysisIsWhole(const std::string& workingPath, std::int32_t channels, FramePos start, FramePos end) {
    const FrameCount expected = KVAnalysisRunner::expectedFrameCount(end - start);
    const std::string shortFile = firstShortFile(chunkBases(workingPath, channels), [expected](const std::string&) {
        return expected;
    });
    if (shortFile.empty()) return true;
    CliCommand::fail("The stored analysis is incomplete: " + shortFile + "; run 'orvex-cli analyse --force' on the file");
    return false;
}

bool CliGuards::dictionaryIsFile(const std::string& workingPath) {
    const std::string dictionary = KVUtilities::paramDictPathForAnalysisOfFileAtPath(workingPath);
    std::error_code error;
    const fs::file_status status = fs::symlink_status(dictionary, error);
    if (status.type() == fs::file_type::not_found || fs::is_regular_file(fs::status(dictionary, error))) return true;
    CliCommand::fail("The analysis dictionary " + dictionary +
                     " is not a file (a folder or something else is in its place); move it away and analyse again");
    return false;
}

bool CliGuards::selectionIsWhole(const std::string& workingPath, std::int32_t channels) {
    const auto bases = chunkBases(KVAnalysisPaths::selectionFileSetPath(workingPath), channels);
    const std::string shortFile = firstShortFile(bases, [](const std::string& base) {
        return recordsIn(KVAnalysisPaths::dataFilePath(base, ".ana.noindex"), sizeof(FrameRecord));
    });
    if (shortFile.empty()) return true;
    CliCommand::fail("The stored selection is damaged: " + shortFile + "; run 'orvex-cli analyse --force' on the file");
    return false;
}

}  // namespace orvex::cli
