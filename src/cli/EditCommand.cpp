#include <cmath>
#include <map>
#include <optional>

#include "CliCommand.h"
#include "CliDocument.h"
#include "CliEditCoordinates.h"
#include "CliNumberRange.h"
#include "CliSeparationOptions.h"
#include "document/EditorCommands.h"
#include "document/SegmentEdits.h"
#include "engine/KVAnalysisController.h"

namespace orvex::cli {

namespace {

struct EditOptions {
    std::string file, op, tool, path, framePath, mode;
    std::optional<double> from, to, fromFrame, toFrame, low, high, lowPitch, highPitch;
    bool subtract = false, shift = false;
    int steps = 1;
    CliSeparationOptions separation;
};

const std::map<std::string, AnalysisTool> kBoxTools = {
    {"box", AnalysisTool::box},         {"denoise", AnalysisTool::denoiseBox}, {"background", AnalysisTool::backgroundBox},
    {"gap-filler", AnalysisTool::gapFillerBox}, {"magic", AnalysisTool::magicBox},  {"deselect", AnalysisTool::deselectBox}};
const std::map<std::string, AnalysisTool> kPencilTools = {
    {"multi", AnalysisTool::multiPencil}, {"single", AnalysisTool::singlePencil}, {"f1", AnalysisTool::f1Pencil}};

const char* const kTimeUsage = "--from/--to in seconds or --from-frame/--to-frame in analysis frames, start < end";
const char* const kPitchUsage = "--low/--high in Hz or --low-pitch/--high-pitch in sixths of a semitone, low < high";

using Command = std::function<void(KVAnalysisController&)>;

std::optional<CliEditCoordinates::Span> framesOf(const EditOptions& o) {
    return CliEditCoordinates::frameSpan(o.from, o.to, o.fromFrame, o.toFrame);
}

// The last analysis frame a command touches, checked against the analysed segment once it is open.
using LastFrame = double;

Command boxCommand(const EditOptions& options, LastFrame& last) {
    const auto tool = kBoxTools.find(options.tool.empty() ? "box" : options.tool);
    const auto frames = framesOf(options);
    const auto pitches = CliEditCoordinates::pitchSpan(options.low, options.high, options.lowPitch, options.highPitch);
    if (tool == kBoxTools.end() || !frames || !pitches)
        return CliCommand::fail(std::string("box needs --tool box|denoise|background|gap-filler|magic|deselect, ") +
                                kTimeUsage + ", and " + kPitchUsage),
               Command{};
    last = frames->second;
    const auto x = float(frames->first), w = float(frames->second - frames->first);
    const auto y = float(pitches->first), h = float(pitches->second - pitches->first);
    return [=, mode = options.subtract ? SelectionMode::Subtract : SelectionMode::Add, shift = options.shift, id = tool->second](KVAnalysisController& c) {
        c.setTool(id);
        c.setSelectionMode(mode);
        c.setShiftMode(shift);
        c.selectionComplete(x, y, w, h);
    };
}

Command ceilingCommand(const EditOptions& options, LastFrame& last) {
    const auto frames = framesOf(options);
    if (!frames) return CliCommand::fail(std::string("ceiling needs ") + kTimeUsage), Command{};
    last = frames->second;
    const auto start = std::llround(frames->first), end = std::llround(frames->second);
    return [=](KVAnalysisController& c) { c.dragComplete(start, end); };
}

Command pencilCommand(const EditOptions& options, LastFrame& last) {
    std::vector<KVPathPoint> points;
    const auto tool = kPencilTools.find(options.tool.empty() ? "multi" : options.tool);
    const bool inFrames = !options.framePath.empty();
    std::string outOfRange;
    if (tool == kPencilTools.end() ||
        !CliEditCoordinates::parsePath(inFrames ? options.framePath : options.path, inFrames, points, &outOfRange))
        return CliCommand::fail(!outOfRange.empty() ? (inFrames ? "--frame-path: " : "--path: ") + outOfRange
                                                    : "pencil needs --tool multi|single|f1 and at least three points, "
                                                      "as --path SEC:HZ,... or --frame-path FRAME:SIXTHS,..."),
               Command{};
    last = double(points.back().x);
    return [=, mode = options.subtract ? SelectionMode::Subtract : SelectionMode::Add, id = tool->second](KVAnalysisController& c) {
        c.setTool(id);
        c.setSelectionMode(mode);
        c.pathComplete(points);
    };
}

// The controller command for options.op; empty (after an error line) when it cannot be built.
// The whole-segment verbs are the command table's; undo and redo are the document's, below.
Command commandFor(const EditOptions& options, LastFrame& last) {
    if (const auto command = EditorCommands::ofCliVerb(options.op)) {
        if (*command == EditorCommand::Undo || *command == EditorCommand::Redo) return [](KVAnalysisController&) {};
        if (SegmentEdits::Edit edit = SegmentEdits::of(*command)) return edit;
    }
    if (options.op == "box") return boxCommand(options, last);
    if (options.op == "ceiling") return ceilingCommand(options, last);
    if (options.op == "pencil") return pencilCommand(options, last);
    CliCommand::fail("Unknown operation: " + options.op);
    return {};
}

int runEdit(const EditOptions& options) {
    LastFrame last = 0.0;
    const Command command = commandFor(options, last);
    if (!command) return CliCommand::kArgumentError;
    auto document = CliDocument::open(options.file);
    if (!document || !document->openStoredAnalysis()) return 1;
    const FrameCount frames = (document->segmentEnd() - document->segmentStart()) / kAnalysisHop;
    if (last > double(frames)) {
        CliCommand::fail("The edit reaches frame " + std::to_string(std::llround(last)) +
                         ", beyond the analysed segment (" + std::to_string(frames) + " frames, " +
                         std::to_string(double(frames * kAnalysisHop) / kWorkingSampleRate) + " s)");
        return CliCommand::kArgumentError;
    }
    if (!options.mode.empty()) document->applyMode(options.mode);
    document->controller().setSeparation(options.separation.settings());
    const auto verb = EditorCommands::ofCliVerb(options.op);
    const bool walk = verb == EditorCommand::Undo || verb == EditorCommand::Redo;
    if (!(walk ? document->walkHistory(verb == EditorCommand::Redo, options.steps) : document->runAndWait(command)))
        return 1;
    std::printf("%s done\n", options.op.c_str());
    return 0;
}

void setupEdit(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<EditOptions>();
    CLI::App* command = app.add_subcommand("edit", "Change the selection of the analysed segment");
    command->add_option("FILE", options->file, "Sound file")->required();
    command->add_option("OP", options->op, EditorCommands::cliVerbs() + ", box, ceiling, pencil")->required();
    command->add_option("--tool", options->tool, "box|denoise|background|gap-filler|magic|deselect, multi|single|f1");
    using Unit = CliNumberRange::Unit;
    const auto number = [command](const char* name, std::optional<double>& value, const char* help, Unit unit) {
        return command->add_option(name, value, help)->check(CliNumberRange::validator(unit));
    };
    CLI::Option* from = number("--from", options->from, "Box, ceiling: start in seconds of the segment", Unit::Seconds);
    CLI::Option* to = number("--to", options->to, "Box, ceiling: end in seconds of the segment", Unit::Seconds);
    number("--from-frame", options->fromFrame, "Box, ceiling: start in analysis frames (128 samples)", Unit::Frames)
        ->excludes(from);
    number("--to-frame", options->toFrame, "Box, ceiling: end in analysis frames", Unit::Frames)->excludes(to);
    CLI::Option* low = number("--low", options->low, "Box: lowest frequency in Hz", Unit::Hertz);
    CLI::Option* high = number("--high", options->high, "Box: highest frequency in Hz", Unit::Hertz);
    number("--low-pitch", options->lowPitch, "Box: lowest pitch in sixths of a semitone (MIDI note x 6)", Unit::Pitch)
        ->excludes(low);
    number("--high-pitch", options->highPitch, "Box: highest pitch in sixths of a semitone", Unit::Pitch)
        ->excludes(high);
    CLI::Option* path = command->add_option("--path", options->path, "Pencil points SEC:HZ,SEC:HZ,...");
    command->add_option("--frame-path", options->framePath, "Pencil points FRAME:SIXTHS,FRAME:SIXTHS,...")
        ->excludes(path);
    command->add_flag("--subtract", options->subtract, "Remove from the selection instead of adding");
    command->add_flag("--shift", options->shift, "Box: take from the selection instead of the analysis");
    command->add_option("--steps", options->steps, "Undo, redo: how many steps (1 unless given)")
        ->check(CLI::Range(1, 1000));
    options->separation.addTo(command);
    command->add_option("--mode", options->mode, "Document mode")->check(CLI::IsMember({"extract", "suppress", "modify"}));
    command->callback([options, &exitCode] { exitCode = runEdit(*options); });
}

const CliCommand::Registration registration("edit", setupEdit);

}  // namespace

}  // namespace orvex::cli
