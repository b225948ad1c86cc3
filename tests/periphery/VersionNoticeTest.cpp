// The new-version notice against a small HTTP server on 127.0.0.1: newer, equal and older
// versions, notices that are no use, a server that never answers, and the user's answer.
#include "VersionNotice.h"
#include "AppTestSupport.h"
#include "EngineTestSupport.h"
#include "NoticeServer.h"
#include "QtTestApplication.h"
#include "RecordingOpener.h"
#include "core/DialogService.h"
#include "core/IniFile.h"
#include "core/ShellOpen.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTimer>
#include <QWidget>

#include <filesystem>
#include <memory>

using namespace tessaro;
using test::Notice;
using test::TNoticeServer;

namespace {

namespace fs = std::filesystem;

using AppEnvironment = test::TQtTestEnvironment<QApplication>;
const bool registered = (AppEnvironment::Register(), true);

class VersionNoticeTest : public ::testing::Test {
protected:
    std::unique_ptr<TVersionNotice> MakeNotice(int readTimeout = NoticeReadTimeout) {
        TVersionNotice::TSetup setup{settingsPath_, " 3.300 ", "Tessaro",
                                     "https://tessaro.example.org/download/", readTimeout};
        return std::make_unique<TVersionNotice>(setup, &window_);
    }

    // Runs a check to its end; false when it did not end.
    bool RunCheck(TVersionNotice& notice) {
        QSignalSpy finished(&notice, &TVersionNotice::finished);
        notice.Start();
        return finished.count() > 0 || finished.wait(20000);
    }

    test::TTempDir temp_;
    const std::string settingsPath_ = (temp_.Path() / "tessaro.ini").string();
    test::TRecordingOpener opener_{temp_.Path()};
    TScriptedDialogService dialogs_;
    TScopedDialogService dialogScope_{dialogs_};
    QWidget window_;
    TNoticeServer server_;
};

TEST(XmlValue, WalksThePathAndTellsMissingFromBroken) {
    test::TTempDir dir;
    struct TCase {
        const char* content; // nullptr: no file
        const char* path;
        const char* attribute;
        const char* value;
    };
    const std::string good = Notice("3.5");
    const TCase cases[] = {
        {good.c_str(), "XMLPackage.videoversion", "number", "3.5"},
        {good.c_str(), "XMLPackage.videoversion", " number ", "3.5"}, // the name is trimmed
        {good.c_str(), "XMLPackage.count", "", "1"},                  // the element's text
        {good.c_str(), "XMLPackage.videoversion", "build", ""},       // no such attribute
        {good.c_str(), "XMLPackage.audioversion", "number", ""},      // no such element
        {good.c_str(), "Package.videoversion", "number", ""},         // another root
        {good.c_str(), "XMLPackage", "", "error"}, // text asked of an element with elements
        {"<XMLPackage><videoversion number=\"3.5\"></XMLPackage>", "XMLPackage.videoversion",
         "number", "error"}, // not well-formed after the value
        {"<XMLPackage><a/><videoversion number=\"1\"/><videoversion number=\"2\"/></XMLPackage>",
         "XMLPackage.videoversion", "number", "1"}, // the first child of the name
        {"<XMLPackage><a><videoversion number=\"1\"/></a></XMLPackage>", "XMLPackage.videoversion",
         "number", ""}, // only direct children count
        {"not xml at all", "XMLPackage.videoversion", "number", "error"},
        {"", "XMLPackage.videoversion", "number", "error"},
        {nullptr, "XMLPackage.videoversion", "number", "error"},
    };
    int n = 0;
    for (const TCase& c : cases) {
        const fs::path file = dir.Path() / ("notice" + std::to_string(n++) + ".xml");
        if (c.content != nullptr) {
            test::WriteTextFile(file, c.content);
        }
        EXPECT_EQ(XmlValue(file.string(), c.path, c.attribute), c.value)
            << (c.content ? c.content : "(no file)") << " " << c.path;
    }
}

TEST(VersionNumber, ReadsDecimalTextsOnly) {
    struct TCase {
        const char* text;
        bool ok;
        double number;
    };
    for (const TCase& c :
         {TCase{" 3.300 ", true, 3.3}, TCase{"3.4", true, 3.4}, TCase{"4", true, 4.0},
          TCase{"+3.5", true, 3.5}, TCase{"", false, 0}, TCase{"error", false, 0},
          TCase{"3,4", false, 0}, TCase{"3.4beta", false, 0}}) {
        double number = -1;
        EXPECT_EQ(VersionNumber(c.text, number), c.ok) << c.text;
        if (c.ok) {
            EXPECT_DOUBLE_EQ(number, c.number) << c.text;
        }
    }
}

TEST_F(VersionNoticeTest, OnlyAHigherVersionAsksAndEveryUsefulNoticeIsKept) {
    struct TCase {
        std::string body;
        int status;
        bool asks;
        int requests; // the fresh download, then the kept copy after a usable notice
    };
    const TCase cases[] = {
        {Notice("3.4"), 200, true, 2},
        {Notice("3.300"), 200, false, 2},
        {Notice("3.3"), 200, false, 2},
        {Notice("3.29"), 200, false, 2},
        {Notice("10"), 200, true, 2},
        {"<XMLPackage><videoversion", 200, false, 1},
        {Notice(""), 200, false, 1},
        {"<XMLPackage><videoversion/></XMLPackage>", 200, false, 1},
        {"<Other><videoversion number=\"9\"/></Other>", 200, false, 1},
        {Notice("9"), 404, false, 1},
    };
    TIniFile(settingsPath_).WriteString("settings", "UpdateUrl", server_.Url());
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.body + " / " + std::to_string(c.status));
        dialogs_.Clear();
        server_.Body = c.body;
        server_.Status = c.status;
        server_.Requests = 0;
        fs::remove(temp_.Path() / FreshNoticeFileName);
        fs::remove(temp_.Path() / KeptNoticeFileName);
        auto notice = MakeNotice();
        QSignalSpy accepted(notice.get(), &TVersionNotice::upgradeAccepted);

        ASSERT_TRUE(RunCheck(*notice));
        EXPECT_EQ(server_.Requests, c.requests);
        ASSERT_EQ(dialogs_.Requests().size(), c.asks ? 1u : 0u) << "failures stay silent";
        if (c.asks) {
            EXPECT_EQ(dialogs_.Requests()[0].caption,
                      "Warning - New Version Available for Download.");
            EXPECT_EQ(dialogs_.Requests()[0].buttons, TMessageButtons::YesNo);
        }
        EXPECT_EQ(accepted.count(), 0) << "the scripted answer is No";
        EXPECT_EQ(fs::exists(temp_.Path() / FreshNoticeFileName), c.status == 200);
        EXPECT_EQ(fs::exists(temp_.Path() / KeptNoticeFileName), c.requests == 2);
        if (c.status == 200) {
            EXPECT_EQ(test::ReadTextFile(temp_.Path() / FreshNoticeFileName), c.body);
        }
    }
    EXPECT_TRUE(opener_.Opened().empty()) << "No opens nothing";
}

TEST_F(VersionNoticeTest, YesOpensTheDownloadPageAndAsksTheWindowToClose) {
    TIniFile(settingsPath_).WriteString("settings", "UpdateUrl", server_.Url());
    server_.Body = Notice("3.45");
    dialogs_.QueueAnswer(TMessageResult::Yes);
    auto notice = MakeNotice();
    QSignalSpy accepted(notice.get(), &TVersionNotice::upgradeAccepted);

    ASSERT_TRUE(RunCheck(*notice));
    ASSERT_EQ(dialogs_.Requests().size(), 1u);
    EXPECT_EQ(dialogs_.Requests()[0].text, "Do you want to upgrade to Tessaro 3.45 now?");
    EXPECT_EQ(accepted.count(), 1);
    EXPECT_EQ(opener_.Opened(), std::vector<std::string>{"https://tessaro.example.org/download/"});
}

TEST_F(VersionNoticeTest, ServerThatNeverAnswersEndsSilentlyWhileTheWindowRuns) {
    TIniFile(settingsPath_).WriteString("settings", "UpdateUrl", server_.Url());
    server_.Answers = false;
    auto notice = MakeNotice(300);
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);

    ASSERT_TRUE(RunCheck(*notice)) << "the read time-out ends the check";
    EXPECT_EQ(server_.Requests, 1);
    EXPECT_GT(ticks, 5) << "the event loop ran while the check waited";
    EXPECT_TRUE(dialogs_.Requests().empty());
    EXPECT_FALSE(fs::exists(temp_.Path() / FreshNoticeFileName));
    EXPECT_FALSE(notice->Running());
}

TEST_F(VersionNoticeTest, NoAddressNoCheckAndAStartStaysOutOfTheWay) {
    auto notice = MakeNotice();
    QSignalSpy finished(notice.get(), &TVersionNotice::finished);
    notice->Start();
    EXPECT_EQ(finished.count(), 1) << "ends at once without an address";
    EXPECT_EQ(server_.Requests, 0);

    // With an address, Start returns before anything has arrived.
    TIniFile(settingsPath_).WriteString("settings", "UpdateUrl", server_.Url());
    server_.Body = Notice("3.4");
    auto second = MakeNotice();
    QSignalSpy done(second.get(), &TVersionNotice::finished);
    second->Start();
    EXPECT_TRUE(second->Running());
    EXPECT_EQ(done.count(), 0);
    EXPECT_TRUE(dialogs_.Requests().empty());
    ASSERT_TRUE(done.wait(20000));
    EXPECT_EQ(dialogs_.Requests().size(), 1u);
}

} // namespace
