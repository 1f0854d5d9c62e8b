#pragma once

class QMenuBar;
class QWidget;

namespace orvex {

struct CommandContext;

class AppController;

// Builds the menu bars from the command table (File, Edit, Process, Play, View, Window, Help):
// each item runs its command through the application controller and is enabled by its rule.
// GUI thread only.
class AppMenus {
public:
    AppMenus() = delete;

    // forDocument false: only the items that need no document (start window).
    static QMenuBar* build(AppController& controller, QWidget* parent, bool forDocument);
    // Each item enabled by its command's rule (EditorCommands::isEnabled) in context.
    static void validate(QMenuBar* bar, const CommandContext& context);
};

}  // namespace orvex
