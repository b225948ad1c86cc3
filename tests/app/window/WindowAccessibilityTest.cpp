// The main window as assistive technology sees it, and the engine's main-thread calls on the
// GUI thread.
#include "WindowTestSupport.h"
#include "base/MainThread.h"
#include "window/QtMainThreadDispatcher.h"

#include <QAccessible>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QToolButton>
#include <QTreeView>
#include <atomic>
#include <gmock/gmock.h>
#include <map>
#include <stdexcept>
#include <thread>

namespace tessaro {
namespace {

using test::WaitUntil;

struct TNamedControl {
    std::string role;
    std::string name;
    std::string objectName;
};

std::string RoleName(QAccessible::Role role) {
    switch (role) {
    case QAccessible::PushButton:
        return "button";
    case QAccessible::ComboBox:
        return "box";
    case QAccessible::Slider:
        return "slider";
    case QAccessible::CheckBox:
        return "check box";
    case QAccessible::EditableText:
        return "text";
    default:
        return {};
    }
}

// What a screen reader says for a control: its name, or the label that belongs to it. (On
// Linux the name of a combo box is its value; its label comes as a relation.)
std::string SpokenName(QAccessibleInterface* node) {
    std::string label;
    const auto labels = node->relations(QAccessible::Label);
    if (!labels.isEmpty() && labels.first().first != nullptr) {
        label = labels.first().first->text(QAccessible::Name).toStdString();
    }
    if (node->role() == QAccessible::ComboBox && !label.empty()) {
        return label;
    }
    const std::string name = node->text(QAccessible::Name).toStdString();
    return name.empty() ? label : name;
}

// Every button, box, slider, check box and text field reachable from root.
void CollectControls(QAccessibleInterface* node, std::vector<TNamedControl>& controls) {
    if (node == nullptr || node->state().invisible) {
        return;
    }
    const std::string role = RoleName(node->role());
    if (!role.empty()) {
        QObject* object = node->object();
        std::string where = object != nullptr ? object->objectName().toStdString() : "";
        if (where.empty() && object != nullptr) {
            where = std::string(object->metaObject()->className()) + " in " +
                    (object->parent() ? object->parent()->objectName().toStdString() + "/" +
                                            object->parent()->metaObject()->className()
                                      : "");
        }
        controls.push_back({role, SpokenName(node), where});
    }
    for (int i = 0; i < node->childCount(); ++i) {
        CollectControls(node->child(i), controls);
    }
}

class WindowAccessibility : public test::TMainWindowTest {};

TEST_F(WindowAccessibility, EveryControlSaysWhatItDoes) {
    auto window = ShowWindow();
    std::vector<TNamedControl> controls;
    CollectControls(QAccessible::queryAccessibleInterface(window.get()), controls);

    std::map<std::string, std::string> names; // object name -> accessible name
    for (const TNamedControl& control : controls) {
        EXPECT_FALSE(control.name.empty())
            << control.role << " " << control.objectName << " has no accessible name";
        if (!control.objectName.empty()) {
            names[control.objectName] = control.name;
        }
    }
    // Image buttons carry their hints; boxes the label beside them; the text fields of the
    // editable boxes a name of their own.
    const std::map<std::string, std::string> expected = {
        {"imgbtnPlay", "play"},
        {"imgbtnPAuse", "pause"},
        {"imgbtnStop", "stop"},
        {"imgbtnSnap", "capture image"},
        {"BtnAdd", "Add"},
        {"btnBrows", "Browse"},
        {"cmbVideoEncoder", "Encoder:"}, // inside "Video Options"
        {"cmbSamplerate", "SampleRate (Hz):"},
        {"cmbSubtitle", "Subtitle:"},
        {"trcVolume", "Volume:"},
        {"trcPreview", "Preview position"},
        {"ckMute", "Mute"},
        {"edt1", "Output Format:"},
        {"imgbtn1", "Choose the output format"},
        {"edDirectory", "Output Folder:"},
        {"btnUp", "next first chapter"},
    };
    for (const auto& [object, name] : expected) {
        ASSERT_TRUE(names.contains(object)) << object << " is not in the accessibility tree";
        EXPECT_EQ(names[object], name) << object;
    }
    const auto sizeText = std::find_if(controls.begin(), controls.end(), [](const auto& control) {
        return control.role == "text" &&
               control.objectName.find("cmbVideoSize") != std::string::npos;
    });
    ASSERT_NE(sizeText, controls.end());
    EXPECT_EQ(sizeText->name, "Video frame size");
    EXPECT_GE(controls.size(), 40u);
}

TEST_F(WindowAccessibility, TabOrderWalksTheWindowInReadingOrder) {
    auto window = ShowWindow();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const TfrmMainControls& c = window->Controls();
    const auto afterTab = [](QWidget* from) {
        from->setFocus(Qt::TabFocusReason);
        QTest::keyClick(from, Qt::Key_Tab);
        return QApplication::focusWidget();
    };
    EXPECT_EQ(afterTab(c.BtnExit), static_cast<QWidget*>(c.lvFiles));
    // The DVD boxes are off until titles are read.
    EXPECT_EQ(afterTab(c.lvFiles), static_cast<QWidget*>(c.btnUp));
    EXPECT_EQ(afterTab(c.edt1), static_cast<QWidget*>(c.imgbtn1));
    EXPECT_EQ(afterTab(c.imgbtn1), static_cast<QWidget*>(c.cmbVideoSize));
    EXPECT_EQ(afterTab(c.cmbVolume), static_cast<QWidget*>(c.edDirectory));
    EXPECT_EQ(afterTab(c.btnOpen), static_cast<QWidget*>(c.btnDefault));
}

TEST(QtMainThreadDispatcher, EngineCallsRunOnTheGuiThreadAndPassTheirErrorsBack) {
    test::TAppEnvironment::App();
    TQtMainThreadDispatcher dispatcher;
    QThread* gui = QThread::currentThread();
    std::atomic<bool> ranOnGui{false};
    std::atomic<bool> errorPassed{false};
    std::atomic<bool> done{false};
    std::thread engine([&] {
        CallInMainThread([&] { ranOnGui = QThread::currentThread() == gui; });
        try {
            CallInMainThread([] { throw std::runtime_error("from the handler"); });
        } catch (const std::runtime_error& error) {
            errorPassed = std::string(error.what()) == "from the handler";
        }
        done = true;
    });
    // The GUI thread waits as the engine's stops do: running only the engine's calls.
    while (!done) {
        WaitAndProcessPendingMessages(std::chrono::milliseconds(50));
    }
    engine.join();
    EXPECT_TRUE(ranOnGui);
    EXPECT_TRUE(errorPassed);

    // Through Qt's own event loop as well.
    std::atomic<int> calls{0};
    std::thread second([&] { CallInMainThread([&] { ++calls; }); });
    EXPECT_TRUE(WaitUntil([&] { return calls == 1; }));
    second.join();
}

} // namespace
} // namespace tessaro
