#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace dss {

// How many UTF-16 characters long the command line is that Wine builds for
// the Windows program `program` (a Linux path) started with `words`. A
// program on a drive other than Z: gets a shorter name from Wine, so for it
// this is at most the real length.
std::size_t WineCommandLineLength(const std::string& program, const std::vector<std::string>& words);

} // namespace dss
