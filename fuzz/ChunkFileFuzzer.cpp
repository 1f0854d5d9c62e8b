// Chunk-file opener with record decoding: a records file and an undo file of any content are
// opened, every stored record is decoded and drawn, and the undo copies are replayed, without
// a crash or an out-of-range access.
//
// Input: one flags byte, a little-endian 32-bit length L, then L bytes of the records file
// (".ana.noindex") and the rest as the undo file (".undo.noindex").

#include <cmath>
#include <cstdlib>
#include <memory>

#include "FuzzScratch.h"
#include "dsp/DisplayColumn.h"
#include "dsp/DisplaySummary.h"
#include "platform/HeadlessPlatform.h"
#include "store/KVAnalysisChunkFile.h"

namespace {

using orvex::FrameRecord;
using orvex::KVAnalysisChunkFile;

enum Flags : std::uint8_t { kKeepsUndo = 1, kDisplayFiles = 2, kUndo = 4, kWriteBack = 8 };
constexpr orvex::FrameCount kMostRecords = 3;

void writeFiles(const std::uint8_t* data, std::size_t size) {
    const auto& scratch = orvex::fuzz::FuzzScratch::shared();
    scratch.clear();
    const std::size_t recordBytes = std::min<std::size_t>(orvex::fuzz::readLittle32(data + 1), size - 5);
    scratch.write("c.ana.noindex", data + 5, recordBytes);
    scratch.write("c.undo.noindex", data + 5 + recordBytes, size - 5 - recordBytes);
    for (const char* name : {"c.dsp.noindex", "c.trk.noindex", "c.cdx.noindex"}) scratch.write(name, nullptr, 0);
}

// Every derivation the store, the views and the editors make of a stored record.
void decodeRecord(const FrameRecord& record) {
    const auto magnitudes = record.decodeMagnitudes();
    const auto frequencies = record.decodeFrequencies();
    const auto phases = record.decodePhases();
    if (magnitudes.size() != std::size_t(record.binCount()) || record.binCount() > orvex::kFrameRecordMaxBins)
        std::abort();
    record.frequencyStability();
    record.nearestPeakBin(440.0f);
    orvex::spectralColumn(record);
    orvex::harmonicColumn(record);
    orvex::frameSummary(record);
}

void readBack(KVAnalysisChunkFile& chunk) {
    orvex::DisplayColumn columns[2];
    orvex::FrameSummary summaries[2];
    chunk.readDisplayColumns(columns, 0, 2, orvex::DisplayColumnKind::harmonic);
    chunk.readFrameSummaries(summaries, 0, 2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5) return 0;
    const std::uint8_t flags = data[0];
    writeFiles(data, size);
    auto platform = std::make_shared<orvex::HeadlessPlatform>();
    platform->setEchoAlerts(false);
    orvex::Platform::install(platform);

    auto chunk = KVAnalysisChunkFile::initByOpeningFileAtPath(orvex::fuzz::FuzzScratch::shared().path("c.kva"),
                                                              44100.0, 4, 4096, 32, flags & kKeepsUndo, false,
                                                              flags & kDisplayFiles);
    auto record = FrameRecord::create();
    const orvex::FrameCount frames = std::min(chunk->frameCount(), kMostRecords);
    for (orvex::FramePos frame = 0; frame < frames; ++frame)
        if (chunk->readFrameRecord(frame, *record) == 0) decodeRecord(*record);
    if (flags & kUndo) chunk->undoLastStep();
    if ((flags & kWriteBack) && chunk->readFrameRecord(0, *record) == 0) {
        chunk->beginUndoStep();
        chunk->writeFrameRecord(*record, 1);
        chunk->commitUndoStep();
    }
    readBack(*chunk);
    chunk.reset();
    orvex::Platform::install(nullptr);
    return 0;
}
