#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvex::fuzz {

// A private folder for the files one harness process writes (in memory under /dev/shm when
// it can be used), removed with everything in it when the process exits normally.
class FuzzScratch {
public:
    // The process-wide folder, made on first use.
    static FuzzScratch& shared();

    const std::string& folder() const { return mFolder; }
    std::string path(const std::string& name) const { return mFolder + "/" + name; }
    // Replaces the file name (in the folder) with size bytes of data; returns its path.
    std::string write(const std::string& name, const std::uint8_t* data, std::size_t size) const;
    // Removes every file in the folder (not the folder itself).
    void clear() const;

private:
    FuzzScratch();
    ~FuzzScratch();

    std::string mFolder;
};

// A little-endian 32-bit value at p (4 readable bytes).
std::uint32_t readLittle32(const std::uint8_t* p);

}  // namespace orvex::fuzz
