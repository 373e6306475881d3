#include "runtime/posix/output_lines.hpp"

#include <utility>

namespace dss {
namespace {

constexpr std::size_t kMaxLines = 12;
constexpr std::size_t kMaxLineBytes = 400;

} // namespace

void OutputLines::Append(std::string_view bytes)
{
    for (const char c : bytes) {
        if (c == '\n') {
            Take();
        } else if (partial_.size() < kMaxLineBytes) {
            partial_ += c;
        } else {
            cut_ = true;
        }
    }
}

std::vector<std::string> OutputLines::Finish()
{
    Take();
    return std::move(lines_);
}

void OutputLines::Take()
{
    std::string line = std::move(partial_);
    const bool cut = std::exchange(cut_, false);
    partial_.clear();
    line.erase(0, line.find_first_not_of(" \t\r"));
    line.erase(line.find_last_not_of(" \t\r") + 1);
    if (line.empty() || lines_.size() >= kMaxLines || (keep_ != nullptr && !keep_(line))) {
        return;
    }
    // Three dots, not an ellipsis: the line is still in the writer's encoding.
    lines_.push_back(cut ? line + "..." : line);
}

} // namespace dss
