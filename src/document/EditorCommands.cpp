#include "document/EditorCommands.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace orvex {

namespace {

using C = EditorCommand;
using N = CommandNeeds;
using S = CommandScope;

constexpr std::string_view kFile = "&File", kEdit = "&Edit", kProcess = "&Process", kPlay = "P&lay",
                           kView = "&View", kWindow = "&Window", kHelp = "&Help";
constexpr std::array<std::string_view, 7> kMenus = {kFile, kEdit, kProcess, kPlay, kView, kWindow, kHelp};

// clang-format off
constexpr EditorCommandRow kTable[] = {
    // command                 name                  menu      title                     shortcut              needs          scope           sep    cli verb       button                          progress
    {C::Open,                 "open",               kFile,    "&Open...",               "Ctrl+O",             N::Nothing,    S::Application},
    {C::AnalyzeSegment,       "analyze-segment",    kFile,    "&Analyze Segment",       "",                   N::Document,   S::Window,      true},
    {C::ExportSegment,        "export-segment",     kFile,    "Export &Segment...",     "",                   N::Document,   S::Window,      false, "",            "uiExportSegmentButton"},
    {C::ExportStems,          "export-stems",       kFile,    "Export S&tems...",       "",                   N::Analysis,   S::Window},
    {C::ExportMaster,         "export-master",      kFile,    "Export &Master...",      "Ctrl+E",             N::Document,   S::Window,      false, "",            "uiExportAudioButton"},
    {C::RevealInFileManager,  "reveal",             kFile,    "Show in File &Manager",  "",                   N::Document,   S::Window,      false, "",            "uiRevealFileButton"},
    {C::Close,                "close",              kFile,    "&Close",                 "Ctrl+W; Ctrl+F4",    N::Nothing,    S::Application, true},
    {C::Quit,                 "quit",               kFile,    "&Quit",                  "Ctrl+Q",             N::Nothing,    S::Application},
    {C::Undo,                 "undo",               kEdit,    "&Undo",                  "Ctrl+Z",             N::Undo,       S::Document,    false, "undo",        "uiUndoButton"},
    {C::Redo,                 "redo",               kEdit,    "&Redo",                  "Ctrl+Shift+Z; Ctrl+Y", N::Redo,     S::Document,    false, "redo"},
    {C::SelectAll,            "select-all",         kEdit,    "Select &All",            "Ctrl+A",             N::Document,   S::Document,    true,  "select-all",  "uiSelectAllButton",            "Selecting..."},
    {C::ClearSelection,       "select-none",        kEdit,    "&Clear Selection",       "Ctrl+Shift+A",       N::Analysis,   S::Document,    false, "select-none", "uiSelectNoneButton"},
    {C::Preferences,          "preferences",        kEdit,    "&Preferences...",        "Ctrl+,",             N::Nothing,    S::Application, true},
    {C::KeepTransients,       "keep-transients",    kProcess, "&Keep Transients",       "",                   N::Analysis,   S::Document,    false, "transients",  "uiIsolateStochasticButton",    "Isolating transients...", true},
    {C::DiscardTransients,    "discard-transients", kProcess, "&Discard Transients",    "",                   N::Analysis,   S::Document,    false, "sustained",   "uiIsolateDeterministicButton", "Isolating sustained...", true},
    {C::FillGaps,             "fill-gaps",          kProcess, "&Fill Gaps",             "",                   N::Analysis,   S::Document,    false, "fill-gaps",   "uiFillGapsButton",             "Filling gaps in selection..."},
    {C::ApplySelection,       "apply",              kProcess, "A&pply Selection",       "",                   N::Analysis,   S::Document,    true,  "apply",       "uiApplySelectionButton",       "Applying selection..."},
    {C::CancelProcessing,     "cancel",             "",       "Cancel",                 "",                   N::Document,   S::Document,    false, "",            "uiCancelProcessingButton"},
    {C::TogglePlayStop,       "play-stop",          kPlay,    "&Play / Stop",           "",                   N::Document,   S::Document},
    {C::PlayOriginal,         "play-original",      kPlay,    "Play &Original",         "",                   N::Document,   S::Document,    false, "",            "uiPlayOriginalButton"},
    {C::Stop,                 "stop",               kPlay,    "&Stop",                  "",                   N::Document,   S::Document,    false, "",            "uiStopButton"},
    {C::Forward,              "forward",            kPlay,    "&Forward",               "Ctrl+Right",         N::Document,   S::Document,    true,  "",            "uiForwardButton"},
    {C::Rewind,               "rewind",             kPlay,    "&Rewind",                "Ctrl+Left",          N::Document,   S::Document,    false, "",            "uiRewindButton"},
    {C::Loop,                 "loop",               kPlay,    "&Loop",                  "Ctrl+L",             N::Document,   S::Document,    false, "",            "uiLoopButton"},
    {C::ShowInput,            "show-input",         kView,    "&Input",                 "Ctrl+1",             N::Document,   S::Window},
    {C::ShowAnalysis,         "show-analysis",      kView,    "&Analysis",              "Ctrl+2",             N::Document,   S::Window},
    {C::ShowOutput,           "show-output",        kView,    "&Master Output",         "Ctrl+3",             N::Document,   S::Window},
    {C::ZoomInTime,           "zoom-in-time",       kView,    "Zoom In &Time",          "Ctrl+=",             N::Document,   S::Window,      true},
    {C::ZoomOutTime,          "zoom-out-time",      kView,    "Zoom &Out Time",         "Ctrl+-",             N::Document,   S::Window},
    {C::ZoomInPitch,          "zoom-in-pitch",      kView,    "Zoom In &Pitch",         "Ctrl+Alt+=",         N::Document,   S::Window},
    {C::ZoomOutPitch,         "zoom-out-pitch",     kView,    "Zoom Out Pitc&h",        "Ctrl+Alt+-",         N::Document,   S::Window},
    {C::FitToWindow,          "fit",                kView,    "&Fit Segment",           "Ctrl+0",             N::Document,   S::Window},
    {C::Minimize,             "minimize",           kWindow,  "&Minimize",              "Ctrl+M",             N::Nothing,    S::Application},
    {C::QuickStart,           "quick-start",        kHelp,    "Orvex &Quick Start",     "F1",                 N::Nothing,    S::Application},
    {C::About,                "about",              kHelp,    "&About Orvex",           "",                   N::Nothing,    S::Application},
};
// clang-format on

}  // namespace

std::span<const EditorCommandRow> EditorCommands::all() { return kTable; }

const EditorCommandRow& EditorCommands::row(EditorCommand command) {
    const auto* found = std::find_if(std::begin(kTable), std::end(kTable),
                                     [command](const EditorCommandRow& s) { return s.command == command; });
    return found != std::end(kTable) ? *found : kTable[0];  // every command has its row (a test holds it)
}

std::optional<EditorCommand> EditorCommands::ofCliVerb(std::string_view verb) {
    if (verb.empty()) return std::nullopt;
    for (const EditorCommandRow& s : kTable)
        if (s.cliVerb == verb) return s.command;
    return std::nullopt;
}

std::string EditorCommands::cliVerbs() {
    std::string verbs;
    for (const EditorCommandRow& s : kTable) {
        if (s.cliVerb.empty()) continue;
        if (!verbs.empty()) verbs += ", ";
        verbs += s.cliVerb;
    }
    return verbs;
}

std::span<const std::string_view> EditorCommands::menus() { return kMenus; }

bool EditorCommands::isEnabled(CommandNeeds needs, const CommandContext& context) {
    switch (needs) {
        case CommandNeeds::Nothing: return true;
        case CommandNeeds::Document: return context.hasDocument;
        case CommandNeeds::Analysis: return context.hasDocument && context.hasAnalysis;
        case CommandNeeds::Undo: return context.hasDocument && context.canUndo;
        case CommandNeeds::Redo: return context.hasDocument && context.canRedo;
    }
    return false;
}

std::string EditorCommands::title(const EditorCommandRow& row, const CommandContext& context) {
    std::string title(row.title);
    if (row.namesSeparator && context.medianSeparation) title += " (Median Filter)";
    const std::string& step = row.command == EditorCommand::Undo   ? context.undoName
                              : row.command == EditorCommand::Redo ? context.redoName
                                                                   : std::string();
    if (!step.empty()) title += " " + step;
    return title;
}

std::string EditorCommands::menuItemName(const EditorCommandRow& row) {
    std::string name = "ui";
    bool upper = true;
    for (char c : row.name) {
        if (c == '-') {
            upper = true;
            continue;
        }
        name += upper ? char(std::toupper(static_cast<unsigned char>(c))) : c;
        upper = false;
    }
    return name + "MenuItem";
}

}  // namespace orvex
