#pragma once

#include "launch/launch_settings.hpp"
#include "runtime/runtime.hpp"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace dss::testing {

// Records every call; answers from what the test set up.
class FakeRuntime : public Runtime {
public:
    struct ShellCall {
        Text program;
        Text commandLine;
        int showState;
    };
    struct MsgBoxCall {
        Text prompt;
        int style;
        Text title;
    };

    Text appPath = u"D:\\Games\\Quarnvale";
    char16_t separator = u'\\';
    std::optional<RuntimeError> appPathFailure;
    std::map<Text, std::uint32_t> files; // a name not listed cannot be examined
    std::optional<RuntimeError> shellFailure;

    std::vector<std::string> calls;
    std::vector<Text> examined;
    std::vector<ShellCall> shells;
    std::vector<MsgBoxCall> boxes;

    Text AppPath() override
    {
        calls.push_back("AppPath");
        if (appPathFailure) {
            throw *appPathFailure;
        }
        return appPath;
    }
    char16_t FolderSeparator() const override { return separator; }
    std::uint32_t GetAttr(const Text& path) override
    {
        calls.push_back("GetAttr");
        examined.push_back(path);
        const auto found = files.find(path);
        if (found == files.end()) {
            throw RuntimeError(u"examine", path, 2, u"The system cannot find the file specified.");
        }
        return found->second;
    }
    std::uint32_t Shell(const Text& program, const Text& commandLine, int showState) override
    {
        calls.push_back("Shell");
        shells.push_back({program, commandLine, showState});
        if (shellFailure) {
            throw *shellFailure;
        }
        return 4242;
    }
    int MsgBox(const Text& prompt, int style, const Text& title) override
    {
        calls.push_back("MsgBox");
        boxes.push_back({prompt, style, title});
        return kOkPressed;
    }
    void End() override { calls.push_back("End"); }
};

class FakeFields : public FieldTexts {
public:
    std::map<SettingField, Text> texts{{SettingField::ExecutablePath, u""},
                                       {SettingField::Map, u"base/data/missions/bedroom.mis"},
                                       {SettingField::OtherArguments, u""}};

    std::vector<SettingField> reads;

    Text GetText(SettingField field) override
    {
        reads.push_back(field);
        return texts.at(field);
    }
    void SetText(SettingField field, const Text& text) override { texts.at(field) = text; }
};

} // namespace dss::testing
