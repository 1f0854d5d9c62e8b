#include <optional>

#include "CliCommand.h"
#include "CliDocument.h"
#include "CliNumberRange.h"

namespace orvex::cli {

namespace {

struct AnalyseOptions {
    std::string file;
    std::optional<double> start, end;
    bool force = false;
};

int runAnalyse(const AnalyseOptions& options) {
    auto document = CliDocument::open(options.file);
    if (!document) return 1;
    FramePos start = 0, end = 0;
    if (!document->resolveSegment(options.start, options.end, start, end)) return CliCommand::kArgumentError;
    if (!document->analyse(start, end, options.force)) return 1;
    std::printf("analysed %.3f s to %.3f s of %s\n", double(start) / kWorkingSampleRate,
                double(end) / kWorkingSampleRate, document->workingPath().c_str());
    return 0;
}

void setupAnalyse(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<AnalyseOptions>();
    CLI::App* command = app.add_subcommand("analyse", "Analyse a segment (2 to 900 s) of a sound file");
    command->add_option("FILE", options->file, "Sound file")->required();
    const CLI::Validator seconds = CliNumberRange::validator(CliNumberRange::Unit::Seconds);
    command->add_option("--start", options->start, "Segment start in seconds")->check(seconds);
    command->add_option("--end", options->end, "Segment end in seconds")->check(seconds);
    command->add_flag("--force", options->force, "Analyse again even when a stored analysis fits");
    command->callback([options, &exitCode] { exitCode = runAnalyse(*options); });
}

const CliCommand::Registration registration("analyse", setupAnalyse);

}  // namespace

}  // namespace orvex::cli
