// The main window set up for converting what an editor set: the converter's libraries loaded
// for the suite, MPEG-4 at a high rate into an output folder of its own, the program folder's
// LibAV (where a DVD run finds the DVD plug-in), and no command run at the batch's end.
#pragma once

#include "TestPaths.h"
#include "WindowTestSupport.h"
#include "core/DefaultSettings.h"

namespace tessaro::test {

class TEditorConversionTest : public TMainWindowTest {
protected:
    static void SetUpTestSuite() { LoadConverterLibraries(); }
    static void TearDownTestSuite() { UnloadConverterLibraries(); }

    void SetUp() override {
        TMainWindowTest::SetUp();
        ASSERT_TRUE(InstallDefaultSettings(SettingsPath(), dir_.Str() + "/tessaro-defaults.ini"));
        TIniFile settings(SettingsPath());
        settings.WriteString("settings", "OutPutDir", OutDir());
        settings.WriteInteger("settings", "FormatCode", 101);
        settings.WriteString("formatInfo101", "paraVideoBitRate", "5000");
        std::filesystem::create_directories(OutDir());
        std::filesystem::create_directory_symlink(LibAvDir(), dir_.Path() / "LibAV");
    }

    std::string OutDir() const { return dir_.Str() + "/out"; }

    TScopedEnv openCommand_{"TESSARO_OPEN_COMMAND", "true"};
    TScopedEnv powerOff_{"TESSARO_POWEROFF_COMMAND", "true"};
};

} // namespace tessaro::test
