#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace dss {

// Splits text into words the way a POSIX shell reads quotes and backslashes,
// with no expansion of any kind and no comments: every character typed
// reaches a word, except the quoting itself and the blanks between words.
// Throws std::invalid_argument when a quotation is not closed.
std::vector<std::string> SplitShellWords(std::string_view text);

} // namespace dss
