// The format chooser on screen: the list lst1 of the catalogue's groups and formats, opened
// upwards from the format box as a pop-up. A press in the first 20 pixels of a group row (or a
// double press anywhere on it) expands or collapses the group; pressing a format row chooses
// it; the highlight follows the mouse; a press outside, Escape or leaving the application
// closes it. The keyboard works too: arrows move, Right/Left expand/collapse, Return chooses.
#pragma once

#include "formats/FormatCatalogue.h"

#include <QFrame>
#include <QListWidget>
#include <functional>
#include <vector>

class QPixmap;

namespace tessaro {

class TFormatChooserList : public QListWidget {
    Q_OBJECT
public:
    TFormatChooserList(TFormatChooserModel& model, QWidget* parent);

    // Shows the model's rows and selection again.
    void ShowRows();
    // The chooser row a press at x on row would act on: expanding or collapsing applies to
    // presses in the first 20 pixels of a group row.
    static bool IsMarkPress(int x) { return x < TFormatChooserModel::kRowHeight; }

signals:
    void formatChosen(int row);
    // A group was expanded or collapsed: the list's height changes.
    void rowsToggled();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Toggle(int row);
    void Press(int row);

    TFormatChooserModel& model_;
    bool pressToggled_ = false; // the first press of a double press expanded or collapsed
};

// The pop-up around the list. Presses on the widgets in passThrough close it without
// reaching them (they would open it again); other presses outside close it and go on.
class TFormatChooserPopup : public QFrame {
    Q_OBJECT
public:
    TFormatChooserPopup(TFormatChooserModel& model, QWidget* owner);

    TFormatChooserList* List() const { return list_; }
    void SetPassThrough(std::vector<QWidget*> widgets) { passThrough_ = std::move(widgets); }
    // Opens with its bottom edge on the top edge of anchor, as wide as width.
    void OpenAbove(QWidget* anchor, int width);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void Place();

    TFormatChooserModel& model_;
    TFormatChooserList* list_;
    QWidget* anchor_ = nullptr;
    int width_ = 0;
    std::vector<QWidget*> passThrough_;
};

} // namespace tessaro
