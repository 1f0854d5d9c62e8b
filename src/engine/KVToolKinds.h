#pragma once

namespace orvex {

// The analysis view's tools, numbered as the view, the controller and the tool buttons share them.
enum class AnalysisTool : int {
    multiPencil = 0,
    singlePencil = 1,
    f1Pencil = 2,
    box = 3,
    denoiseBox = 4,
    backgroundBox = 5,
    gapFillerBox = 6,
    magicBox = 7,
    deselectBox = 8,
};
inline bool isPencil(AnalysisTool tool) { return static_cast<int>(tool) < 3; }

// Whether a gesture adds to the selection or takes from it.
enum class SelectionMode : int { Add = 0, Subtract = 1 };

}  // namespace orvex
