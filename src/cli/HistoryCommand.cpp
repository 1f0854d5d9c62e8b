#include <cstdio>
#include <string>

#include "CliCommand.h"
#include "CliDocument.h"
#include "engine/KVAnalysisController.h"
#include "store/KVAnalysisFileSet.h"

namespace orvex::cli {

namespace {

struct HistoryOptions {
    std::string file;
    bool json = false;
};

std::string jsonString(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        if (static_cast<unsigned char>(c) < 0x20) continue;
        quoted += c;
    }
    return quoted + "\"";
}

// One line a step, oldest first: its level, whether it is done (undo takes it back) or
// undone (redo does it again), its name and what its copies take on the disk.
void printText(const std::vector<KVHistoryEntry>& levels, std::size_t cursor) {
    for (std::size_t i = 0; i < levels.size(); ++i)
        std::printf("%zu\t%s\t%s\t%lld bytes\n", i + 1, i < cursor ? "done" : "undone", levels[i].name.c_str(),
                    static_cast<long long>(levels[i].bytes));
}

void printJson(const std::vector<KVHistoryEntry>& levels, std::size_t cursor) {
    std::printf("{\"position\": %zu, \"steps\": [", cursor);
    for (std::size_t i = 0; i < levels.size(); ++i)
        std::printf("%s{\"level\": %zu, \"name\": %s, \"state\": \"%s\", \"bytes\": %lld}", i ? ", " : "", i + 1,
                    jsonString(levels[i].name).c_str(), i < cursor ? "done" : "undone",
                    static_cast<long long>(levels[i].bytes));
    std::printf("]}\n");
}

int runHistory(const HistoryOptions& options) {
    auto document = CliDocument::open(options.file);
    if (!document || !document->openStoredAnalysis()) return 1;
    const KVAnalysisFileSet& selection = document->controller().store();
    const std::vector<KVHistoryEntry> levels = selection.historyEntries();
    options.json ? printJson(levels, selection.historyCursor()) : printText(levels, selection.historyCursor());
    return 0;
}

void setupHistory(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<HistoryOptions>();
    CLI::App* command = app.add_subcommand("history", "List the steps of the selection that undo and redo walk");
    command->add_option("FILE", options->file, "Sound file")->required();
    command->add_flag("--json", options->json, "One JSON object: the position and the steps");
    command->callback([options, &exitCode] { exitCode = runHistory(*options); });
}

const CliCommand::Registration registration("history", setupHistory);

}  // namespace

}  // namespace orvex::cli
