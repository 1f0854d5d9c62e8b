#pragma once

#include <functional>

#include "document/EditorCommands.h"

namespace orvex {

class KVAnalysisController;

// The whole-segment edits of the selection as analysis-controller calls: the one handler the
// document runs under its busy rule and progress sheet, and orvex-cli's edit verbs run directly.
class SegmentEdits {
public:
    SegmentEdits() = delete;

    using Edit = std::function<void(KVAnalysisController&)>;
    // The controller call of command; empty for a command that is no whole-segment edit.
    static Edit of(EditorCommand command);
};

}  // namespace orvex
