#pragma once

#include <string>
#include <string_view>
#include <vector>

// runtime/windows_rules/: Windows' rules that need no system, built and
// tested by every preset. Here: how a Windows program splits its command line.
namespace dss {

// Splits the arguments of a Windows command line into words by the rules of
// the Microsoft C runtime, as a Windows program reads its own command line:
// blanks are spaces and tabs; double quotes group; backslashes are literal
// except before a double quote, where each pair stands for one backslash and
// an odd one makes the quote literal; "" inside quotes is one literal quote.
// Every text is valid; an unclosed quotation runs to the end.
std::vector<std::string> SplitWindowsWords(std::string_view text);

} // namespace dss
