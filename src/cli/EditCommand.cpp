#include <cmath>
#include <map>
#include <sstream>

#include "CliCommand.h"
#include "CliDocument.h"
#include "engine/KVAnalysisController.h"

namespace orvex::cli {

namespace {

struct EditOptions {
    std::string file, op, tool, path, mode;
    double from = 0.0, to = 0.0, low = 0.0, high = 0.0;
    bool subtract = false, shift = false;
};

const std::map<std::string, int> kBoxTools = {{"box", 3},        {"denoise", 4}, {"background", 5},
                                              {"gap-filler", 6}, {"magic", 7},   {"deselect", 8}};
const std::map<std::string, int> kPencilTools = {{"multi", 0}, {"single", 1}, {"f1", 2}};

// Analysis frames (one every 128 samples) of a time in seconds.
float framesOf(double seconds) { return static_cast<float>(seconds * kWorkingSampleRate / double(kAnalysisHop)); }

// Sixths of a semitone of a frequency in Hz.
float pitchOf(double hertz) { return static_cast<float>((std::log2(hertz / 440.0) * 12.0 + 69.0) * 6.0); }

// "SEC:HZ,SEC:HZ,..." as points in frames and sixths; false on a malformed list.
bool parsePath(const std::string& text, std::vector<KVPathPoint>& points) {
    std::stringstream list(text);
    for (std::string item; std::getline(list, item, ',');) {
        const auto colon = item.find(':');
        if (colon == std::string::npos) return false;
        try {
            const double seconds = std::stod(item.substr(0, colon));
            const double hertz = std::stod(item.substr(colon + 1));
            if (hertz <= 0.0 || seconds < 0.0) return false;
            points.push_back({std::llround(framesOf(seconds)), std::llround(pitchOf(hertz))});
        } catch (const std::exception&) {
            return false;
        }
    }
    return points.size() > 2;
}

using Command = std::function<void(KVAnalysisController&)>;

// The controller command for options.op; empty (after an error line) when it cannot be built.
Command commandFor(const EditOptions& options) {
    static const std::map<std::string, Command> wholeSegment = {
        {"sustained", [](KVAnalysisController& c) { c.isolateDeterministic(); }},
        {"transients", [](KVAnalysisController& c) { c.isolateStochastic(); }},
        {"fill-gaps", [](KVAnalysisController& c) { c.fillGaps(); }},
        {"select-all", [](KVAnalysisController& c) { c.selectAll(); }},
        {"select-none", [](KVAnalysisController& c) { c.selectNone(); }},
        {"apply", [](KVAnalysisController& c) { c.applySelection(); }},
        {"undo", [](KVAnalysisController& c) { c.undo(); }}};
    if (auto found = wholeSegment.find(options.op); found != wholeSegment.end()) return found->second;
    const int selectionMode = options.subtract ? 1 : 0;
    if (options.op == "box") {
        const auto tool = kBoxTools.find(options.tool.empty() ? "box" : options.tool);
        if (tool == kBoxTools.end() || options.to <= options.from || options.high <= options.low || options.low <= 0)
            return CliCommand::fail("box needs --tool box|denoise|background|gap-filler|magic|deselect and "
                                    "--from < --to seconds, 0 < --low < --high Hz"),
                   Command{};
        const float x = framesOf(options.from), y = pitchOf(options.low);
        const float w = framesOf(options.to) - x, h = pitchOf(options.high) - y;
        return [=, shift = options.shift, id = tool->second](KVAnalysisController& c) {
            c.setTool(id);
            c.setSelectionMode(selectionMode);
            c.setShiftMode(shift);
            c.selectionComplete(x, y, w, h);
        };
    }
    if (options.op == "ceiling") {
        if (options.to <= options.from) return CliCommand::fail("ceiling needs --from < --to seconds"), Command{};
        const auto start = std::llround(framesOf(options.from)), end = std::llround(framesOf(options.to));
        return [=](KVAnalysisController& c) { c.dragComplete(start, end); };
    }
    if (options.op == "pencil") {
        std::vector<KVPathPoint> points;
        const auto tool = kPencilTools.find(options.tool.empty() ? "multi" : options.tool);
        if (tool == kPencilTools.end() || !parsePath(options.path, points))
            return CliCommand::fail("pencil needs --tool multi|single|f1 and --path with at least three SEC:HZ points"),
                   Command{};
        return [=, id = tool->second](KVAnalysisController& c) {
            c.setTool(id);
            c.setSelectionMode(selectionMode);
            c.pathComplete(points);
        };
    }
    CliCommand::fail("Unknown operation: " + options.op);
    return {};
}

int runEdit(const EditOptions& options) {
    const Command command = commandFor(options);
    if (!command) return 2;
    auto document = CliDocument::open(options.file);
    if (!document || !document->openStoredAnalysis()) return 1;
    if (!options.mode.empty()) document->applyMode(options.mode);
    if (!document->runAndWait(command)) return 1;
    std::printf("%s done\n", options.op.c_str());
    return 0;
}

void setupEdit(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<EditOptions>();
    CLI::App* command = app.add_subcommand("edit", "Change the selection of the analysed segment");
    command->add_option("FILE", options->file, "Sound file")->required();
    command->add_option("OP", options->op,
                        "sustained, transients, fill-gaps, select-all, select-none, apply, undo, box, ceiling, pencil")
        ->required();
    command->add_option("--tool", options->tool, "box|denoise|background|gap-filler|magic|deselect, multi|single|f1");
    command->add_option("--from", options->from, "Start in seconds of the segment");
    command->add_option("--to", options->to, "End in seconds of the segment");
    command->add_option("--low", options->low, "Lowest frequency in Hz");
    command->add_option("--high", options->high, "Highest frequency in Hz");
    command->add_option("--path", options->path, "Pencil points SEC:HZ,SEC:HZ,...");
    command->add_flag("--subtract", options->subtract, "Remove from the selection instead of adding");
    command->add_flag("--shift", options->shift, "Box: take from the selection instead of the analysis");
    command->add_option("--mode", options->mode, "Document mode")->check(CLI::IsMember({"extract", "suppress", "modify"}));
    command->callback([options, &exitCode] { exitCode = runEdit(*options); });
}

const CliCommand::Registration registration("edit", setupEdit);

}  // namespace

}  // namespace orvex::cli
