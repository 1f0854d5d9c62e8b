#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>

namespace orvex {

// A property-list dictionary of scalar values keyed by string. Missing keys read as 0, false or
// an empty string, the convention every caller of the parameter dictionary relies on.
class PropertyList {
public:
    using Value = std::variant<bool, std::int64_t, double, std::string>;

    bool has(const std::string& key) const { return mValues.count(key) != 0; }
    void erase(const std::string& key) { mValues.erase(key); }
    bool empty() const { return mValues.empty(); }
    std::size_t size() const { return mValues.size(); }
    const std::map<std::string, Value>& values() const { return mValues; }

    void setBool(const std::string& key, bool v) { mValues[key] = v; }
    void setInt(const std::string& key, std::int64_t v) { mValues[key] = v; }
    void setReal(const std::string& key, double v) { mValues[key] = v; }
    void setString(const std::string& key, std::string v) { mValues[key] = std::move(v); }

    // Numeric getters convert between bool, integer and real; strings read as 0.
    bool getBool(const std::string& key) const;
    std::int64_t getInt(const std::string& key) const;
    double getReal(const std::string& key) const;
    std::string getString(const std::string& key) const;

    bool operator==(const PropertyList&) const = default;

    // Parses XML or binary property-list bytes whose root is a dictionary; nothing otherwise.
    // Nested containers are skipped.
    static std::optional<PropertyList> fromBytes(const std::string& bytes);
    // Serialises as an XML property list.
    std::string toXml() const;

    // Reads a dictionary file; nothing when the file is missing or unreadable.
    static std::optional<PropertyList> readFile(const std::string& path);
    // Writes a temporary file beside the target, syncs it, renames it over the target and syncs
    // the folder, so a concurrent reader (or the disk after a power cut) holds either the old or
    // the new dictionary. False on any failure (before the rename the target is left as it was).
    bool writeFileAtomically(const std::string& path) const;

private:
    std::map<std::string, Value> mValues;
};

}  // namespace orvex
