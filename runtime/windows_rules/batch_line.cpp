#include "runtime/windows_rules/batch_line.hpp"

#include "runtime/windows_rules/command_line_limits.hpp"

namespace dss {
namespace {

// Characters that cmd.exe gives a meaning to inside quotes too, and why the
// path cannot hold them.
struct Unquotable {
    char16_t character;
    const char16_t* reason;
};
constexpr Unquotable kUnquotable[] = {
    {u'%', u"Windows runs a batch file through cmd.exe, which replaces text between % signs with the value "
           u"of a variable, even in quotes, so this path could name another file. Rename the folder or the "
           u"file so that the path has no %."},
    {u'"', u"A Windows name cannot hold a double quote (\"), and cmd.exe, which runs a batch file, would end "
           u"the path there and run another file."},
};

} // namespace

bool HasBatchExtension(std::u16string_view file)
{
    const std::size_t dot = file.rfind(u'.');
    if (dot == std::u16string_view::npos) {
        return false;
    }
    Text extension(file.substr(dot));
    for (char16_t& character : extension) {
        if (character >= u'A' && character <= u'Z') {
            character = static_cast<char16_t>(character - u'A' + u'a');
        }
    }
    return extension == u".bat" || extension == u".cmd";
}

void RejectUnquotableBatchPath(const Text& action, const Text& subject, std::u16string_view file)
{
    for (const Unquotable& unquotable : kUnquotable) {
        if (file.find(unquotable.character) != std::u16string_view::npos) {
            throw RuntimeError(action, subject, kWindowsInvalidName, unquotable.reason);
        }
    }
}

Text BatchCommandLine(const Text& action, const Text& subject, const Text& cmd, const Text& file,
                      const Text& arguments)
{
    RejectUnquotableBatchPath(action, subject, file);
    const Text command = u'"' + file + u'"' + arguments;
    RejectOverlongBatchCommand(action, subject, command.size(), kWindowsNameTooLong);
    // With /s, cmd.exe takes off the first and the last quotation mark and
    // runs the rest as it stands, whatever it holds; without it, the result
    // depends on how many quotes there are and what lies between them.
    // /v:off keeps ! literal even where the registry turns delayed expansion
    // on (Windows honours that setting; Wine's cmd.exe ignores it).
    return u'"' + cmd + u"\" /v:off /s /c \"" + command + u'"';
}

} // namespace dss
