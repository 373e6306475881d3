#include "runtime/posix/shell_words.hpp"

namespace dss {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// Inside double quotes a backslash only escapes these; before anything
// else it stands for itself.
bool EscapableInDoubleQuotes(char c) { return c == '$' || c == '`' || c == '"' || c == '\\' || c == '\n'; }

} // namespace

std::vector<std::string> SplitShellWords(std::string_view text)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false; // a quoted empty string is still a word
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (IsBlank(c)) {
            if (inWord) {
                words.push_back(std::move(word));
                word.clear();
                inWord = false;
            }
            continue;
        }
        if (c == '\\' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i; // a continued line adds nothing
            continue;
        }
        inWord = true;
        if (c == '\'') {
            const std::size_t close = text.find('\'', i + 1);
            if (close == std::string_view::npos) {
                throw std::invalid_argument("A single quotation mark (') is not closed.");
            }
            word.append(text.substr(i + 1, close - i - 1));
            i = close;
        } else if (c == '"') {
            for (++i;; ++i) {
                if (i >= text.size()) {
                    throw std::invalid_argument("A double quotation mark (\") is not closed.");
                }
                if (text[i] == '"') {
                    break;
                }
                if (text[i] == '\\' && i + 1 < text.size() && EscapableInDoubleQuotes(text[i + 1])) {
                    ++i;
                    if (text[i] == '\n') {
                        continue; // a continued line
                    }
                }
                word += text[i];
            }
        } else if (c == '\\' && i + 1 < text.size()) {
            word += text[++i];
        } else {
            word += c; // a final backslash stands for itself
        }
    }
    if (inWord) {
        words.push_back(std::move(word));
    }
    return words;
}

} // namespace dss
