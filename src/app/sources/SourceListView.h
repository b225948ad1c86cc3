// The source list on screen: a table view over TSourceListModel that draws its rows as the
// program does (theme stripes, selection colours, its own check box, texts cut with an
// ellipsis), follows and sets the model's current row, toggles check boxes by click and Space,
// and takes dropped files.
#pragma once

#include "sources/SourceListModel.h"

#include <QAbstractTableModel>
#include <QStringList>
#include <QTreeView>
#include <functional>

namespace tessaro {

// The model's rows for Qt's views and accessibility: one item per cell, the check state on
// the caption.
class TSourceItemModel : public QAbstractTableModel, private TSourceListObserver {
    Q_OBJECT
public:
    explicit TSourceItemModel(TSourceListModel& list, QObject* parent = nullptr);
    ~TSourceItemModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    TSourceListModel& List() const { return list_; }
    // True while rows are being inserted, removed or reset: the views' current index moves
    // then on its own, and the list's current row is announced afterwards.
    bool Changing() const { return changing_; }

signals:
    void currentRowChanged(int row);
    void columnsChanged();

private:
    void KindChanged(TRowKind kind) override;
    void RowsInserted(int first, int count) override;
    void RowsRemoved(int first, int count) override;
    void RowsChanged(int first, int last) override;
    void CurrentRowChanged(int index) override;

    TSourceListModel& list_;
    int rows_ = 0; // the rows announced to the views so far
    bool changing_ = false;
};

class TSourceListView : public QTreeView {
    Q_OBJECT
public:
    // stripe gives the current theme's row stripe colour (0xRRGGBB).
    TSourceListView(TSourceItemModel& model, std::function<unsigned()> stripe,
                    QWidget* parent = nullptr);

    // The check box square of a row whose caption cell has rect.
    static QRect CheckBoxRect(const QRect& rect);

signals:
    // Local files and folders dropped onto the list.
    void pathsDropped(const QStringList& paths);
    void deletePressed();

protected:
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void ShowColumns();
    void FollowModelCurrent(int row);
    void DrawCell(QPainter* painter, const QRect& rect, const QModelIndex& index) const;

    TSourceItemModel& model_;
    std::function<unsigned()> stripe_;
};

} // namespace tessaro
