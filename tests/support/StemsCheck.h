#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace orvex::test {

// Two stems measured against their source by an independent reader (support/check_stems.py:
// Python's wave module and numpy): each value the script prints, by its key ("source",
// "selection" and "rest" as "frames,channels,bytes,rate", "sum_mismatches", "outside_nonzero",
// "segment_mismatches", ...). segment, when given, is a segment export the selection stem must
// hold at start. "ok" is "1" when the script ran.
struct StemsCheck {
    std::map<std::string, std::string> values;
    std::string output;  // the script's report, for failure messages

    // The value of key as an integer (-1 when missing).
    std::int64_t number(const std::string& key) const;
    const std::string& text(const std::string& key) const;
};

StemsCheck checkStems(const std::string& source, const std::string& selection, const std::string& rest,
                      std::int64_t start, std::int64_t frames, const std::string& segment = "");

}  // namespace orvex::test
