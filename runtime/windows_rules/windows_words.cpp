#include "runtime/windows_rules/windows_words.hpp"

#include <algorithm>

namespace dss {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

} // namespace

std::vector<std::string> SplitWindowsWords(std::string_view text)
{
    std::vector<std::string> words;
    std::size_t i = 0;
    for (;;) {
        while (i < text.size() && IsBlank(text[i])) {
            ++i;
        }
        if (i == text.size()) {
            return words;
        }
        std::string word;
        bool quoted = false;
        while (i < text.size() && (quoted || !IsBlank(text[i]))) {
            if (text[i] == '\\') {
                const std::size_t end = std::min(text.find_first_not_of('\\', i), text.size());
                const std::size_t count = end - i;
                if (end < text.size() && text[end] == '"') {
                    word.append(count / 2, '\\');
                    if (count % 2 == 1) {
                        word += '"';
                        i = end + 1;
                    } else {
                        i = end; // the quote groups
                    }
                } else {
                    word.append(count, '\\');
                    i = end;
                }
            } else if (text[i] == '"') {
                if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
                    word += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                word += text[i++];
            }
        }
        words.push_back(std::move(word));
    }
}

} // namespace dss
