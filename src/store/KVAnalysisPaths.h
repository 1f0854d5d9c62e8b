#pragma once

#include <string>

namespace orvex {

// Paths inside the analysis folder D/N.analysis of a working sound file D/N.E (or of a file-set
// base such as D/N.analysis/N-selection.analysis, laid out by the same rules). Builders of
// folders create them, with intermediate folders, when missing.
class KVAnalysisPaths {
public:
    KVAnalysisPaths() = delete;

    // P without the extension of its last component, followed by suffix (".ana.noindex").
    static std::string dataFilePath(const std::string& basePath, const std::string& suffix);
    // D/N.analysis/N_c.kva, base path of the chunk file of channel c.
    static std::string channelChunkPath(const std::string& path, int channel);
    // D/N.analysis/N_ovw.kva, base path of the overview chunk file.
    static std::string overviewChunkPath(const std::string& path);
    // D/N.analysis/N-selection.analysis, the selection file set's base path.
    static std::string selectionFileSetPath(const std::string& path);
    // D/N.analysis/N_open-step.noindex: present while an undo step (or an undo) of the file
    // set of P is being written, so that an interrupted one is rolled back on the next open.
    static std::string openStepMarkerPath(const std::string& path);
    // D/N.analysis/N_history.noindex: the levels of undo and redo of the file set of P.
    static std::string historyPath(const std::string& path);
    // D/N.analysis/N-collection.analysis, the mixdown folder (created).
    static std::string mixdownFolderPath(const std::string& path);
    // The base paths mxl.xxx and mxr.xxx of the left and right mixdown collections.
    static std::string mixdownLeftPath(const std::string& path);
    static std::string mixdownRightPath(const std::string& path);

private:
    static std::string inAnalysisFolder(const std::string& path, const std::string& nameSuffix);
};

}  // namespace orvex
