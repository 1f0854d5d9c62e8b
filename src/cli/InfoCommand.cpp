#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "CliAnalysisInfo.h"
#include "CliCommand.h"
#include "CliGuards.h"
#include "audiofile/KVAudioFileReader.h"
#include "document/KVOpenFileCheck.h"
#include "document/KVWorkingFile.h"

namespace orvex::cli {

namespace {

struct InfoOptions {
    std::string file;
    bool working = false;
};

std::string formatCodeText(std::uint32_t code) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<unsigned char>((code >> shift) & 0xff);
        text += std::isprint(c) ? static_cast<char>(c) : '?';
    }
    return text;
}

std::string chunksPresent(const std::string& path, const KVOpenFileCheck& check) {
    auto reader = KVAudioFileReader::initWithFileAtPath(path, check.sampleRate, check.channels);
    if (!reader) return "none";
    std::string list;
    for (const char* id : {"bext", "mext", "iXML"}) {
        std::uint32_t size = 0;
        const std::unique_ptr<void, decltype(&std::free)> data(
            reader->userDataWithId(fourCC(*reinterpret_cast<const char(*)[5]>(id)), 0, &size), &std::free);
        if (!data) continue;
        list += (list.empty() ? "" : ", ") + std::string(id) + " (" + std::to_string(size) + " bytes)";
    }
    return list.empty() ? "none" : list;
}

int runInfo(const InfoOptions& options) {
    if (!CliGuards::inputExists(options.file)) return 1;
    const KVOpenFileCheck check = KVOpenFileCheck::checkFileAtPath(options.file);
    if (!check.canOpen()) {
        CliCommand::fail(check.reason.text());
        return 1;
    }
    if (check.rateWarningShown) CliCommand::fail(check.warning.text());
    const auto workingFrames = static_cast<FrameCount>(double(check.length) * kWorkingSampleRate / check.sampleRate);
    std::printf("file: %s\n", options.file.c_str());
    std::printf("format: %s\n", formatCodeText(check.formatID).c_str());
    std::printf("bits per channel: %d%s\n", check.bitsPerChannel, check.bitsPerChannel ? "" : " (compressed)");
    std::printf("sample rate: %.0f Hz\n", check.sampleRate);
    std::printf("channels: %d\n", check.channels);
    std::printf("length: %lld frames\n", static_cast<long long>(check.length));
    std::printf("length at 44100 Hz: %lld frames\n", static_cast<long long>(workingFrames));
    std::printf("metadata chunks: %s\n", chunksPresent(options.file, check).c_str());
    printAnalysisInfo(options.file, check.channels);
    if (!options.working) return 0;
    std::fflush(stdout);
    KVWorkingFile working;
    const auto path = working.workingFileForPath(options.file);
    if (!path) {
        CliCommand::fail(working.failure().text());
        return 1;
    }
    std::printf("working file: %s%s\n", path->c_str(), *path == options.file ? " (the file itself)" : "");
    if (*path != options.file) printAnalysisInfo(*path, check.channels);
    return 0;
}

void setupInfo(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* info = app.add_subcommand("info", "Print a sound file's format, length and metadata chunks");
    info->add_option("FILE", options->file, "Sound file")->required();
    info->add_flag("--working", options->working, "Also make the 44.1 kHz working file and print its path");
    info->callback([options, &exitCode] { exitCode = runInfo(*options); });
}

const CliCommand::Registration registration("info", setupInfo);

}  // namespace

}  // namespace orvex::cli
