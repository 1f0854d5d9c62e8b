#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "document/EditorCommands.h"
#include "document/SegmentEdits.h"

namespace orvex::test {
namespace {

// The table is what menus, buttons and the CLI are built from: each command has one row, and
// no name, key, verb or button is claimed twice (a second claim would silently win or lose).
TEST(EditorCommands, EveryCommandHasOneRowAndNothingIsClaimedTwice) {
    std::set<int> commands;
    std::set<std::string> names, keys, verbs, buttons, items;
    for (const EditorCommandRow& row : EditorCommands::all()) {
        EXPECT_TRUE(commands.insert(int(row.command)).second) << row.name;
        EXPECT_TRUE(names.insert(std::string(row.name)).second) << row.name;
        EXPECT_TRUE(items.insert(EditorCommands::menuItemName(row)).second) << row.name;
        std::istringstream shortcuts{std::string(row.shortcut)};
        for (std::string key; std::getline(shortcuts >> std::ws, key, ';');)
            EXPECT_TRUE(keys.insert(key).second) << key;
        if (!row.cliVerb.empty()) EXPECT_TRUE(verbs.insert(std::string(row.cliVerb)).second) << row.cliVerb;
        if (!row.button.empty()) EXPECT_TRUE(buttons.insert(std::string(row.button)).second) << row.button;
        EXPECT_EQ(&EditorCommands::row(row.command), &row);
        if (!row.menu.empty()) {
            bool known = false;
            for (std::string_view menu : EditorCommands::menus()) known = known || menu == row.menu;
            EXPECT_TRUE(known) << row.name;
        }
    }
    EXPECT_EQ(commands.size(), size_t(EditorCommand::Loop) + 1);
    EXPECT_EQ(EditorCommands::menuItemName(EditorCommands::row(EditorCommand::ExportStems)), "uiExportStemsMenuItem");
    EXPECT_EQ(EditorCommands::row(EditorCommand::Redo).shortcut, "Ctrl+Shift+Z; Ctrl+Y");
}

// orvex-cli's verbs keep their words, and each whole-segment verb has its controller call.
TEST(EditorCommands, CliVerbsNameTheWholeSegmentEdits) {
    const std::pair<const char*, EditorCommand> expected[] = {
        {"sustained", EditorCommand::DiscardTransients}, {"transients", EditorCommand::KeepTransients},
        {"fill-gaps", EditorCommand::FillGaps},          {"select-all", EditorCommand::SelectAll},
        {"select-none", EditorCommand::ClearSelection},  {"apply", EditorCommand::ApplySelection},
        {"undo", EditorCommand::Undo}};
    for (const auto& [verb, command] : expected) {
        EXPECT_EQ(EditorCommands::ofCliVerb(verb), command) << verb;
        EXPECT_EQ(bool(SegmentEdits::of(command)), command != EditorCommand::Undo) << verb;
    }
    EXPECT_FALSE(EditorCommands::ofCliVerb("box"));
    EXPECT_FALSE(EditorCommands::ofCliVerb(""));
    EXPECT_FALSE(SegmentEdits::of(EditorCommand::Stop));
}

TEST(EditorCommands, EnablingRulesReadTheFrontDocument) {
    using N = CommandNeeds;
    const CommandContext none{}, plain{.hasDocument = true},
        analysed{.hasDocument = true, .hasAnalysis = true, .canUndo = true};
    EXPECT_TRUE(EditorCommands::isEnabled(N::Nothing, none));
    EXPECT_FALSE(EditorCommands::isEnabled(N::Document, none));
    EXPECT_TRUE(EditorCommands::isEnabled(N::Document, plain));
    EXPECT_FALSE(EditorCommands::isEnabled(N::Analysis, plain));
    EXPECT_TRUE(EditorCommands::isEnabled(N::Analysis, analysed));
    EXPECT_TRUE(EditorCommands::isEnabled(N::Undo, analysed));
    EXPECT_FALSE(EditorCommands::isEnabled(N::Redo, analysed));
    // A stale flag without a document enables nothing.
    EXPECT_FALSE(EditorCommands::isEnabled(N::Undo, CommandContext{.canUndo = true}));
}

}  // namespace
}  // namespace orvex::test
