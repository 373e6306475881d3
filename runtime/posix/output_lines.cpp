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

bool IsWineDebugNoise(std::string_view line)
{
    // The thread's number comes first unless WINEDEBUG turned it off.
    const std::size_t number = line.find_first_not_of("0123456789abcdef");
    if (number != std::string_view::npos && number > 0 && line[number] == ':') {
        line.remove_prefix(number + 1);
    }
    for (const std::string_view kind : {"fixme:", "warn:", "trace:", "err:"}) {
        if (line.starts_with(kind)) {
            const std::string_view channel = line.substr(kind.size(), line.find(':', kind.size()) - kind.size());
            return kind != "err:" || (channel != "module" && channel != "process");
        }
    }
    return false;
}

} // namespace dss
