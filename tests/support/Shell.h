#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace orvex::test {

// Runs a shell command; returns its standard output, exitCode receives its exit status.
std::string runCommand(const std::string& command, int* exitCode = nullptr);
bool haveTool(const std::string& name);

// A property-list file as Python's plistlib reads it: "key=value" for every key in sorted
// order, separated by spaces, with a final newline (an independent reader for written files).
std::string plistText(const std::string& path);

// Every byte of a file (empty when it cannot be read).
std::vector<char> fileBytes(const std::string& path);
// Damages one byte of a file in place (bits 4 and 6 inverted), as a bad sector or a stray
// write would.
void flipByte(const std::string& path, std::size_t offset);

}  // namespace orvex::test
