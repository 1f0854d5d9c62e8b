#pragma once

// The user-defaults keys of the application, one definition each.
namespace orvex::prefkeys {

inline constexpr const char* kPrefsVersion = "General_PrefsVersion";
inline constexpr const char* kPerceptualModelling = "ORVX_PerceptualModelling";
inline constexpr const char* kReplaceSelected = "ORVX_ReplaceSelected";
inline constexpr const char* kChimeWhenDone = "General_ChimeWhenDone";
inline constexpr const char* kPlayStartupSound = "General_PlayStartupSound";
inline constexpr const char* kOpenFileOnLaunch = "General_OpenFileOnLaunch";
inline constexpr const char* kUseFastDrawing = "General_UseFastDrawing";
inline constexpr const char* kAppVersion = "General_AppVersion";
inline constexpr const char* kApplicationPath = "NSApplicationPath";
inline constexpr const char* kRecentDocuments = "ORVX_RecentDocuments";
// The pitch of A4 that names the analysis view's notes, in tenths of a hertz (4400: 440 Hz).
inline constexpr const char* kA4TuningTenths = "View_A4TuningTenthsOfHz";

// Keep sustained and keep transients: "described" or "median", and the median separator's
// filter lengths (milliseconds, hertz) and mask power (tenths).
inline constexpr const char* kSeparationMethod = "Process_SeparationMethod";
inline constexpr const char* kMedianTimeMs = "Process_MedianTimeMs";
inline constexpr const char* kMedianBandHz = "Process_MedianBandHz";
inline constexpr const char* kMedianPowerTenths = "Process_MedianMaskPowerTenths";

// The undo history of the selection: at most this many levels, whose copies take at most this
// share (percent) of the room the disk offers them.
inline constexpr const char* kUndoLevels = "Edit_UndoLevels";
inline constexpr const char* kUndoDiskPercent = "Edit_UndoDiskPercent";

// The value the panel writes under kPrefsVersion on every save.
inline constexpr int kCurrentPrefsVersion = 301;

}  // namespace orvex::prefkeys
