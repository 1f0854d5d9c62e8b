#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>

#include "platform/PropertyList.h"
#include "support/Shell.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

namespace orvex {
namespace {

PropertyList sampleDictionary() {
    PropertyList d;
    d.setInt("ORVXFileGroup_Version", 259);
    d.setInt("ORVXFileGroup_AnalysisEndFrame", 5000000000LL);  // beyond 32 bits
    d.setInt("Negative", -3);
    d.setBool("AnalysisDataSelected", true);
    d.setBool("AnalysisCompleteForSelection", false);
    d.setString("ORVXFileGroup_DictionaryPath", "/x/take.analysis/take.plist");
    d.setReal("Gain", 0.5);
    return d;
}

// What is written is read back whole, by this class and by an independent reader, every type
// intact (integers beyond 32 bits and negative ones too).
TEST(PropertyList, WrittenFileRoundTripsAndIsReadByAnIndependentReader) {
    test::TempDir temp;
    const std::string path = temp.file("take.plist");
    ASSERT_TRUE(sampleDictionary().writeFileAtomically(path));
    EXPECT_EQ(test::plistText(path),
              "AnalysisCompleteForSelection=False AnalysisDataSelected=True Gain=0.5 Negative=-3 "
              "ORVXFileGroup_AnalysisEndFrame=5000000000 ORVXFileGroup_DictionaryPath=/x/take.analysis/take.plist "
              "ORVXFileGroup_Version=259\n");
    EXPECT_EQ(PropertyList::readFile(path), sampleDictionary());
}

TEST(PropertyList, MissingKeysReadAsZeroFalseAndEmpty) {
    PropertyList d;
    EXPECT_EQ(d.getInt("x"), 0);
    EXPECT_FALSE(d.getBool("x"));
    EXPECT_EQ(d.getString("x"), "");
    d.setBool("b", true);
    EXPECT_EQ(d.getInt("b"), 1);
}

TEST(PropertyList, MissingGarbageAndNonDictionaryFilesReadAsNothing) {
    test::TempDir temp;
    EXPECT_FALSE(PropertyList::readFile(temp.file("missing.plist")).has_value());
    std::ofstream(temp.file("garbage.plist")) << "this is not a property list";
    EXPECT_FALSE(PropertyList::readFile(temp.file("garbage.plist")).has_value());
    std::ofstream(temp.file("array.plist"))
        << "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><integer>1</integer></array></plist>";
    EXPECT_FALSE(PropertyList::readFile(temp.file("array.plist")).has_value());
}

// Binary lists written by Python's plistlib, as hex, with the "Q" of a key or of a one-byte or
// two-byte string replaced by a NUL when damaged (libplist aborts on such text).
std::string binaryList(const std::string& dict, const std::string& from, const std::string& to) {
    const std::string hex = test::runCommand("python3 -c 'import plistlib; b = plistlib.dumps(" + dict +
                                             ", fmt=plistlib.FMT_BINARY); print(b.replace(" + from + ", " + to +
                                             ").hex())'");
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) bytes += char(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

TEST(PropertyList, BinaryListsWithANulInAKeyOrStringAreRefusedAsDamage) {
    const struct {
        const char* dict;
        const char* from;
        const char* to;
    } cases[] = {
        {R"({"KeyQ": 1})", R"(b"KeyQ")", R"(b"Key\0")"},
        {R"({"Key": "ValueQ"})", R"(b"ValueQ")", R"(b"Value\0")"},
        {R"({"Key": "\u00e9Q"})", R"(b"\0Q")", R"(b"\0\0")"},
    };
    for (const auto& c : cases) {
        const auto intact = PropertyList::fromBytes(binaryList(c.dict, c.from, c.from));
        ASSERT_TRUE(intact.has_value()) << c.dict;
        EXPECT_TRUE(intact->has("Key") || intact->has("KeyQ")) << c.dict;
        EXPECT_FALSE(PropertyList::fromBytes(binaryList(c.dict, c.from, c.to)).has_value()) << c.dict;
    }
}

TEST(PropertyList, XmlStringHoldingANulByteIsSkippedNotAnAbort) {
    using namespace std::string_literals;
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
        "<key>Bad</key><string>a\0b</string><key>Good</key><string>ok</string></dict></plist>\n"s;
    const auto list = PropertyList::fromBytes(xml);
    ASSERT_TRUE(list.has_value());
    EXPECT_FALSE(list->has("Bad"));
    EXPECT_TRUE(list->has("Good"));
}

TEST(PropertyList, RealsReadAsIntegersAreTruncatedAndLimitedToTheIntegerRange) {
    const struct {
        double stored;
        std::int64_t read;
    } cases[] = {
        {3.9, 3}, {-3.9, -3}, {1e300, INT64_MAX}, {-1e300, INT64_MIN}, {-9223372036854775808.0, INT64_MIN},
        {std::nan(""), 0}, {HUGE_VAL, INT64_MAX},
    };
    for (const auto& c : cases) {
        PropertyList d;
        d.setReal("Frame", c.stored);
        EXPECT_EQ(d.getInt("Frame"), c.read) << c.stored;
        EXPECT_EQ(d.getBool("Frame"), c.read != 0) << c.stored;
    }
}

TEST(PropertyList, FailedWritesLeaveTheOldFileAndNoTemporaryBehind) {
    test::TempDir temp;
    const std::string path = temp.file("d.plist");
    ASSERT_TRUE(sampleDictionary().writeFileAtomically(path));
    ::chmod(temp.path().c_str(), 0555);  // write-protected, but others may read
    ::chmod(path.c_str(), 0644);
    const int failedAsExpected = test::runUnprivileged([&] {
        PropertyList other;
        other.setInt("ORVXFileGroup_Version", 1);
        return other.writeFileAtomically(path) ? 1 : 0;
    });
    ::chmod(temp.path().c_str(), 0700);
    EXPECT_EQ(failedAsExpected, 0);
    EXPECT_EQ(*PropertyList::readFile(path), sampleDictionary());
    int entries = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(temp.path())) ++entries;
    EXPECT_EQ(entries, 1);
    EXPECT_FALSE(sampleDictionary().writeFileAtomically(temp.file("no/such/d.plist")));
}

}  // namespace
}  // namespace orvex
