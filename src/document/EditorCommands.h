#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>
#include <string_view>

namespace orvex {

// Every command a user can give the editor, from a menu, a key, a button or orvex-cli.
enum class EditorCommand {
    // The application's own: they need no document.
    Open,
    Close,
    Quit,
    Preferences,
    Minimize,
    QuickStart,
    About,
    // The front document's window: tabs, zoom, analysis, the export panels.
    AnalyzeSegment,
    ExportSegment,
    ExportStems,
    ExportMaster,
    RevealInFileManager,
    ShowInput,
    ShowAnalysis,
    ShowOutput,
    ZoomInTime,  // the analysis view's zoom, which shows the analysis tab first
    ZoomOutTime,
    ZoomInPitch,
    ZoomOutPitch,
    FitToWindow,
    // The document's own.
    Undo,
    Redo,
    SelectAll,
    ClearSelection,     // select none
    KeepTransients,     // isolate the stochastic part
    DiscardTransients,  // keep sustained: isolate the deterministic part
    FillGaps,
    ApplySelection,
    CancelProcessing,
    TogglePlayStop,
    PlayOriginal,
    Stop,
    Forward,
    Rewind,
    Loop,
};

// Who runs a command: the application controller, the front document's window (it needs
// the window's panels or views), or the document itself.
enum class CommandScope { Application, Window, Document };

// What a command needs of the front document before its menu item is enabled.
enum class CommandNeeds { Nothing, Document, Analysis, Undo, Redo };

// The state of the front document the enabling rules read.
struct CommandContext {
    bool hasDocument = false;
    bool hasAnalysis = false;
    bool canUndo = false;
    bool canRedo = false;
    bool medianSeparation = false;  // keep sustained and keep transients use the median separator
    std::string undoName;           // what Undo would take back ("Keep Sustained"); empty: nothing
    std::string redoName;           // what Redo would do again
    std::vector<std::string> history;  // the selection's steps, oldest first
    std::size_t historyPosition = 0;   // how many of them are done (the rest can be redone)
};

// One command: where it appears and when it can run. The handler is the scope's one switch
// over EditorCommand (AppController, the window host, KVWaveDocument::perform).
struct EditorCommandRow {
    EditorCommand command;
    std::string_view name;      // stable identifier, "keep-transients"
    std::string_view menu;      // the menu's title, "&Process"; empty: no menu item
    std::string_view title;     // the item's title, "&Keep Transients"
    std::string_view shortcut;  // portable key text, "Ctrl+E"; alternatives separated by "; "
    CommandNeeds needs;
    CommandScope scope;
    bool separatorBefore = false;  // a separator above its menu item
    std::string_view cliVerb;      // the orvex-cli edit operation that runs it; empty: none
    std::string_view button;       // the editor window's button that runs it; empty: none
    std::string_view progressText; // the document's progress sheet while it runs; empty: none
    bool namesSeparator = false;   // its title says which separator runs (EditorCommands::title)
};

// The command table, in menu order: menus, buttons, orvex-cli's edit verbs and the tests all
// read it, so a new command is a row here, its case in its scope's handler, and its test.
class EditorCommands {
public:
    EditorCommands() = delete;

    static std::span<const EditorCommandRow> all();
    static const EditorCommandRow& row(EditorCommand command);
    static std::optional<EditorCommand> ofCliVerb(std::string_view verb);
    // The CLI verbs, comma separated, in table order.
    static std::string cliVerbs();
    // The menus' titles in menu-bar order.
    static std::span<const std::string_view> menus();
    // Whether a command with these needs may run in context.
    static bool isEnabled(CommandNeeds needs, const CommandContext& context);
    // The item's title in context: "&Keep Transients (Median Filter)" while the median separator
    // is chosen, "&Undo Keep Sustained" and "&Redo Box" for the steps they would take.
    static std::string title(const EditorCommandRow& row, const CommandContext& context);
    // The menu item's object name: "export-stems" -> "uiExportStemsMenuItem".
    static std::string menuItemName(const EditorCommandRow& row);
};

}  // namespace orvex
