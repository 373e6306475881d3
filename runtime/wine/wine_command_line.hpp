#pragma once

#include <cstddef>
#include <string>
#include <vector>

// How long the command lines are that Wine builds from its arguments.
namespace dss {

// How many UTF-16 characters long the command line is that Wine builds for
// the Windows program `program` (a Linux path) started with `words`. A
// program on a drive other than Z: gets a shorter name from Wine, so for it
// this is at most the real length.
std::size_t WineCommandLineLength(const std::string& program, const std::vector<std::string>& words);

// How long the command line is that Wine gives its own `start` when run as
// `wine start <arguments>`. It holds the program and its words too, so it
// is the longer of the two, and Wine refuses it past the same limit.
std::size_t WineStartCommandLineLength(const std::vector<std::string>& arguments);

} // namespace dss
