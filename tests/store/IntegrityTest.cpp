// The integrity side file of a record file: its bytes are checked against a CRC-32C computed
// here bit by bit from the polynomial, a byte changed behind the store's back is refused as
// damage naming its record, records lost from the end are counted, and the store's own cuts,
// emptyings and kept copies never raise a false alarm.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "store/Crc32c.h"
#include "store/KVRecordFile.h"
#include "store/RecordChecksums.h"
#include "support/Shell.h"
#include "support/TempDir.h"

namespace orvex {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kSize = 1000;

// CRC-32C one bit at a time, straight from the reflected polynomial.
std::uint32_t bitwiseCrc32c(const std::vector<char>& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1u) ? 0x82F63B78u : 0u);
    }
    return ~crc;
}

std::vector<char> recordOf(int value) {
    std::vector<char> record(kSize);
    for (std::size_t i = 0; i < kSize; ++i) record[i] = static_cast<char>((value * 31 + i * 7) & 0xFF);
    return record;
}

TEST(Crc32cTest, MatchesTheStandardCheckValuesAndTheBitwiseDefinition) {
    const char* digits = "123456789";
    EXPECT_EQ(Crc32c::of(digits, 9), 0xE3069283u);
    const std::vector<char> zeros(32, 0), ones(32, static_cast<char>(0xFF));
    EXPECT_EQ(Crc32c::of(zeros.data(), zeros.size()), 0x8A9136AAu);
    EXPECT_EQ(Crc32c::of(ones.data(), ones.size()), 0x62A8AB43u);
    // Every length around the eight-byte steps, and extension in two parts.
    for (std::size_t length = 0; length < 40; ++length) {
        std::vector<char> bytes = recordOf(static_cast<int>(length));
        bytes.resize(length);
        EXPECT_EQ(Crc32c::of(bytes.data(), length), bitwiseCrc32c(bytes)) << length;
        const std::size_t half = length / 2;
        EXPECT_EQ(Crc32c::extend(Crc32c::of(bytes.data(), half), bytes.data() + half, length - half),
                  bitwiseCrc32c(bytes));
    }
    // Lengths around the three-lane strides, up to a whole frame record.
    for (std::size_t length : {6143u, 6144u, 6151u, 18445u, 50228u}) {
        std::vector<char> bytes(length);
        for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
        EXPECT_EQ(Crc32c::of(bytes.data(), length), bitwiseCrc32c(bytes)) << length;
        EXPECT_EQ(Crc32c::extend(Crc32c::of(bytes.data(), 5), bytes.data() + 5, length - 5), bitwiseCrc32c(bytes));
    }
}

class IntegrityTest : public testing::Test {
protected:
    void SetUp() override {
        mPath = mTemp.file("take_0.ana.noindex");
        mFile = std::make_unique<KVRecordFile>(mPath, kSize);
        ASSERT_TRUE(mFile->create());
        for (int i = 0; i < 8; ++i) ASSERT_TRUE(mFile->write(recordOf(i).data(), i));
    }
    bool reads(std::int64_t index, std::int64_t count = 1) {
        std::vector<char> into(kSize * static_cast<std::size_t>(count));
        return mFile->read(into.data(), index, count) == static_cast<std::int64_t>(into.size());
    }

    test::TempDir mTemp;
    std::string mPath;
    std::unique_ptr<KVRecordFile> mFile;
};

TEST_F(IntegrityTest, SideFileHoldsAHeaderAndOneLittleEndianSumPerRecord) {
    const std::vector<char> side = test::fileBytes(RecordChecksums::pathFor(mPath));
    ASSERT_EQ(side.size(), 16u + 8u * 4u);
    EXPECT_EQ(std::string(side.data(), 8), "orvxcrc1");
    const std::vector<char> size = {char(kSize & 0xFF), char(kSize >> 8), 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::vector<char>(side.begin() + 8, side.begin() + 16), size);
    for (int i = 0; i < 8; ++i) {
        const std::uint32_t expected = bitwiseCrc32c(recordOf(i));
        std::uint32_t stored = 0;
        for (int b = 3; b >= 0; --b) stored = (stored << 8) | static_cast<unsigned char>(side[16 + 4 * i + b]);
        EXPECT_EQ(stored, expected) << "record " << i;
    }
}

TEST_F(IntegrityTest, AFlippedByteIsRefusedAsDamageOfItsRecordOnly) {
    test::flipByte(mPath, 5 * kSize + 123);
    EXPECT_TRUE(reads(0, 5));
    EXPECT_FALSE(mFile->lastReadWasDamaged());
    EXPECT_FALSE(reads(3, 4));
    EXPECT_TRUE(mFile->lastReadWasDamaged());
    EXPECT_EQ(mFile->damagedRecord(), 5);
    EXPECT_EQ(mFile->lastError(), "record 5 of take_0.ana.noindex does not match its checksum");
    // A reader of its own (another descriptor, read-only) finds the same.
    KVRecordFile reader(mPath, kSize);
    ASSERT_TRUE(reader.open(true));
    std::vector<char> into(kSize);
    EXPECT_EQ(reader.read(into.data(), 5), -1);
    EXPECT_EQ(reader.read(into.data(), 6), static_cast<std::int64_t>(kSize));
    // Rewriting the record through the store makes it whole again.
    ASSERT_TRUE(mFile->write(recordOf(50).data(), 5));
    EXPECT_TRUE(reads(0, 8));
}

TEST_F(IntegrityTest, RecordsLostBehindTheStoresBackAreCountedButItsOwnCutsAreNot) {
    EXPECT_EQ(mFile->knownRecords(), 8);
    ASSERT_TRUE(mFile->truncate(6));
    EXPECT_EQ(mFile->knownRecords(), 6);
    mFile->close();
    fs::resize_file(mPath, 3 * kSize);
    EXPECT_EQ(RecordChecksums::knownRecordsAt(mPath, kSize), 6);
    fs::remove(mPath);
    EXPECT_EQ(RecordChecksums::knownRecordsAt(mPath, kSize), 6);
    // A side file for another record size is not ours to trust.
    EXPECT_EQ(RecordChecksums::knownRecordsAt(mPath, kSize + 1), 0);
}

TEST_F(IntegrityTest, EmptyingKeepingAndRestoringNeverRaiseAFalseAlarm) {
    const std::string kept = mTemp.file("take_0.kept.noindex");
    ASSERT_TRUE(mFile->keepAs(kept));
    ASSERT_TRUE(mFile->empty());
    EXPECT_EQ(mFile->knownRecords(), 0);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(mFile->writeLeavingHoles(recordOf(100 + i).data(), i));
    EXPECT_TRUE(reads(0, 3));
    ASSERT_TRUE(mFile->restoreKept(kept));
    EXPECT_EQ(mFile->recordCount(), 8);
    EXPECT_TRUE(reads(0, 8));
    std::vector<char> into(kSize);
    mFile->read(into.data(), 7);
    EXPECT_EQ(into, recordOf(7));
}

TEST_F(IntegrityTest, FilesWithoutASideFileAreReadUnchecked) {
    mFile->close();
    fs::remove(RecordChecksums::pathFor(mPath));
    test::flipByte(mPath, 2 * kSize);
    ASSERT_TRUE(mFile->open(false));
    EXPECT_TRUE(reads(0, 8));
    // From now on what is written is checked.
    ASSERT_TRUE(mFile->write(recordOf(9).data(), 2));
    test::flipByte(mPath, 2 * kSize + 1);
    EXPECT_FALSE(reads(2));
}

}  // namespace
// Rewriting a stored record with a few bytes changed writes those bytes only, with the sum of
// the whole new record; an unchanged record writes nothing.
TEST_F(IntegrityTest, AChangedRecordWritesOnlyTheSpanThatDiffers) {
    const std::vector<char> stored = recordOf(2);
    std::vector<char> changed = stored;
    for (std::size_t i = 100; i < 110; ++i) changed[i] = static_cast<char>(~changed[i]);
    test::flipByte(mPath, 2 * kSize + 700);  // behind the store's back, outside the changed span
    ASSERT_TRUE(mFile->writeChanged(changed.data(), stored.data(), 2));
    std::vector<char> onDisk = test::fileBytes(mPath);
    std::vector<char> expected = changed;
    expected[700] = static_cast<char>(expected[700] ^ 0x50);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), onDisk.begin() + 2 * kSize));  // only 100..109 went out
    EXPECT_FALSE(reads(2));  // so the flipped byte still shows as damage against the new sum
    test::flipByte(mPath, 2 * kSize + 700);
    EXPECT_TRUE(reads(0, 8));

    const std::vector<char> sideBefore = test::fileBytes(RecordChecksums::pathFor(mPath));
    const std::vector<char> before = test::fileBytes(mPath);
    ASSERT_TRUE(mFile->writeChanged(changed.data(), changed.data(), 2));
    EXPECT_EQ(test::fileBytes(mPath), before);
    EXPECT_EQ(test::fileBytes(RecordChecksums::pathFor(mPath)), sideBefore);
}

}  // namespace orvex
