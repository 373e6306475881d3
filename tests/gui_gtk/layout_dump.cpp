// Prints the window description the launcher is built from, in twips, as
// JSON, so the tests compare what they see on screen with the layout data
// itself and not with a copy of its numbers.
#include "runtime/utf.hpp"
#include "window/layout.hpp"

#include <cstdio>
#include <string>
#include <string_view>

namespace {

using namespace dss::layout;

std::string Quoted(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + '"';
}

std::string Quoted(std::u16string_view text)
{
    return Quoted(dss::ToUtf8(text));
}

const char* KindName(ControlKind kind)
{
    switch (kind) {
    case ControlKind::Label:
        return "label";
    case ControlKind::TextField:
        return "text";
    case ControlKind::PushButton:
        return "button";
    }
    return "?";
}

} // namespace

int main()
{
    std::string json = "{\"caption\": " + Quoted(kWindow.caption) +
                       ", \"clientWidth\": " + std::to_string(kWindow.clientWidth) +
                       ", \"clientHeight\": " + std::to_string(kWindow.clientHeight) +
                       ", \"font\": {\"face\": " + Quoted(kWindow.font.face) +
                       ", \"hundredthsOfPoint\": " + std::to_string(kWindow.font.hundredthsOfPoint) +
                       ", \"weight\": " + std::to_string(kWindow.font.weight) + "}, \"controls\": [";
    for (const ControlDescription& control : kControls) {
        json += control.id == kControls.front().id ? "\n" : ",\n";
        json += "  {\"name\": " + Quoted(control.name) + ", \"kind\": " + Quoted(KindName(control.kind)) +
                ", \"text\": " + Quoted(control.text) + ", \"left\": " + std::to_string(control.twips.left) +
                ", \"top\": " + std::to_string(control.twips.top) +
                ", \"width\": " + std::to_string(control.twips.width) +
                ", \"height\": " + std::to_string(control.twips.height) +
                ", \"tabIndex\": " + std::to_string(control.tabIndex) + ", \"labelFor\": " +
                (control.labelFor ? Quoted(Describe(*control.labelFor).name) : std::string("null")) + "}";
    }
    json += "\n]}\n";
    std::fputs(json.c_str(), stdout);
    return 0;
}
