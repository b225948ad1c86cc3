// The output folder row: the folder chooser's refusal of folders that cannot hold output,
// Cancel, and "Open" through the desktop's handler.
#include "WindowTestSupport.h"
#include "core/ShellOpen.h"
#include "formats/OutputNames.h"
#include "window/FmDirectory.h"
#include "window/OutputFolderRow.h"

#include <QLineEdit>
#include <QPushButton>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaro {
namespace {

namespace fs = std::filesystem;
using test::WhenModalOpens;

TEST(OutputFolderRule, OnlyWritableFoldersCanHoldOutput) {
    test::TTempDir dir;
    EXPECT_TRUE(CanHoldOutput(dir.Str()));
    EXPECT_FALSE(CanHoldOutput(dir.Str() + "/missing"));
    EXPECT_FALSE(CanHoldOutput(""));
    test::WriteTextFile(dir.Path() / "file", "x");
    EXPECT_FALSE(CanHoldOutput((dir.Path() / "file").string()));
    if (geteuid() != 0) { // the superuser may write anywhere
        fs::create_directory(dir.Path() / "locked");
        chmod((dir.Path() / "locked").c_str(), 0555);
        EXPECT_FALSE(CanHoldOutput((dir.Path() / "locked").string()));
    }
}

class OutputFolder : public test::TMainWindowTest {};

TEST_F(OutputFolder, ChooserKeepsTheFolderWhenTheChoiceCannotHoldOutput) {
    auto window = ShowWindow();
    const QString before = window->Controls().edDirectory->text();
    const fs::path gone = dir_.Path() / "gone";
    fs::create_directories(gone);
    bool stayedOpen = false;
    WhenModalOpens([&](QWidget* modal) {
        auto* chooser = qobject_cast<TfmDirectory*>(modal);
        ASSERT_NE(chooser, nullptr);
        chooser->SelectFolder(QString::fromStdString(gone.string()));
        fs::remove(gone); // the medium went away (or cannot be written)
        chooser->OkButton()->click();
        stayedOpen = chooser->isVisible();
        chooser->reject(); // Cancel
    });
    window->Controls().btnBrows->click();

    EXPECT_TRUE(stayedOpen);
    ASSERT_EQ(dialogs_.Requests().size(), 1u);
    EXPECT_EQ(dialogs_.Requests()[0].text,
              "Output folder cannot be located in CD-ROM.Please select another folder.");
    EXPECT_EQ(dialogs_.Requests()[0].caption, "Tessaro");
    EXPECT_EQ(dialogs_.Requests()[0].icon, TMessageIcon::Information);
    EXPECT_EQ(window->Controls().edDirectory->text(), before);
    EXPECT_EQ(Stored("settings", "OutPutDir"), "<none>") << "nothing chosen, nothing stored";
}

TEST_F(OutputFolder, OpenShowsTheStoredFolderUnlessTheBoxIsNearlyEmpty) {
    const std::string recorder = dir_.Str() + "/recorder";
    test::WriteTextFile(recorder, "#!/bin/sh\nprintf '%s\\n' \"$@\" >> \"$0.out\"\n");
    chmod(recorder.c_str(), 0755);
    test::TScopedEnv command("TESSARO_OPEN_COMMAND", recorder.c_str());
    auto window = ShowWindow();

    window->Controls().btnOpen->click();
    WaitForSpawnedPrograms();
    EXPECT_EQ(test::ReadTextFile(recorder + ".out"), dir_.Str() + "/videoconverter\n");

    window->Controls().edDirectory->setText(QStringLiteral("/a"));
    EXPECT_EQ(Stored("settings", "OutPutDir"), "/a") << "every change of the box is stored";
    window->Controls().btnOpen->click();
    WaitForSpawnedPrograms();
    EXPECT_EQ(test::ReadTextFile(recorder + ".out"), dir_.Str() + "/videoconverter\n");
}

} // namespace
} // namespace tessaro
