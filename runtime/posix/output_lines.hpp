#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace dss {

// The lines a child writes that explain something: a dozen at most, each
// cut short where it runs long, so that a child that writes megabytes (a
// debugging Wine, or a program that is not Wine at all) still yields a
// message that fits on a screen. Blank lines and those `keep` refuses are
// left out as they arrive, so noise does not crowd out what follows it.
class OutputLines {
public:
    using Filter = bool (*)(std::string_view line);
    explicit OutputLines(Filter keep = nullptr) : keep_(keep) {}

    void Append(std::string_view bytes);
    // The lines kept, the last one even without its line break.
    std::vector<std::string> Finish();

private:
    void Take();

    Filter keep_;
    std::string partial_;
    bool cut_ = false;
    std::vector<std::string> lines_;
};

} // namespace dss
