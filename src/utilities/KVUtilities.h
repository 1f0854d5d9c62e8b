#pragma once

#include <cstdint>
#include <string>

#include "audiofile/KVAudioFileReader.h"
#include "platform/PropertyList.h"

namespace orvex {

class KVAudioFileWriter;

// An RGBA colour with components in 0..1.
struct ThemeColor {
    double red, green, blue, alpha;
    bool operator==(const ThemeColor&) const = default;
};

// Class-level helpers used across the system.
class KVUtilities {
public:
    KVUtilities() = delete;

    // --- Time formats and note names ---
    static std::string SamplesToTime(std::uint64_t samples, double rate);
    static std::string SamplesToTimeShort(std::uint64_t samples, double rate);
    // "A 4" for the note nearest a frequency, with A4 at a4 Hz.
    static std::string noteNumberFromFrequency(float frequency, double a4 = 440.0);
    // "C4" for MIDI note 60 (0 or above).
    static std::string noteName(int midiNote);

    // --- Sounds (through the platform) ---
    // Any thread; asks the main thread for the chime without waiting for it.
    static void playFinishedSound();
    static void playFinishedSoundInMainThread();
    static void playStartupSound();

    // --- Theme colours ---
    static ThemeColor themeColorBlack();
    static ThemeColor themeColorWhiteWithAlpha(double alpha);
    static ThemeColor themeColorDarkGray();
    static ThemeColor themeColorMediumGray();
    // themeColor00 ... themeColor09 by index 0..9.
    static ThemeColor themeColor(int index);
    static ThemeColor themeColorHighlightWithAlpha(double alpha);
    static ThemeColor themeColorWaveformColor();
    static ThemeColor themeColorColdHighlightWithAlpha(double alpha);
    static ThemeColor themeColorDarkCanvas();
    static ThemeColor themeColorMediumCanvas();
    static ThemeColor themeColorLightCanvas();
    static ThemeColor themeColorSelection();
    static ThemeColor themeColorEditCursor();
    static ThemeColor themeColorPlayCursor();

    // --- Metadata chunks ---
    static KVMetadataChunks metadataChunksOfFile(KVAudioFileReader& reader);
    static void writeMetadataChunks(const KVMetadataChunks& chunks, KVAudioFileWriter& writer);
    static void releaseMetadataChunks(KVMetadataChunks& chunks);

    // --- Analysis folder and parameter dictionary (path = working sound file or file-set base) ---
    // "<folder>/<name>.analysis" beside the file, made when missing.
    static std::string analysisFolderForFileAtPath(const std::string& path);
    // The same path, nothing made.
    static std::string analysisFolderPathOfFileAtPath(const std::string& path);
    static std::string paramDictPathForAnalysisOfFileAtPath(const std::string& path);
    static PropertyList paramDictForAnalysisOfFileAtPath(const std::string& path);
    static bool keyExistsInDictForAnalysisOfFileAtPath(const std::string& path, const std::string& key);
    static bool chunkFileForFileAtPathIsCompatible(const std::string& path);
    // Stamps the stored dictionary with its path and the current format version (changes to
    // single keys go through KVParamDictionary).
    static bool updateAndSaveParamDictForAnalysisOfFileAtPath(const std::string& path);
    static bool saveParamDictForAnalysisOfFileAtPath(const std::string& path, const PropertyList& dict);
};

}  // namespace orvex
