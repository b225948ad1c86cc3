// Application object, error texts, start-up state, file locations and helper programs.
#include "AppTestSupport.h"
#include "EngineTestSupport.h"
#include "TestPaths.h"
#include "base/EngineException.h"
#include "base/FileHelpers.h"
#include "core/AppPaths.h"
#include "core/ErrorReport.h"
#include "core/GlobalObject.h"
#include "core/IniFile.h"
#include "core/ShellOpen.h"
#include "core/StartState.h"

#include <filesystem>
#include <sstream>
#include <sys/stat.h>

using tessaro::test::BinDir;

using namespace tessaro;
using tessaro::test::TTempDir;

namespace {

TEST(GlobalObject, SettersIgnoreValuesFailingTheirGuard) {
    TGlobalObject global;
    EXPECT_EQ(TGlobalObject::Instance(), &global);

    global.SetSettingsPath("/a/tessaro.ini");
    global.SetSettingsPath("/a/"); // 3 characters: ignored
    global.SetFormatPath("/b/f.ini");
    global.SetFormatPath("");
    global.SetProductName("Tessaro");
    global.SetProductName("");
    global.SetVersionText(" 1.200 ");
    global.SetVersionText("");
    global.SetHomeUrl("https://h/");
    global.SetHomeUrl("");
    global.SetHelpUrl("https://help/");
    global.SetHelpUrl("");

    EXPECT_EQ(global.SettingsPath(), "/a/tessaro.ini");
    EXPECT_EQ(global.FormatPath(), "/b/f.ini");
    EXPECT_EQ(global.ProductName(), "Tessaro");
    EXPECT_EQ(global.VersionText(), " 1.200 ");
    EXPECT_EQ(global.HomeUrl(), "https://h/");
    EXPECT_EQ(global.HelpUrl(), "https://help/");
    EXPECT_EQ(global.DownloadUrl(), "");

    global.SetSettingsPath("/a/b"); // 4 characters: taken
    EXPECT_EQ(global.SettingsPath(), "/a/b");
}

TEST(GlobalObject, InstanceEndsWithTheObject) {
    { TGlobalObject global; }
    EXPECT_EQ(TGlobalObject::Instance(), nullptr);
}

TEST(GlobalObject, RightCharsAndVersionText) {
    EXPECT_EQ(TGlobalObject::RightChars("tessaro.ini", 3), "ini");
    EXPECT_EQ(TGlobalObject::RightChars("ab", 5), "ab");
    EXPECT_EQ(TGlobalObject::RightChars("ab", 0), "");
    EXPECT_EQ(TGlobalObject::VersionTextOf(3, 3, 0, 0), " 3.300 ");
    EXPECT_EQ(TGlobalObject::VersionTextOf(10, 2, 13, 4), " 10.2134 ");
}

// The program's version is the build's project version, in its four parts.
TEST(GlobalObject, FileVersionTextIsTheProjectVersion) {
    unsigned parts[4] = {};
    std::istringstream version(TESSARO_PROJECT_VERSION);
    char dot = 0;
    version >> parts[0] >> dot >> parts[1] >> dot >> parts[2] >> dot >> parts[3];
    ASSERT_FALSE(version.fail()) << TESSARO_PROJECT_VERSION;
    EXPECT_EQ(TGlobalObject::FileVersionText(),
              TGlobalObject::VersionTextOf(parts[0], parts[1], parts[2], parts[3]));
}

struct TFullStopCase {
    const char* message;
    const char* shown;
};

TEST(ErrorReport, FullStopRule) {
    const TFullStopCase cases[] = {
        {"Disk full", "Disk full."},
        {"Error 42", "Error 42."},
        {"Why?", "Why?."},
        {"Done.", "Done."},
        {"Stop!", "Stop!"},
        {"(see log)", "(see log)"},
        {"", ""},
        {"ends in blank ", "ends in blank "},
        {"caf\xc3\xa9", "caf\xc3\xa9."},
    };
    for (const TFullStopCase& c : cases) {
        EXPECT_EQ(WithFullStop(c.message), c.shown) << "message \"" << c.message << "\"";
    }
}

TEST(ErrorReport, EngineErrorsAreWarningsEverythingElseErrors) {
    auto engine = DescribeException(std::make_exception_ptr(EngineException("Cannot open file")));
    EXPECT_EQ(engine.text, "Cannot open file.");
    EXPECT_EQ(engine.icon, TMessageIcon::Warning);

    auto write = DescribeException(std::make_exception_ptr(TIniWriteError("/x/tessaro.ini")));
    EXPECT_EQ(write.text, "Unable to write to /x/tessaro.ini.");
    EXPECT_EQ(write.icon, TMessageIcon::Error);

    auto other = DescribeException(std::make_exception_ptr(42));
    EXPECT_EQ(other.icon, TMessageIcon::Error);
    EXPECT_FALSE(other.text.empty());
}

std::vector<std::string> reported;
void RecordReport(std::exception_ptr error) {
    reported.push_back(DescribeException(error).text);
}

TEST(ErrorReport, GuardedSlotsReportTheirExceptions) {
    EXPECT_THROW(ReportException(std::make_exception_ptr(std::runtime_error("x"))),
                 std::runtime_error)
        << "no reporter: as if uncaught";
    reported.clear();
    SetExceptionReporter(&RecordReport);
    int sum = 0;
    auto add = Guarded([&](int a, int b) {
        sum = a + b;
        if (sum > 10) {
            throw EngineException("Sum too large");
        }
    });
    add(2, 3);
    add(7, 8);
    SetExceptionReporter(nullptr);
    EXPECT_EQ(sum, 15);
    EXPECT_EQ(reported, std::vector<std::string>{"Sum too large."});
}

TEST(StartState, VolumeAndMuteRules) {
    const std::pair<int, int> volumes[] = {{200, 64}, {-5, 64}, {129, 64}, {128, 128},
                                           {0, 0},    {-1, 64}, {77, 77}};
    for (auto [stored, bar] : volumes) {
        EXPECT_EQ(VolumeFromSetting(stored), bar) << "stored " << stored;
    }
    EXPECT_EQ(MuteFromSetting(1), std::optional<bool>(true));
    EXPECT_EQ(MuteFromSetting(0), std::optional<bool>(false));
    EXPECT_EQ(MuteFromSetting(2), std::nullopt);
    EXPECT_EQ(MuteFromSetting(-1), std::nullopt);
}

TEST(StartState, FreshInstallationDefaults) {
    TTempDir dir;
    test::TScopedEnv home("HOME", "/home/someone");
    const auto state = ReadMainWindowStartState(TIniFile((dir.Path() / "none.ini").string()));
    EXPECT_EQ(state.outputDir, "/home/someone/videoconverter");
    EXPECT_EQ(state.formatCode, "1");
    EXPECT_EQ(state.volume, 0);
    EXPECT_EQ(state.mute, std::optional<bool>(false));
}

// Where the settings file goes, for each kind of program folder. A writable folder alone does
// not make a run portable: an installed program run by root could write into its own folder.
TEST(AppPaths, SettingsBesideTheExecutableOnlyInAPortableRun) {
    TTempDir dir;
    test::TScopedEnv config("XDG_CONFIG_HOME", (dir.Str() + "/config").c_str());
    const std::string inConfig = dir.Str() + "/config/tessaro/tessaro.ini";
    const std::string installed = dir.Str() + "/usr/lib/tessaro/";
    std::filesystem::create_directories(installed);
    const std::string portable = dir.Str() + "/portable/";
    std::filesystem::create_directories(portable);
    test::WriteTextFile(portable + SettingsFileName, "[Settings]\n");
    const std::string buildTree = BinDir() + "/";

    const struct {
        std::string exeDir, settings;
        bool portable;
    } cases[] = {
        {installed, inConfig, false},
        {dir.Str() + "/missing/", inConfig, false},
        {portable, portable + SettingsFileName, true},
        {buildTree, buildTree + SettingsFileName, true},
        {BinDir() + "/../bin", BinDir() + "/../bin/" + std::string(SettingsFileName), true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsPortableRun(c.exeDir), c.portable) << c.exeDir;
        EXPECT_EQ(SettingsFilePath(c.exeDir), c.settings) << c.exeDir;
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / "config" / "tessaro"));
    EXPECT_TRUE(std::filesystem::is_empty(installed));
}

TEST(AppPaths, SettingsInTheHomeConfigFolderWithoutAnAbsoluteXdgConfigHome) {
    TTempDir dir;
    test::TScopedEnv relative("XDG_CONFIG_HOME", "relative/config");
    test::TScopedEnv home("HOME", dir.Str().c_str());
    EXPECT_EQ(SettingsFilePath(dir.Str() + "/missing/"),
              dir.Str() + "/.config/tessaro/tessaro.ini");
}

// The installed layout: programs in <prefix>/lib/tessaro, data in <prefix>/share/tessaro.
TEST(AppPaths, FormatFileBesideTheExecutableElseInTheInstalledDataFolder) {
    TTempDir dir;
    const std::string exeDir = dir.Str() + "/usr/lib/tessaro/";
    std::filesystem::create_directories(exeDir);
    EXPECT_EQ(InstalledDataDir(exeDir), dir.Str() + "/usr/share/tessaro/");
    EXPECT_EQ(InstalledDataDir("/usr/lib/tessaro"), "/usr/share/tessaro/");
    EXPECT_EQ(FormatFilePath(exeDir), dir.Str() + "/usr/share/tessaro/" + FormatFileName);
    test::WriteTextFile(exeDir + FormatFileName, "[formatInfo1]\n");
    EXPECT_EQ(FormatFilePath(exeDir), exeDir + FormatFileName);
}

TEST(AppPaths, FoldersRelativeToTheExecutable) {
    const std::string exeDir = ProgramFolder();
    ASSERT_FALSE(exeDir.empty());
    EXPECT_EQ(exeDir.back(), '/');
    EXPECT_TRUE(std::filesystem::equivalent(exeDir, BinDir() + "/../tests"));
    EXPECT_EQ(LibraryFolder("/opt/t/"), "/opt/t/LibAV");
    EXPECT_EQ(SplashPicturePath("/opt/t/"), "/opt/t/skin/tessarocover.jpg");
}

// A stand-in for xdg-open that records its arguments, one per line.
std::string MakeRecorder(const TTempDir& dir) {
    const std::string script = dir.Str() + "/recorder";
    test::WriteTextFile(script, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.out\"\n");
    chmod(script.c_str(), 0755);
    return script;
}

TEST(ShellOpen, PassesTheTargetAsOneArgumentWithoutAShell) {
    TTempDir dir;
    const std::string recorder = MakeRecorder(dir);
    test::TScopedEnv command("TESSARO_OPEN_COMMAND", recorder.c_str());
    const std::string target = "https://tessaro.example.org/a b?x=1&y=$(touch pwned);z";
    ASSERT_TRUE(OpenWithDefaultHandler(target));
    WaitForSpawnedPrograms();
    EXPECT_EQ(test::ReadTextFile(recorder + ".out"), target + "\n");
    EXPECT_FALSE(std::filesystem::exists("pwned"));
}

TEST(ShellOpen, MissingProgramIsReported) {
    test::TScopedEnv command("TESSARO_OPEN_COMMAND", "/nonexistent/tessaro-open");
    EXPECT_FALSE(OpenWithDefaultHandler("/tmp"));
    EXPECT_FALSE(SpawnDetached({}));
}

} // namespace
