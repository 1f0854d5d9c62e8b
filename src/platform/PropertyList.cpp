#include "platform/PropertyList.h"

#include <fcntl.h>
#include <plist/plist.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "platform/DurableFile.h"
#include "platform/SimulatedDiskSpace.h"

namespace orvex {

namespace {

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<std::remove_pointer_t<plist_t>, PlistFree>;

std::optional<PropertyList::Value> scalarOf(plist_t node) {
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            std::uint8_t b = 0;
            plist_get_bool_val(node, &b);
            return PropertyList::Value(b != 0);
        }
        case PLIST_UINT: {
            // libplist keeps every integer as unsigned 64 bits; negative values round-trip by cast.
            std::uint64_t u = 0;
            plist_get_uint_val(node, &u);
            return PropertyList::Value(static_cast<std::int64_t>(u));
        }
        case PLIST_REAL: {
            double d = 0.0;
            plist_get_real_val(node, &d);
            return PropertyList::Value(d);
        }
        case PLIST_STRING: {
            // A string holding a NUL byte (an XML character reference can make one) cannot be
            // written back as read, and libplist's copying getter asserts on it: skip the value.
            std::uint64_t length = 0;
            const char* s = plist_get_string_ptr(node, &length);
            if (!s || std::strlen(s) != length) return std::nullopt;
            return PropertyList::Value(std::string(s, length));
        }
        default:
            return std::nullopt;
    }
}

plist_t nodeOf(const PropertyList::Value& v) {
    return std::visit(
        [](const auto& x) -> plist_t {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, bool>) return plist_new_bool(x ? 1 : 0);
            else if constexpr (std::is_same_v<T, std::int64_t>) return plist_new_uint(static_cast<std::uint64_t>(x));
            else if constexpr (std::is_same_v<T, double>) return plist_new_real(x);
            else return plist_new_string(x.c_str());
        },
        v);
}

bool writeAll(int fd, const std::string& bytes) {
    if (!SimulatedDiskSpace::allowsWrite(fd, bytes.size())) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Big-endian unsigned integer of width bytes at data[at], or nothing when it runs past the end.
std::optional<std::uint64_t> bigEndianAt(const std::string& data, std::uint64_t at, std::uint64_t width) {
    if (width == 0 || width > 8 || at > data.size() || width > data.size() - at) return std::nullopt;
    std::uint64_t value = 0;
    for (std::uint64_t i = 0; i < width; ++i) value = value << 8 | static_cast<unsigned char>(data[at + i]);
    return value;
}

// Whether the string object at offset holds a NUL character (a one-byte or two-byte zero).
bool stringObjectHoldsNul(const std::string& data, std::uint64_t offset) {
    const auto marker = bigEndianAt(data, offset, 1);
    if (!marker || (*marker >> 4 != 0x5 && *marker >> 4 != 0x6)) return false;
    const std::uint64_t unit = *marker >> 4 == 0x5 ? 1 : 2;
    std::uint64_t count = *marker & 0xF, start = offset + 1;
    if (count == 0xF) {  // the length follows as an integer object
        const auto intMarker = bigEndianAt(data, start, 1);
        if (!intMarker || *intMarker >> 4 != 0x1 || (*intMarker & 0xF) > 3) return false;
        const std::uint64_t width = std::uint64_t(1) << (*intMarker & 0xF);
        const auto length = bigEndianAt(data, start + 1, width);
        if (!length) return false;
        count = *length;
        start += 1 + width;
    }
    if (start > data.size() || count > (data.size() - start) / unit) return false;  // the parser refuses it
    for (std::uint64_t i = 0; i < count; ++i)
        if (bigEndianAt(data, start + i * unit, unit) == std::optional<std::uint64_t>(0)) return true;
    return false;
}

// libplist aborts on a key or string holding a NUL character, which only a damaged binary
// list contains: such lists are found here, by walking the offset table, and refused.
bool binaryListHoldsNul(const std::string& data) {
    constexpr std::size_t kHeader = 8, kTrailer = 32;
    if (data.size() < kHeader + kTrailer || data.compare(0, 6, "bplist") != 0) return false;
    const std::uint64_t trailer = data.size() - kTrailer;
    const auto offsetWidth = bigEndianAt(data, trailer + 6, 1);
    const auto objects = bigEndianAt(data, trailer + 8, 8);
    const auto table = bigEndianAt(data, trailer + 24, 8);
    if (!offsetWidth || !objects || !table || *offsetWidth == 0 || *offsetWidth > 8) return false;
    for (std::uint64_t i = 0; i < *objects; ++i) {
        const auto offset = bigEndianAt(data, *table + i * *offsetWidth, *offsetWidth);
        if (!offset) return false;  // the parser refuses a table that runs past the end
        if (stringObjectHoldsNul(data, *offset)) return true;
    }
    return false;
}

// A stored real as an integer: truncated, limited to the integer range, NaN as 0 (a damaged
// dictionary may hold any real, and converting one out of range is undefined).
std::int64_t integerPart(double value) {
    constexpr double kLimit = 9223372036854775808.0;  // 2^63
    if (std::isnan(value)) return 0;
    if (value >= kLimit) return std::numeric_limits<std::int64_t>::max();
    if (value < -kLimit) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

}  // namespace

bool PropertyList::getBool(const std::string& key) const { return getInt(key) != 0; }

std::int64_t PropertyList::getInt(const std::string& key) const {
    auto it = mValues.find(key);
    if (it == mValues.end()) return 0;
    if (auto* b = std::get_if<bool>(&it->second)) return *b ? 1 : 0;
    if (auto* i = std::get_if<std::int64_t>(&it->second)) return *i;
    if (auto* d = std::get_if<double>(&it->second)) return integerPart(*d);
    return 0;
}

double PropertyList::getReal(const std::string& key) const {
    auto it = mValues.find(key);
    if (it != mValues.end())
        if (auto* d = std::get_if<double>(&it->second)) return *d;
    return static_cast<double>(getInt(key));
}

std::string PropertyList::getString(const std::string& key) const {
    auto it = mValues.find(key);
    if (it != mValues.end())
        if (auto* s = std::get_if<std::string>(&it->second)) return *s;
    return {};
}

std::optional<PropertyList> PropertyList::fromBytes(const std::string& bytes) {
    if (bytes.empty() || binaryListHoldsNul(bytes)) return std::nullopt;
    plist_t raw = nullptr;
    plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &raw);
    PlistPtr root(raw);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT) return std::nullopt;

    PropertyList out;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(root.get(), &it);
    for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(root.get(), it, &key, &value);
        if (!key) break;
        if (auto scalar = scalarOf(value)) out.mValues[key] = std::move(*scalar);
        std::free(key);
    }
    std::free(it);
    return out;
}

std::string PropertyList::toXml() const {
    PlistPtr root(plist_new_dict());
    for (const auto& [key, value] : mValues) plist_dict_set_item(root.get(), key.c_str(), nodeOf(value));
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(root.get(), &xml, &length);
    std::string out(xml ? xml : "", length);
    plist_to_xml_free(xml);
    return out;
}

std::optional<PropertyList> PropertyList::readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return fromBytes(buffer.str());
}

bool PropertyList::writeFileAtomically(const std::string& path) const {
    // ".NAME.partial-PID.N" beside the file, unique per call: the main thread and a worker may
    // save the same dictionary at once. A writer killed midway leaves it behind; the next
    // process to lock the folder removes it by the dead process id in its name.
    static std::atomic<unsigned> serial{0};
    const std::filesystem::path target(path);
    const std::string temp = (target.parent_path() / ("." + target.filename().string() + ".partial-" +
                                                      std::to_string(::getpid()) + "." + std::to_string(serial++)))
                                 .string();
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = writeAll(fd, toXml()) && DurableFile::sync(fd, temp) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    // The rename reaches the disk with the folder's entries.
    return DurableFile::syncPath(DurableFile::folderOf(path)) == 0;
}

}  // namespace orvex
