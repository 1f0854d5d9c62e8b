#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "common/Types.h"
#include "store/KVEncodedGrain.h"
#include "store/KVRecordFile.h"
#include "store/WriteFailureLatch.h"

namespace orvex {

// A file of encoded grains, one per analysis frame (128 samples apart), played back as one
// continuous signal by overlap-adding the decoded grains. After a seek to record k the first
// 128 samples are silence and sample j of grain k' >= k arrives at stream position
// (k' - k + 1) x 128 + j; every grain passes a first-order emphasis y = 1.25 x - 0.25 x[-1].
// Threads: every file operation and the seek run under monitor(); the stream state belongs to
// one consumer thread at a time (others open their own read-only collection on the path).
class KVGrainCollection {
public:
    static constexpr FrameCount kHop = kAnalysisHop;
    static constexpr int kGrainSize = KVEncodedGrain::kSampleCount;
    // Stream position right after a seek; the stream runs from here to kGrainSize.
    static constexpr int kStreamStart = kGrainSize - static_cast<int>(kHop);
    // The streaming read's emphasis y = x + kEmphasis (x - x[-1]) and its inverse filter
    // u = kInverseGain x + kInversePole u[-1].
    static constexpr double kEmphasis = 0.25;
    static constexpr double kInverseGain = 1.0 / (1.0 + kEmphasis);
    static constexpr double kInversePole = kEmphasis / (1.0 + kEmphasis);

    // Encodes the grain samples[0 .. 4095] so that the stream gives them back unchanged: passes
    // them through the inverse of the read's emphasis (in place; the grain starts and ends at
    // the window's zeros, so nothing is cut off) and raises the scale by the coding's loss.
    static void encodeForStream(float* samples, KVEncodedGrain& into);

    // Opens the collection of base path P (its data file is P without extension +
    // ".asp.noindex"). Nothing when a read-only collection's file is missing or unreadable.
    // A writable one creates its file when missing or when recreate is set. Its creation and
    // write failures go to failures (the latch of the store it belongs to), or to a latch of
    // its own when none is given.
    static std::unique_ptr<KVGrainCollection> initByOpeningFileAtPath(
        const std::string& path, bool readOnly, bool recreate, std::shared_ptr<WriteFailureLatch> failures = nullptr);
    ~KVGrainCollection();
    KVGrainCollection(const KVGrainCollection&) = delete;
    KVGrainCollection& operator=(const KVGrainCollection&) = delete;

    // Writes one record at index (negative indices are ignored). 0, or -1 when the write failed
    // (the failure goes to the latch).
    Status writeRecord(const KVEncodedGrain& grain, FramePos index);
    // Writes count consecutive records from index in one write; as writeRecord.
    Status writeRecords(const KVEncodedGrain* grains, FramePos index, FrameCount count);
    // Writes at the append index and advances it.
    Status appendRecord(const KVEncodedGrain& grain);
    // Reads count records from index; a failed read zero-fills the buffer, a short read stops
    // quietly (the rest of the buffer is left as it was). Returns the records read whole. A
    // record that does not match its checksum fails the read and is kept as damage().
    FrameCount readRecords(KVEncodedGrain* into, FramePos index, FrameCount count);
    // For a file made long before its records are written (the mixdown): reads then give the
    // records that lie in holes as zeros without reading them.
    void setMostlyHoles(bool mostlyHoles) { mMostlyHoles = mostlyHoles; }
    // Cuts or extends the file to n records. 0, or -1 when the file could not be resized.
    Status setFrameCount(FrameCount n);
    // Records in the file now (also remembered for hasAudio).
    FrameCount frameCount();
    bool hasAudio() const { return mFrameCount.load() != 0; }
    FrameCount numberOfSamples() { return frameCount() * kHop; }

    // Stream control and streaming.
    void seekGrainRecord(FramePos record);
    void setPlayPosition(FramePos sample) { seekGrainRecord(sample / kHop); }
    FramePos currentSample() const;
    // Streams n samples into buffers[0] (the other channels are not touched). 0, or -1 when
    // the stream ran past the last record or a record could not be read (the missing grains
    // are silence).
    Status readAudio(FrameCount n, float** buffers);

    // Pushes the file to the disk. 0, or -1 when the system reports that written data was lost.
    Status synchronize();
    // Pushes the file to the disk and marks the collection complete, unless a creation, write or
    // push failed since the latch was last cleared.
    void markComplete();
    bool isAnalysisComplete() const { return mIsComplete.load() && !mFailures->failed(); }
    // The first damaged record this collection met in a read (a grain that does not match its
    // checksum), or success; it also goes to the latch, so the store's writes stop.
    Result damage() const;
    // Whether the last read failed on a record that does not match its checksum.
    bool lastReadWasDamaged() const;
    // The first failure of the collection's store since the latch was last cleared, or success.
    Result writeFailure() const { return mFailures->failure(); }
    // Forgets the failures met so far (of every collection sharing the latch), before a new
    // piece of work whose own failures are to be told.
    void clearWriteFailure() { mFailures->clear(); }
    void closeFile();
    // Runs change on the data file under the monitor (a second name, a detach or a replacement:
    // see KVRecordFile) and counts its records again; a failure goes to the latch.
    bool changeFile(const std::function<bool(KVRecordFile&)>& change);
    // See KVRecordFile::setWritesBackEarly.
    void setWritesBackEarly(bool early);
    // A read-only collection opens its path again once the file under it was replaced; the
    // stream goes on from the record it had reached.
    bool reopen();

    const std::string& sourceFilePath() const { return mSourcePath; }
    const std::string& filePath() const { return mFile.path(); }
    std::recursive_mutex& monitor() const { return mMonitor; }

    // Use initByOpeningFileAtPath; the token keeps construction inside the class.
    struct Token {
        explicit Token() = default;
    };
    KVGrainCollection(Token, const std::string& path, std::shared_ptr<WriteFailureLatch> failures);

private:
    bool createFile();
    void advanceStream();
    void recordWriteFailure();
    void noteReadFailure();

    std::atomic<bool> mIsComplete{false};
    std::atomic<FrameCount> mFrameCount{0};
    std::string mSourcePath;
    KVRecordFile mFile;
    std::shared_ptr<WriteFailureLatch> mFailures;
    Result mDamage = Result::success();
    std::atomic<bool> mMostlyHoles{false};
    KVEncodedGrain mRecord{};
    FramePos mAppendIndex = 0;
    std::atomic<bool> mDirty{false};
    FramePos currentRecord = 0;
    int mStreamPosition = kStreamStart;
    std::array<float, kGrainSize> mGrain{};
    std::array<float, kGrainSize> mAccumulator{};
    std::array<float, kHop> mOutputBlock{};
    Status mStreamStatus = 0;
    mutable std::recursive_mutex mMonitor;
};

}  // namespace orvex
