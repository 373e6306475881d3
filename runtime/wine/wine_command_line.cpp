#include "runtime/wine/wine_command_line.hpp"

#include "runtime/utf.hpp"

#include <filesystem>
#include <string_view>
#include <system_error>

// How Wine builds the Windows command line from its arguments (measured with
// Wine 8): the program as its Windows path, always in double quotes; then
// each word after a space, in double quotes when it is empty or holds a
// space or tab. A double quotation mark becomes \", and backslashes are
// doubled where they precede one (or the closing quote); all other
// backslashes stay single.
namespace dss {
namespace {

// The UTF-16 characters Wine makes of a Linux name or word: those of its
// UTF-8, and one (U+FFFD) for each byte that is not UTF-8, as the launcher's
// own decoding counts them.
std::size_t Utf16Length(std::string_view bytes)
{
    return FromSystemBytes(bytes).size();
}

// Wine names the program by drive Z:, which every prefix maps to the root
// folder, and its absolute path, with "." and ".." resolved by name.
std::size_t WindowsPathLength(const std::string& program)
{
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(program, error);
    if (error) {
        absolute = program;
    }
    return 2 + Utf16Length(absolute.lexically_normal().native());
}

std::size_t QuotedWordLength(std::string_view word)
{
    const bool quoted = word.empty() || word.find_first_of(" \t") != std::string_view::npos;
    std::size_t length = Utf16Length(word) + (quoted ? 2 : 0);
    std::size_t backslashes = 0;
    for (const char c : word) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            length += backslashes + 1;
        }
        backslashes = 0;
    }
    return length + (quoted ? backslashes : 0);
}

// Measured with Wine 8: `wine start ...` runs as
// "C:\windows\system32\start.exe" /exec start ..., then start.exe starts
// itself again without "/exec start".
constexpr std::u16string_view kStartPrefix = u"\"C:\\windows\\system32\\start.exe\" /exec start";

} // namespace

std::size_t WineStartCommandLineLength(const std::vector<std::string>& arguments)
{
    std::size_t length = kStartPrefix.size();
    for (const std::string& argument : arguments) {
        length += 1 + QuotedWordLength(argument);
    }
    return length;
}

std::size_t WineCommandLineLength(const std::string& program, const std::vector<std::string>& words)
{
    std::size_t length = 2 + WindowsPathLength(program);
    for (const std::string& word : words) {
        length += 1 + QuotedWordLength(word);
    }
    return length;
}

} // namespace dss
