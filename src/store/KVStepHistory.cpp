#include "store/KVStepHistory.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <numeric>
#include <sstream>
#include <utility>

#include "platform/DurableFile.h"

namespace orvex {

namespace {

constexpr const char* kHeader = "orvex-history 1";
constexpr const char* kFilesKind = "files";
constexpr const char* kAnalysisFilesKind = "files+analysis";

// A name is one field of one line.
std::string oneLine(std::string name) {
    std::replace_if(name.begin(), name.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
    return name;
}

bool readEntry(const std::string& line, KVHistoryEntry& entry) {
    const std::size_t first = line.find('\t');
    const std::size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
    if (second == std::string::npos) return false;
    try {
        std::size_t used = 0;
        entry.id = std::stoll(line.substr(0, first), &used);
        if (used != first || entry.id <= 0) return false;
        entry.bytes = std::stoll(line.substr(first + 1, second - first - 1), &used);
        if (used != second - first - 1 || entry.bytes < 0) return false;
    } catch (const std::exception&) {
        return false;
    }
    entry.name = line.substr(second + 1);
    const std::size_t kind = entry.name.find('\t');
    if (kind == std::string::npos) return true;
    entry.spansAnalysis = entry.name.compare(kind + 1, std::string::npos, kAnalysisFilesKind) == 0;
    entry.keepsFiles = entry.spansAnalysis || entry.name.compare(kind + 1, std::string::npos, kFilesKind) == 0;
    entry.name.resize(kind);
    return entry.keepsFiles;
}

// "next 18" -> 18; false for anything else.
bool readField(std::istream& in, const std::string& key, std::int64_t& value) {
    std::string line;
    if (!std::getline(in, line) || line.rfind(key + " ", 0) != 0) return false;
    try {
        std::size_t used = 0;
        value = std::stoll(line.substr(key.size() + 1), &used);
        return used == line.size() - key.size() - 1 && value >= 0;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

KVStepHistory::KVStepHistory(std::string path) : mPath(std::move(path)) {}

bool KVStepHistory::load() {
    clear();
    mDamaged = false;
    ::unlink((mPath + ".partial").c_str());  // a save cut short
    std::ifstream in(mPath, std::ios::binary);
    if (!in) return false;
    std::string header;
    std::int64_t next = 0, cursor = 0;
    bool whole = std::getline(in, header) && header == kHeader && readField(in, "next", next) &&
                 readField(in, "cursor", cursor);
    std::string line;
    while (whole && std::getline(in, line)) {
        KVHistoryEntry entry;
        whole = readEntry(line, entry) && entry.id < next && !contains(entry.id);
        if (whole) mEntries.push_back(std::move(entry));
    }
    if (!whole || static_cast<std::size_t>(cursor) > mEntries.size()) {
        clear();
        mDamaged = true;
        return true;
    }
    mNextId = std::max<std::int64_t>(next, 1);
    mCursor = static_cast<std::size_t>(cursor);
    return true;
}

bool KVStepHistory::save() const {
    std::ostringstream text;
    text << kHeader << "\nnext " << mNextId << "\ncursor " << mCursor << "\n";
    for (const auto& entry : mEntries) {
        text << entry.id << '\t' << entry.bytes << '\t' << oneLine(entry.name);
        if (entry.keepsFiles) text << '\t' << (entry.spansAnalysis ? kAnalysisFilesKind : kFilesKind);
        text << '\n';
    }
    const std::string partial = mPath + ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out << text.str();
        out.flush();
        if (!out) {
            ::unlink(partial.c_str());
            return false;
        }
    }
    if (DurableFile::replace(partial, mPath) == 0) return true;
    ::unlink(partial.c_str());
    return false;
}

void KVStepHistory::remove() const { ::unlink(mPath.c_str()); }

bool KVStepHistory::contains(std::int64_t id) const {
    return std::any_of(mEntries.begin(), mEntries.end(), [id](const auto& entry) { return entry.id == id; });
}

std::vector<KVHistoryEntry> KVStepHistory::dropFrom(std::size_t first) {
    std::vector<KVHistoryEntry> dropped(mEntries.begin() + static_cast<std::ptrdiff_t>(first), mEntries.end());
    mEntries.resize(first);
    return dropped;
}

std::vector<KVHistoryEntry> KVStepHistory::pushStep(KVHistoryEntry entry) {
    std::vector<KVHistoryEntry> dropped = dropFrom(mCursor);
    mEntries.push_back(std::move(entry));
    mCursor = mEntries.size();
    return dropped;
}

KVHistoryEntry KVStepHistory::undoneAs(KVHistoryEntry redo) {
    if (!canUndo()) return {};
    --mCursor;
    return std::exchange(mEntries[mCursor], std::move(redo));
}

KVHistoryEntry KVStepHistory::redoneAs(KVHistoryEntry undo) {
    if (!canRedo()) return {};
    return std::exchange(mEntries[mCursor++], std::move(undo));
}

std::vector<KVHistoryEntry> KVStepHistory::undoneForGood() {
    if (!canUndo()) return {};
    --mCursor;
    return dropFrom(mCursor);
}

std::vector<KVHistoryEntry> KVStepHistory::prune(std::size_t maxLevels, std::int64_t maxBytes) {
    const auto total = [this] {
        return std::accumulate(mEntries.begin(), mEntries.end(), std::int64_t{0},
                               [](std::int64_t sum, const auto& entry) { return sum + entry.bytes; });
    };
    std::vector<KVHistoryEntry> dropped;
    while (mCursor > 1 && (mCursor > maxLevels || total() > maxBytes)) {
        dropped.push_back(std::move(mEntries.front()));
        mEntries.erase(mEntries.begin());
        --mCursor;
    }
    return dropped;
}

void KVStepHistory::clear() {
    mEntries.clear();
    mCursor = 0;
}

}  // namespace orvex
