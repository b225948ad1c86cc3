// The source list on the main window, driven offscreen: Add through the real open dialog,
// destinations that follow format and folder, the keys, check boxes, menus and drops.
#include "WindowTestSupport.h"
#include "formatpanel/FormatChooser.h"
#include "formatpanel/FormatPanel.h"
#include "sources/SourceListPanel.h"
#include "sources/SourceListView.h"
#include "window/FmDirectory.h"
#include "window/OutputFolderRow.h"

#include <QAction>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeView>
#include <QUrl>
#include <gmock/gmock.h>

namespace tessaro {
namespace {

namespace fs = std::filesystem;
using test::WaitUntil;
using test::WhenModalOpens;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

const bool registered = (test::TAppEnvironment::Register(), true);

QStringList ListedNames(QFileDialog* dialog) {
    QStringList names;
    auto* view = dialog->findChild<QAbstractItemView*>(QStringLiteral("listView"));
    const QModelIndex root = view->rootIndex();
    for (int row = 0; row < view->model()->rowCount(root); ++row) {
        names << view->model()->index(row, 0, root).data().toString();
    }
    names.sort();
    return names;
}

std::vector<int> ColumnWidths(const QTreeView& view) {
    std::vector<int> widths;
    for (int column = 0; column < view.model()->columnCount(); ++column) {
        widths.push_back(view.columnWidth(column));
    }
    return widths;
}

std::vector<int> ColumnWidthsOf(TRowKind kind) {
    std::vector<int> widths;
    for (const TListColumn& column : ColumnsOf(kind)) {
        widths.push_back(column.Width);
    }
    return widths;
}

class SourceListWidget : public test::TMainWindowTest {
protected:
    void SetUp() override {
        TMainWindowTest::SetUp();
        media_ = dir_.Path() / "media";
        fs::create_directories(media_);
        fs::copy_file(Fixture("h264_aac.mp4"), media_ / "clip.avi");
        fs::copy_file(Fixture("mpeg2_ac3.mpg"), media_ / "talk.mpg");
        fs::copy_file(Fixture("audio.mp3"), media_ / "SONG.MP3");
        test::WriteTextFile(media_ / "notes.txt", "not media");
    }
    std::string Media(const char* name) const { return (media_ / name).string(); }
    std::vector<std::string> Cells(const TfrmMain& window, int column) const {
        std::vector<std::string> cells;
        QAbstractItemModel* model = window.Controls().lvFiles->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            cells.push_back(model->index(row, column).data().toString().toStdString());
        }
        return cells;
    }
    void AddThroughModel(TfrmMain& window, std::initializer_list<const char*> names) {
        QStringList paths;
        for (const char* name : names) {
            paths << QString::fromStdString(Media(name));
        }
        window.Sources().AddPaths(paths);
    }

    fs::path media_;
};

// Ctrl+O opens the dialog; its first filter lists "*.AVI" files named in lower case too.
TEST_F(SourceListWidget, AddThroughTheOpenDialog) {
    auto window = ShowWindow();
    QStringList listed;
    QStringList filters;
    WhenModalOpens([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        filters = dialog->nameFilters();
        dialog->setDirectory(QString::fromStdString(media_.string()));
        WaitUntil([&] { return ListedNames(dialog).size() >= 2; });
        listed = ListedNames(dialog);
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        name->setText(QStringLiteral("\"clip.avi\" \"talk.mpg\""));
        QTest::keyClick(name, Qt::Key_Return);
    });
    QSignalSpy added(&window->Sources(), &TSourceListPanel::filesAdded);
    QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);

    ASSERT_EQ(added.count(), 1);
    EXPECT_EQ(listed, QStringList({"clip.avi", "talk.mpg"})) << "folders, .txt and .MP3 left out";
    EXPECT_EQ(filters.size(), 36);
    EXPECT_TRUE(filters[0].startsWith("All Supported Video Formats (*.AVI *.AVM "));
    EXPECT_EQ(filters.last(), QStringLiteral("All files (*.*) (*.*)"));
    EXPECT_THAT(Cells(*window, fcSource), ElementsAre(Media("clip.avi"), Media("talk.mpg")));
    EXPECT_THAT(Cells(*window, fcLength), ElementsAre("12", "12"));
    EXPECT_THAT(Cells(*window, fcDestination), ElementsAre("clip_(new).mp4", "talk_(new).mp4"));
    EXPECT_EQ(window->SourceList().Current(), 0);
    EXPECT_EQ(window->focusWidget(), window->Controls().lvFiles);

    // Cancelling adds nothing.
    WhenModalOpens([](QWidget* dialog) { qobject_cast<QDialog*>(dialog)->reject(); });
    window->Controls().BtnAdd->click();
    EXPECT_EQ(window->SourceList().Count(), 2);
    EXPECT_EQ(added.count(), 1);
}

TEST_F(SourceListWidget, DestinationsFollowTheChosenFormatAndFolder) {
    auto window = ShowWindow();
    AddThroughModel(*window, {"clip.avi", "talk.mpg"});
    const std::string defaultFolder = dir_.Str() + "/videoconverter";
    EXPECT_EQ(window->SourceList().Record(0).OutputName, defaultFolder + "/clip_(new).mp4");

    test::ChooseFormat(*window, "General Video formats", "Xvid Video (*.avi)");
    EXPECT_THAT(Cells(*window, fcDestination), ElementsAre("clip_(new).avi", "talk_(new).avi"));
    EXPECT_EQ(window->CurrentFormatCode(), "207");

    // Another folder through "Browse"; a file already there moves the name on.
    const fs::path out = dir_.Path() / "out";
    fs::create_directories(out);
    test::WriteTextFile(out / "clip_(new).avi", "earlier");
    WhenModalOpens([&](QWidget* modal) {
        auto* chooserDialog = qobject_cast<TfmDirectory*>(modal);
        ASSERT_NE(chooserDialog, nullptr);
        EXPECT_EQ(chooserDialog->windowTitle(), QStringLiteral("Browse"));
        chooserDialog->SelectFolder(QString::fromStdString(out.string()));
        chooserDialog->OkButton()->click();
    });
    window->Controls().btnBrows->click();
    EXPECT_EQ(window->Controls().edDirectory->text().toStdString(), out.string());
    EXPECT_EQ(Stored("settings", "OutPutDir"), out.string());
    EXPECT_THAT(Cells(*window, fcDestination), ElementsAre("clip_(new_1).avi", "talk_(new).avi"));
    EXPECT_EQ(window->SourceList().Record(1).OutputName, (out / "talk_(new).avi").string());
}

TEST_F(SourceListWidget, KeysClicksAndRemoveSelection) {
    auto window = ShowWindow();
    AddThroughModel(*window, {"clip.avi", "talk.mpg", "SONG.MP3"});
    TSourceListModel& list = window->SourceList();
    QTreeView* view = window->Controls().lvFiles;
    view->setFocus();

    // A click in a row's check box square toggles it; Space toggles the selected row.
    QRect caption;
    ASSERT_TRUE(WaitUntil([&] {
        caption = view->visualRect(view->model()->index(1, 0));
        return caption.isValid();
    }));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      TSourceListView::CheckBoxRect(caption).center());
    EXPECT_FALSE(list.Row(1).Checked);
    EXPECT_EQ(list.Current(), 1) << "the click also selects the row";
    QTest::keyClick(view, Qt::Key_Space);
    EXPECT_TRUE(list.Row(1).Checked);

    // Reverse Check from the Edit menu.
    list.SetChecked(1, false);
    window->Controls().ReverseCheck1->trigger();
    EXPECT_FALSE(list.Row(0).Checked);
    EXPECT_TRUE(list.Row(1).Checked);
    EXPECT_FALSE(list.Row(2).Checked);

    // Delete removes the selected row: the last selects the new last, the first the new first.
    view->setCurrentIndex(view->model()->index(2, 0));
    QTest::keyClick(view, Qt::Key_Delete);
    EXPECT_THAT(Cells(*window, fcSource), ElementsAre(Media("clip.avi"), Media("talk.mpg")));
    EXPECT_EQ(view->currentIndex().row(), 1);
    view->setCurrentIndex(view->model()->index(0, 0));
    QSignalSpy emptied(&window->Sources(), &TSourceListPanel::listEmptied);
    window->Controls().BtnRemove->click();
    EXPECT_THAT(Cells(*window, fcSource), ElementsAre(Media("talk.mpg")));
    EXPECT_EQ(view->currentIndex().row(), 0);
    EXPECT_EQ(emptied.count(), 0);
    window->Controls().Remove1->trigger();
    EXPECT_TRUE(list.Empty());
    EXPECT_EQ(emptied.count(), 1) << "removing the only row stops the preview";
}

// Rows at odd positions take the theme's stripe; the selected row is filled in light blue,
// lighter while the list does not have the focus.
TEST_F(SourceListWidget, RowsAreDrawnWithStripesAndTheSelectionColours) {
    test::WriteTextFile(SettingsPath(), "[settings]\nskinIndex=2\n"); // Orange
    auto window = ShowWindow();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    AddThroughModel(*window, {"clip.avi", "talk.mpg", "SONG.MP3"});
    window->SourceList().SetCurrent(-1);
    QTreeView* view = window->Controls().lvFiles;
    // A point in the empty "Progress" cell of a row.
    const auto colourOf = [&](int row) {
        QRect rect;
        WaitUntil([&] {
            rect = view->visualRect(view->model()->index(row, fcFileProgress));
            return rect.isValid();
        });
        return view->viewport()->grab().toImage().pixelColor(rect.center());
    };
    EXPECT_EQ(colourOf(0), QColor(Qt::white));
    EXPECT_EQ(colourOf(1), QColor(248, 242, 224));
    EXPECT_EQ(colourOf(2), QColor(Qt::white));

    view->setFocus();
    window->SourceList().SetCurrent(1);
    EXPECT_EQ(colourOf(1), QColor(185, 204, 236));
    window->Controls().edt1->setFocus();
    EXPECT_EQ(colourOf(1), QColor(229, 236, 248));
}

TEST_F(SourceListWidget, RowMenusAreDisabledWithoutASelectedRow) {
    auto window = ShowWindow();
    const TfrmMainControls& c = window->Controls();
    const std::vector<QAction*> editItems = {c.Crop1,     c.Trim1,       c.VideoEffect1,
                                             c.CheckAll1, c.UncheckAll1, c.ReverseCheck1,
                                             c.Check1,    c.Uncheck1};
    const auto contextItems = [&] {
        std::vector<QAction*> items;
        for (const char* name : {"Crop2", "Trim2", "VideoEffect2", "Remove2", "Clear2", "Start2"}) {
            items.push_back(window->Sources().ContextItem(name));
        }
        return items;
    };
    const auto enabled = [](const std::vector<QAction*>& items) {
        std::vector<bool> states;
        for (QAction* item : items) {
            states.push_back(item->isEnabled());
        }
        return states;
    };

    emit c.mnuEdit->aboutToShow();
    EXPECT_THAT(enabled(editItems), ::testing::Each(false)) << "empty list";
    c.BtnEdit->click();
    ASSERT_TRUE(WaitUntil([&] { return c.PopupMenuFiles->isVisible(); }));
    EXPECT_THAT(enabled(contextItems()), ::testing::Each(false));
    EXPECT_TRUE(window->Sources().ContextItem("Add2")->isEnabled());
    EXPECT_FALSE(window->Sources().ContextItem("Remove2")->isVisible());
    c.PopupMenuFiles->close();

    AddThroughModel(*window, {"clip.avi"});
    emit c.mnuEdit->aboutToShow();
    EXPECT_THAT(enabled(editItems), ::testing::Each(true));
    window->SourceList().SetCurrent(-1);
    emit c.mnuEdit->aboutToShow();
    EXPECT_THAT(enabled(editItems), ::testing::Each(false)) << "rows but none selected";
}

TEST_F(SourceListWidget, DroppedMediaFilesAreAddedAndDvdSourcesPassedOn) {
    auto window = ShowWindow();
    QTreeView* view = window->Controls().lvFiles;
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(Media("clip.avi"))),
                  QUrl::fromLocalFile(QString::fromStdString(Media("notes.txt"))),
                  QUrl::fromLocalFile(QString::fromStdString(Fixture("dvd"))),
                  QUrl::fromLocalFile(QString::fromStdString(Fixture("dvd.iso")))});
    QSignalSpy dvd(&window->Sources(), &TSourceListPanel::dvdPathsDropped);
    const QPoint at = view->viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &drop);

    EXPECT_THAT(Cells(*window, fcSource), ElementsAre(Media("clip.avi")));
    ASSERT_EQ(dvd.count(), 1);
    EXPECT_EQ(dvd[0][0].toStringList().size(), 2);
}

// Rows of DVD titles bring their own columns; files added to such a list replace the titles.
TEST_F(SourceListWidget, ColumnsFollowTheRowKind) {
    auto window = ShowWindow();
    QTreeView* view = window->Controls().lvFiles;
    TlvFilesRecord record;
    record.TitleIndex = 0;
    window->SourceList().AddDvdTitleRow(
        {"DVD Title 1", "   0:00:19", "   0:00:19", "   720 x 480", "   MPEG-2"}, record);
    ASSERT_EQ(view->model()->columnCount(), 6);
    EXPECT_EQ(view->model()->headerData(4, Qt::Horizontal).toString(), "Video Format");
    EXPECT_THAT(ColumnWidths(*view), ElementsAreArray(ColumnWidthsOf(TRowKind::DvdTitle)));
    EXPECT_EQ(view->model()->index(0, 3).data().toString(), "   720 x 480");

    AddThroughModel(*window, {"talk.mpg"});
    ASSERT_EQ(view->model()->columnCount(), 5);
    EXPECT_EQ(view->model()->headerData(3, Qt::Horizontal).toString(), "Destination File");
    EXPECT_THAT(ColumnWidths(*view), ElementsAreArray(ColumnWidthsOf(TRowKind::File)));
    EXPECT_THAT(Cells(*window, fcSource), ElementsAre(Media("talk.mpg")));
}

} // namespace
} // namespace tessaro
