#include "document/SegmentEdits.h"

#include "engine/KVAnalysisController.h"

namespace orvex {

SegmentEdits::Edit SegmentEdits::of(EditorCommand command) {
    switch (command) {
        case EditorCommand::KeepTransients: return [](KVAnalysisController& c) { c.isolateStochastic(); };
        case EditorCommand::DiscardTransients: return [](KVAnalysisController& c) { c.isolateDeterministic(); };
        case EditorCommand::FillGaps: return [](KVAnalysisController& c) { c.fillGaps(); };
        case EditorCommand::SelectAll: return [](KVAnalysisController& c) { c.selectAll(); };
        case EditorCommand::ClearSelection: return [](KVAnalysisController& c) { (void)c.selectNone(); };
        case EditorCommand::ApplySelection: return [](KVAnalysisController& c) { c.applySelection(); };
        default: return {};
    }
}

}  // namespace orvex
