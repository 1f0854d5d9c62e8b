#pragma once

// The keys of the parameter dictionary in an analysis folder, one definition for every reader
// and writer.
namespace orvex::paramkeys {

// Format version of the data in an analysis folder (the value of kVersion); older and newer
// folders are rebuilt.
inline constexpr long long kAnalysisFolderVersion = 259;

inline constexpr const char* kVersion = "ORVXFileGroup_Version";
inline constexpr const char* kDictionaryPath = "ORVXFileGroup_DictionaryPath";
// The name of the source whose working copy the analysis folder belongs to (WorkingCopyOwner).
inline constexpr const char* kConvertedFrom = "ORVXFileGroup_ConvertedFrom";
inline constexpr const char* kAnalysisStartFrame = "ORVXFileGroup_AnalysisStartFrame";
inline constexpr const char* kAnalysisEndFrame = "ORVXFileGroup_AnalysisEndFrame";
inline constexpr const char* kSelectionStartFrame = "ORVXFileGroup_SelectionStartFrame";
inline constexpr const char* kSelectionEndFrame = "ORVXFileGroup_SelectionEndFrame";
inline constexpr const char* kDocumentMode = "DocumentConfiguredForMode";
inline constexpr const char* kAnalysisDataSelected = "AnalysisDataSelected";
inline constexpr const char* kAnalysisCompleteForSelection = "AnalysisCompleteForSelection";

}  // namespace orvex::paramkeys
