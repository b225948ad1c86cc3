// The System theme follows the desktop's colour scheme: a desktop portal faked on a private
// bus decides between the light and the dark look, at start and while the program runs.
#include "DesktopColorScheme.h"
#include "EngineTestSupport.h"
#include "QtTestApplication.h"
#include "ThemeManager.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QMainWindow>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <atomic>
#include <fstream>
#include <memory>

using namespace tessaro;
using tessaro::test::TTempDir;

namespace {

using AppEnvironment = tessaro::test::TQtTestEnvironment<QApplication>;
const bool registered = (AppEnvironment::Register(), true);

const QString PortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString SettingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString Appearance = QStringLiteral("org.freedesktop.appearance");
const QString ColorSchemeKey = QStringLiteral("color-scheme");

constexpr int WaitMs = 20000; // generous: other builds share the machine

// The portal's Settings interface: Read answers the colour scheme it holds (a variant
// holding a variant, as the portal does) and nothing else; Announce sends SettingChanged.
// It runs on a thread of its own, so it answers while the main thread waits on a Read.
class TFakePortal : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
public:
    std::atomic<uint> scheme{0};

    void Announce(const QString& nameSpace, const QString& key, uint value) {
        emit SettingChanged(nameSpace, key, QDBusVariant(value));
    }

public slots:
    Q_SCRIPTABLE QDBusVariant Read(const QString& nameSpace, const QString& key) {
        if (nameSpace != Appearance || key != ColorSchemeKey) {
            sendErrorReply(QStringLiteral("org.freedesktop.portal.Error.NotFound"),
                           QStringLiteral("Requested setting not found"));
            return {};
        }
        return QDBusVariant(QVariant::fromValue(QDBusVariant(scheme.load())));
    }

signals:
    Q_SCRIPTABLE void SettingChanged(const QString& nameSpace, const QString& key,
                                     const QDBusVariant& value);
};

// Counts every SettingChanged the client connection receives.
class TSignalCounter : public QObject {
    Q_OBJECT
public:
    int received = 0;

public slots:
    void Count(const QString&, const QString&, const QDBusVariant&) { ++received; }
};

// A bus daemon of the test's own: no service files, so nothing is started on demand and a
// portal exists only when the test registers one.
class SystemSkin : public ::testing::Test {
protected:
    void SetUp() override {
        AppEnvironment::App();
        const std::string config = dir_.Str() + "/bus.conf";
        std::ofstream(config) << "<busconfig><type>session</type><listen>unix:dir=" << dir_.Str()
                              << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                                 "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
                                 "<allow own=\"*\"/></policy>"
                                 "</busconfig>\n";
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--config-file=") + QString::fromStdString(config),
                       QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                       QStringLiteral("--print-address=1")});
        ASSERT_TRUE(daemon_.waitForStarted()) << "dbus-daemon is needed (scripts/install-deps)";
        ASSERT_TRUE(QTest::qWaitFor([&] { return daemon_.canReadLine(); }, WaitMs));
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        client_ = QDBusConnection::connectToBus(address_, QStringLiteral("theme-client"));
        ASSERT_TRUE(client_.isConnected());
        window_.show();
    }

    void TearDown() override {
        themes_.reset();
        if (portal_ != nullptr) {
            QDBusConnection(QStringLiteral("portal")).unregisterObject(PortalPath);
            // Deleted on its own thread as that thread ends.
            portal_.release()->deleteLater();
            portalThread_.quit();
            portalThread_.wait();
        }
        client_ = QDBusConnection(QString());
        for (const char* name : {"theme-client", "portal", "no-bus"}) {
            QDBusConnection::disconnectFromBus(QString::fromLatin1(name));
        }
        daemon_.kill();
        daemon_.waitForFinished();
    }

    // Registered while it lives on the main thread (QtDBus gives it a helper child there),
    // then moved with its child to a thread of its own.
    void StartPortal(uint scheme) {
        portal_ = std::make_unique<TFakePortal>();
        portal_->scheme = scheme;
        QDBusConnection bus = QDBusConnection::connectToBus(address_, QStringLiteral("portal"));
        ASSERT_TRUE(bus.registerObject(PortalPath, portal_.get(),
                                       QDBusConnection::ExportScriptableSlots |
                                           QDBusConnection::ExportScriptableSignals));
        ASSERT_TRUE(bus.registerService(PortalService));
        portal_->moveToThread(&portalThread_);
        portalThread_.start();
    }

    // The portal changes a setting (on its own thread) and tells its listeners.
    void Announce(const QString& nameSpace, const QString& key, uint value) {
        portal_->scheme = value;
        QMetaObject::invokeMethod(portal_.get(), [portal = portal_.get(), nameSpace, key, value] {
            portal->Announce(nameSpace, key, value);
        });
    }

    // Start-up as the main window does it, on a settings file without "skinIndex".
    TThemeManager& StartUp(const QDBusConnection& bus) {
        themes_ = std::make_unique<TThemeManager>(&window_, bus);
        themes_->ApplyStoredTheme(dir_.Str() + "/tessaro.ini");
        return *themes_;
    }

    std::string Sheet() const { return window_.styleSheet().toStdString(); }

    TTempDir dir_;
    QProcess daemon_;
    QString address_;
    QDBusConnection client_{QString()};
    QMainWindow window_;
    QThread portalThread_;
    std::unique_ptr<TFakePortal> portal_;
    std::unique_ptr<TThemeManager> themes_;
};

struct TSchemeCase {
    uint portalValue;
    TColorScheme scheme;
};

TEST_F(SystemSkin, TakesTheDesktopsSchemeAtStart) {
    StartPortal(0);
    const TSchemeCase cases[] = {
        {0, TColorScheme::Light}, // no preference
        {1, TColorScheme::Dark},
        {2, TColorScheme::Light},
    };
    for (const TSchemeCase& c : cases) {
        portal_->scheme = c.portalValue;
        TThemeManager& themes = StartUp(client_);
        EXPECT_EQ(themes.ActiveTheme(), SystemTheme) << "no skinIndex: System";
        EXPECT_EQ(themes.ActiveScheme(), c.scheme) << c.portalValue;
        EXPECT_EQ(Sheet(), ThemeStyleSheet(SystemTheme, c.scheme)) << c.portalValue;
    }
}

TEST_F(SystemSkin, FollowsTheDesktopWhileSystemIsActive) {
    StartPortal(2);
    TThemeManager& themes = StartUp(client_);
    // Connected after the start-up, so the code under test is the first to listen.
    TSignalCounter counter;
    ASSERT_TRUE(client_.connect(PortalService, PortalPath, SettingsInterface,
                                QStringLiteral("SettingChanged"), &counter,
                                SLOT(Count(QString, QString, QDBusVariant))));
    const auto announced = [&](int count) {
        // Every listener on the connection had the signal delivered in the same pass.
        const bool arrived = QTest::qWaitFor([&] { return counter.received == count; }, WaitMs);
        QCoreApplication::processEvents();
        return arrived;
    };
    const std::string light = ThemeStyleSheet(SystemTheme, TColorScheme::Light);
    const std::string dark = ThemeStyleSheet(SystemTheme, TColorScheme::Dark);
    ASSERT_EQ(Sheet(), light);

    Announce(Appearance, ColorSchemeKey, 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Sheet() == dark; }, WaitMs));
    EXPECT_EQ(themes.ActiveScheme(), TColorScheme::Dark);

    Announce(QStringLiteral("org.gnome.desktop.interface"), ColorSchemeKey, 0);
    ASSERT_TRUE(announced(2));
    EXPECT_EQ(Sheet(), dark) << "another namespace's setting changes nothing";

    Announce(Appearance, ColorSchemeKey, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Sheet() == light; }, WaitMs));

    themes.ApplyTheme(2);
    Announce(Appearance, ColorSchemeKey, 1);
    ASSERT_TRUE(announced(4));
    EXPECT_EQ(Sheet(), ThemeStyleSheet(2)) << "another skin ignores the desktop";
    EXPECT_EQ(themes.ActiveScheme(), TColorScheme::Light);

    themes.ApplyTheme(SystemTheme);
    EXPECT_EQ(Sheet(), dark) << "choosing System again reads the desktop's scheme";
}

TEST_F(SystemSkin, NoPortalOrNoBusMeansLight) {
    const QDBusConnection noBus = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=") + QString::fromStdString(dir_.Str()) + "/none",
        QStringLiteral("no-bus"));
    ASSERT_FALSE(noBus.isConnected());
    for (const QDBusConnection& bus : {client_, noBus}) {
        TThemeManager& themes = StartUp(bus);
        EXPECT_EQ(themes.ActiveTheme(), SystemTheme);
        EXPECT_EQ(themes.ActiveScheme(), TColorScheme::Light);
        EXPECT_EQ(Sheet(), ThemeStyleSheet(SystemTheme, TColorScheme::Light));
    }
}

} // namespace

#include "SystemThemeTest.moc"
