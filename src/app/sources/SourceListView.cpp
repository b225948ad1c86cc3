#include "sources/SourceListView.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFont>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QUrl>

namespace tessaro {

namespace {

const QColor kFocusedFill(185, 204, 236);
const QColor kUnfocusedFill(229, 236, 248);
const QColor kFocusedFrame(122, 160, 218);
const QColor kUnfocusedFrame(152, 181, 226);
constexpr int kCheckBoxSpace = 18; // the caption's text starts after the check box

QStringList LocalPaths(const QMimeData* data) {
    QStringList paths;
    if (data == nullptr) {
        return paths;
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            paths << url.toLocalFile();
        }
    }
    return paths;
}

// The cells are drawn by the view; the delegate only turns a click into the program's own
// check box square into a toggle.
class TCheckBoxDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override {
        const bool mouse = event->type() == QEvent::MouseButtonPress ||
                           event->type() == QEvent::MouseButtonRelease ||
                           event->type() == QEvent::MouseButtonDblClick;
        if (!mouse || index.column() != 0) {
            return false;
        }
        const auto* click = static_cast<QMouseEvent*>(event);
        const QRect box = TSourceListView::CheckBoxRect(option.rect).adjusted(-1, -1, 1, 1);
        if (click->button() != Qt::LeftButton || !box.contains(click->position().toPoint())) {
            return false;
        }
        if (event->type() == QEvent::MouseButtonRelease) {
            const bool checked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
            model->setData(index, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
        }
        // The press still selects the row; the release toggles.
        return event->type() != QEvent::MouseButtonPress;
    }
};

} // namespace

TSourceItemModel::TSourceItemModel(TSourceListModel& list, QObject* parent)
    : QAbstractTableModel(parent), list_(list), rows_(list.Count()) {
    list_.AddObserver(this);
}

TSourceItemModel::~TSourceItemModel() {
    list_.RemoveObserver(this);
}

int TSourceItemModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int TSourceItemModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(ColumnsOf(list_.Kind()).size());
}

QVariant TSourceItemModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= list_.Count()) {
        return {};
    }
    const TSourceRow& row = list_.Row(index.row());
    if (role == Qt::ToolTipRole && index.column() == ProgressColumn(row.Kind) &&
        !row.ProgressTip.empty()) {
        return QString::fromStdString(row.ProgressTip);
    }
    if (role == Qt::ToolTipRole && index.column() == 0 && !row.Hint.empty()) {
        return QString::fromStdString(row.Hint);
    }
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        const auto column = std::size_t(index.column());
        return column < row.Cells.size() ? QString::fromStdString(row.Cells[column]) : QString();
    }
    if (role == Qt::FontRole && index.column() == 0 && row.Bold) {
        QFont font;
        font.setBold(true);
        return font;
    }
    if (role == Qt::CheckStateRole && index.column() == 0) {
        return row.Checked ? Qt::Checked : Qt::Unchecked;
    }
    return {};
}

bool TSourceItemModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !index.isValid() || index.column() != 0) {
        return false;
    }
    list_.SetChecked(index.row(), value.toInt() == Qt::Checked);
    return true;
}

QVariant TSourceItemModel::headerData(int section, Qt::Orientation orientation, int role) const {
    const std::vector<TListColumn>& columns = ColumnsOf(list_.Kind());
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= int(columns.size())) {
        return {};
    }
    return QString::fromUtf8(columns[std::size_t(section)].Caption);
}

Qt::ItemFlags TSourceItemModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::ItemIsDropEnabled;
    }
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 0) {
        flags |= Qt::ItemIsUserCheckable;
    }
    return flags;
}

void TSourceItemModel::KindChanged(TRowKind) {
    changing_ = true;
    beginResetModel();
    rows_ = list_.Count();
    endResetModel();
    changing_ = false;
    emit columnsChanged();
}

void TSourceItemModel::RowsInserted(int first, int count) {
    changing_ = true;
    beginInsertRows({}, first, first + count - 1);
    rows_ += count;
    endInsertRows();
    changing_ = false;
}

void TSourceItemModel::RowsRemoved(int first, int count) {
    changing_ = true;
    beginRemoveRows({}, first, first + count - 1);
    rows_ -= count;
    endRemoveRows();
    changing_ = false;
}

void TSourceItemModel::RowsChanged(int first, int last) {
    emit dataChanged(index(first, 0), index(last, columnCount() - 1));
}

void TSourceItemModel::CurrentRowChanged(int index) {
    emit currentRowChanged(index);
}

TSourceListView::TSourceListView(TSourceItemModel& model, std::function<unsigned()> stripe,
                                 QWidget* parent)
    : QTreeView(parent), model_(model), stripe_(std::move(stripe)) {
    setModel(&model_);
    setItemDelegate(new TCheckBoxDelegate(this));
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setTextElideMode(Qt::ElideRight);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setContextMenuPolicy(Qt::CustomContextMenu);
    header()->setStretchLastSection(false);
    header()->setSectionsClickable(false);
    ShowColumns();

    connect(&model_, &TSourceItemModel::columnsChanged, this, &TSourceListView::ShowColumns);
    connect(&model_, &TSourceItemModel::currentRowChanged, this,
            &TSourceListView::FollowModelCurrent);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (!model_.Changing()) {
                    model_.List().SetCurrent(current.isValid() ? current.row() : -1);
                }
            });
}

void TSourceListView::ShowColumns() {
    const std::vector<TListColumn>& columns = ColumnsOf(model_.List().Kind());
    for (std::size_t column = 0; column < columns.size(); ++column) {
        setColumnWidth(int(column), columns[column].Width);
    }
}

void TSourceListView::FollowModelCurrent(int row) {
    const QModelIndex wanted = row >= 0 ? model_.index(row, 0) : QModelIndex();
    if (wanted == currentIndex()) {
        return;
    }
    if (wanted.isValid()) {
        selectionModel()->setCurrentIndex(wanted, QItemSelectionModel::ClearAndSelect |
                                                      QItemSelectionModel::Rows);
    } else {
        selectionModel()->clear();
    }
}

QRect TSourceListView::CheckBoxRect(const QRect& rect) {
    return QRect(QPoint(rect.left() + 2, rect.top() + 2),
                 QPoint(rect.left() + 14, rect.bottom() - 2));
}

// Every row is drawn here: white or the theme's stripe, the selection fill and frame, then
// the cells.
void TSourceListView::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    painter->save();
    const QRect row = option.rect;
    const unsigned stripe = stripe_ ? stripe_() : 0xFFFFFF;
    painter->fillRect(row, index.row() % 2 == 1 ? QColor(QRgb(stripe)) : QColor(Qt::white));
    if (selectionModel()->isRowSelected(index.row(), index.parent())) {
        const bool focused = hasFocus();
        const QRect selected = row.adjusted(1, 0, -1, 0);
        painter->fillRect(selected, focused ? kFocusedFill : kUnfocusedFill);
        painter->setPen(focused ? kFocusedFrame : kUnfocusedFrame);
        painter->drawRect(selected.adjusted(0, 0, -1, -1));
    }
    for (int column = 0; column < model_.columnCount(); ++column) {
        const QRect cell(columnViewportPosition(column), row.top(), columnWidth(column),
                         row.height());
        DrawCell(painter, cell, model_.index(index.row(), column));
    }
    painter->restore();
}

void TSourceListView::DrawCell(QPainter* painter, const QRect& rect,
                               const QModelIndex& index) const {
    QRect textRect = rect;
    if (index.column() == 0) {
        QPen pen(Qt::black, 2);
        painter->setPen(pen);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(CheckBoxRect(rect));
        if (index.data(Qt::CheckStateRole).toInt() == Qt::Checked) {
            const QPoint tick[] = {{rect.left() + 4, rect.top() + 6},
                                   {rect.left() + 6, rect.top() + 11},
                                   {rect.left() + 11, rect.top() + 5}};
            painter->drawPolyline(tick, 3);
        }
        textRect = rect.adjusted(kCheckBoxSpace + 3, 0, -3, 0);
    }
    const QString text = index.data(Qt::DisplayRole).toString();
    if (text.isEmpty()) {
        return;
    }
    painter->setPen(Qt::black);
    // The view's own font, in bold where the model asks for it.
    QFont font = this->font();
    font.setBold(index.data(Qt::FontRole).value<QFont>().bold());
    painter->setFont(font);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      painter->fontMetrics().elidedText(text, Qt::ElideRight, textRect.width()));
}

void TSourceListView::keyPressEvent(QKeyEvent* event) {
    const int row = model_.List().Current();
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier && row >= 0) {
        model_.List().ToggleChecked(row);
        return;
    }
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        emit deletePressed();
        return;
    }
    QTreeView::keyPressEvent(event);
}

// The selected row's colours say whether the list has the focus.
void TSourceListView::focusInEvent(QFocusEvent* event) {
    QTreeView::focusInEvent(event);
    viewport()->update();
}

void TSourceListView::focusOutEvent(QFocusEvent* event) {
    QTreeView::focusOutEvent(event);
    viewport()->update();
}

void TSourceListView::dragEnterEvent(QDragEnterEvent* event) {
    if (!LocalPaths(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void TSourceListView::dragMoveEvent(QDragMoveEvent* event) {
    if (!LocalPaths(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void TSourceListView::dropEvent(QDropEvent* event) {
    const QStringList paths = LocalPaths(event->mimeData());
    if (paths.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    emit pathsDropped(paths);
}

} // namespace tessaro
