// What a WMI subscription's and a background transfer's entry keep, and how what a consumer runs
// is put in words.
#include <gtest/gtest.h>

#include "warnings/AutostartEntryData.h"
#include "warnings/WmiBitsWarnings.h"

namespace sentrel {
namespace {

TEST(KeptObjects, KeepEveryTextAndRefuseADamagedOrForeignRaw) {
    const std::vector<KeptObject> objects = {
        {"consumer", "ActiveScriptEventConsumer", "ActiveScriptEventConsumer.Name=\"a\"",
         {{'s', 8, "ScriptText", "Set o = CreateObject(\"WScript.Shell\")\r\n\to.Run \"c:\\x.exe\" ' \xC3\xA9"},
          {'i', 19, "KillTimeout", "30"},
          {'b', 11, "RunInteractively", "0"}}},
        {"filter", "__EventFilter", "__EventFilter.Name=\"f\"", {}}};
    const std::string raw = KeptObjectsRaw(kWmiRawMark, objects);
    EXPECT_EQ(KeptObjectsOfRaw(raw, kWmiRawMark), objects);
    EXPECT_FALSE(KeptObjectsOfRaw(raw, kBitsRawMark));
    EXPECT_FALSE(KeptObjectsOfRaw(raw.substr(0, raw.size() - 2), kWmiRawMark));
    // A property before any object, or of an unknown kind, is damage.
    EXPECT_FALSE(KeptObjectsOfRaw(std::string(kWmiRawMark) + "7331006e0076000000", kWmiRawMark));
    EXPECT_EQ(KeptObjectsOfRaw(kWmiRawMark, kWmiRawMark), std::vector<KeptObject>{});
}

TEST(WmiBitsWarnings, SayWhatAConsumerRunsProgramFirst) {
    const auto runs = [](std::string className, std::vector<KeptProperty> properties) {
        return WmiConsumerRuns({"consumer", std::move(className), "", std::move(properties)});
    };
    EXPECT_EQ(runs("CommandLineEventConsumer", {{'s', 8, "CommandLineTemplate", "cmd /c x.bat"}}), "cmd /c x.bat");
    EXPECT_EQ(runs("CommandLineEventConsumer", {{'s', 8, "ExecutablePath", "C:\\P F\\a.exe"},
                                                {'s', 8, "CommandLineTemplate", "\"C:\\P F\\a.exe\" -q"}}),
              "\"C:\\P F\\a.exe\" -q");
    // The program that really runs comes first where the command line names another.
    EXPECT_EQ(runs("CommandLineEventConsumer", {{'s', 8, "ExecutablePath", "C:\\e.exe"},
                                                {'s', 8, "CommandLineTemplate", "notepad.exe"}}),
              "C:\\e.exe (command line: notepad.exe)");
    EXPECT_EQ(runs("ActiveScriptEventConsumer", {{'s', 8, "ScriptingEngine", "VBScript"},
                                                 {'s', 8, "ScriptFileName", "C:\\s\\a.vbs"}}),
              "C:\\s\\a.vbs (a VBScript script)");
    EXPECT_EQ(runs("ActiveScriptEventConsumer", {{'s', 8, "ScriptingEngine", "JScript"},
                                                 {'s', 8, "ScriptText", "var a;\r\n\r\n  run(a);\n"}}),
              "the JScript code: var a; run(a);");
    EXPECT_EQ(WmiNameOfPath("CommandLineEventConsumer.Name=\"Up\""), "Up");
}

}  // namespace
}  // namespace sentrel
