#include "formatpanel/FormatChooser.h"

#include "formatpanel/ParameterBoxDrawing.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace tessaro {

namespace {

constexpr int kRowHeight = TFormatChooserModel::kRowHeight;
constexpr int kRowDataRole = Qt::UserRole + 1;

const QPixmap& Mark(bool expanded) {
    static const QPixmap collapsed(QStringLiteral(":/icons/collapsed.png"));
    static const QPixmap open(QStringLiteral(":/icons/expanded.png"));
    return expanded ? open : collapsed;
}

const QPixmap& GroupIcon(int group) {
    static const QPixmap icons[] = {QPixmap(QStringLiteral(":/icons/group0.png")),
                                    QPixmap(QStringLiteral(":/icons/group1.png")),
                                    QPixmap(QStringLiteral(":/icons/group2.png")),
                                    QPixmap(QStringLiteral(":/icons/group3.png"))};
    return icons[std::clamp(group, 0, 3)];
}

// Group rows: bold, the collapse mark at the left edge, the group's icon 20 pixels further
// and the name at 45; format rows in navy at 25. The selected row is highlighted.
class TChooserRowDelegate : public QStyledItemDelegate {
public:
    TChooserRowDelegate(const TFormatChooserModel& model, QObject* parent)
        : QStyledItemDelegate(parent), model_(model) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const int row = index.data(kRowDataRole).toInt();
        if (row < 0 || row >= int(model_.Rows().size())) {
            return;
        }
        const TChooserRow& chooserRow = model_.Rows()[std::size_t(row)];
        painter->save();
        DrawItemBackground(painter, option.rect, option.state & QStyle::State_Selected,
                           QColor(246, 247, 248));
        const QRect inner = option.rect.adjusted(3, 0, -3, 0);
        QFont font = option.font;
        if (chooserRow.Info.IsGroup) {
            font.setBold(true);
            const QPixmap& mark = Mark(!chooserRow.Info.Collapsed);
            const QPixmap& icon = GroupIcon(chooserRow.Info.Code);
            painter->drawPixmap(inner.left(), inner.top() + (inner.height() - mark.height()) / 2,
                                mark);
            painter->drawPixmap(inner.left() + 20,
                                inner.top() + (inner.height() - icon.height()) / 2, icon);
            painter->setPen(Qt::black);
        } else {
            painter->setPen(QColor(0, 0, 128));
        }
        painter->setFont(font);
        const int textLeft = chooserRow.Info.IsGroup ? 45 : 25;
        const QRect textRect = inner.adjusted(textLeft, 2, 0, 0);
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                          QFontMetrics(font).elidedText(QString::fromStdString(chooserRow.Text),
                                                        Qt::ElideRight, textRect.width()));
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QSize(QStyledItemDelegate::sizeHint(option, index).width(), kRowHeight);
    }

private:
    const TFormatChooserModel& model_;
};

} // namespace

TFormatChooserList::TFormatChooserList(TFormatChooserModel& model, QWidget* parent)
    : QListWidget(parent), model_(model) {
    setObjectName(QStringLiteral("lst1"));
    setAccessibleName(QStringLiteral("Output formats"));
    setItemDelegate(new TChooserRowDelegate(model_, this));
    setMouseTracking(true);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void TFormatChooserList::ShowRows() {
    const QSignalBlocker blocker(this);
    clear();
    const std::vector<TChooserRow>& rows = model_.Rows();
    for (std::size_t row = 0; row < rows.size(); ++row) {
        auto* item = new QListWidgetItem(QString::fromStdString(rows[row].Text), this);
        item->setData(kRowDataRole, int(row));
        item->setSizeHint(QSize(0, kRowHeight));
    }
    const int selected = model_.SelectedRow();
    setCurrentRow(selected);
    if (selected >= 0) {
        scrollToItem(item(selected));
    }
}

void TFormatChooserList::Toggle(int row) {
    model_.ToggleGroup(row);
    model_.SetSelectedRow(row);
    ShowRows();
    emit rowsToggled();
}

// A press on a group's mark expands or collapses it; a press on a format chooses it.
void TFormatChooserList::Press(int row) {
    const TChooserRow& pressed = model_.Rows()[std::size_t(row)];
    if (pressed.Info.IsFormat) {
        emit formatChosen(row);
    }
}

void TFormatChooserList::mousePressEvent(QMouseEvent* event) {
    pressToggled_ = false;
    QListWidgetItem* pressed = itemAt(event->position().toPoint());
    if (event->button() != Qt::LeftButton || pressed == nullptr) {
        return;
    }
    const int row = pressed->data(kRowDataRole).toInt();
    if (model_.Rows()[std::size_t(row)].Info.IsGroup) {
        if (IsMarkPress(int(event->position().x()))) {
            Toggle(row);
            pressToggled_ = true;
        }
        return;
    }
    Press(row);
}

void TFormatChooserList::mouseDoubleClickEvent(QMouseEvent* event) {
    QListWidgetItem* pressed = itemAt(event->position().toPoint());
    if (event->button() != Qt::LeftButton || pressed == nullptr) {
        return;
    }
    const int row = pressed->data(kRowDataRole).toInt();
    // A double press on a group row expands or collapses it once, wherever it lands.
    if (model_.Rows()[std::size_t(row)].Info.IsGroup && !pressToggled_) {
        Toggle(row);
    }
}

void TFormatChooserList::mouseMoveEvent(QMouseEvent* event) {
    if (QListWidgetItem* hovered = itemAt(event->position().toPoint())) {
        const int row = hovered->data(kRowDataRole).toInt();
        model_.SetSelectedRow(row);
        setCurrentItem(hovered);
    }
}

void TFormatChooserList::keyPressEvent(QKeyEvent* event) {
    const int row = currentItem() != nullptr ? currentItem()->data(kRowDataRole).toInt() : -1;
    const bool group = row >= 0 && model_.Rows()[std::size_t(row)].Info.IsGroup;
    const bool collapsed = group && model_.Rows()[std::size_t(row)].Info.Collapsed;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (group) {
            Toggle(row);
        } else if (row >= 0) {
            Press(row);
        }
        return;
    case Qt::Key_Right:
        if (group && collapsed) {
            Toggle(row);
        }
        return;
    case Qt::Key_Left:
        if (group && !collapsed) {
            Toggle(row);
        }
        return;
    case Qt::Key_Escape:
        window()->close();
        return;
    default:
        QListWidget::keyPressEvent(event);
        model_.SetSelectedRow(currentRow());
    }
}

TFormatChooserPopup::TFormatChooserPopup(TFormatChooserModel& model, QWidget* owner)
    : QFrame(owner, Qt::Popup), model_(model) {
    setObjectName(QStringLiteral("lst1Popup"));
    setFrameShape(QFrame::Box);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    list_ = new TFormatChooserList(model_, this);
    layout->addWidget(list_);
    connect(list_, &TFormatChooserList::rowsToggled, this, &TFormatChooserPopup::Place);
    // Leaving the application closes the chooser.
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (state != Qt::ApplicationActive) {
                    close();
                }
            });
}

void TFormatChooserPopup::OpenAbove(QWidget* anchor, int width) {
    anchor_ = anchor;
    width_ = width;
    list_->ShowRows();
    Place();
    show();
    list_->setFocus();
}

// rows x 20 + 20 pixels high, at most 386, the bottom edge on the anchor's top edge.
void TFormatChooserPopup::Place() {
    if (anchor_ == nullptr) {
        return;
    }
    const int height = model_.OpenedHeight();
    setGeometry(QRect(anchor_->mapToGlobal(QPoint(0, -height)), QSize(width_, height)));
}

void TFormatChooserPopup::mousePressEvent(QMouseEvent* event) {
    if (!rect().contains(event->position().toPoint())) {
        const QPoint global = event->globalPosition().toPoint();
        for (QWidget* widget : passThrough_) {
            if (widget->isVisible() && widget->rect().contains(widget->mapFromGlobal(global))) {
                setAttribute(Qt::WA_NoMouseReplay);
            }
        }
    }
    QFrame::mousePressEvent(event);
}

} // namespace tessaro
