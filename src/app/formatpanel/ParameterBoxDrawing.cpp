#include "formatpanel/ParameterBoxDrawing.h"

#include <QComboBox>
#include <QPainter>

namespace tessaro {

void DrawItemBackground(QPainter* painter, const QRect& rect, bool highlighted,
                        const QColor& plain) {
    if (!highlighted) {
        painter->fillRect(rect, plain);
        return;
    }
    painter->fillRect(rect, Qt::white);
    const QRect fill = rect.adjusted(2, 2, -2, -2);
    painter->fillRect(fill, QColor(185, 204, 236));
    painter->setPen(QColor(122, 160, 218));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(fill.adjusted(-1, -1, 0, 0));
}

void TParameterItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
    painter->save();
    const bool highlighted =
        option.state & (QStyle::State_Selected | QStyle::State_HasFocus | QStyle::State_MouseOver);
    DrawItemBackground(painter, option.rect, highlighted, Qt::white);
    const QRect textRect = option.rect.adjusted(3, 0, -3, 0);
    painter->setPen(Qt::black);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      option.fontMetrics.elidedText(index.data(Qt::DisplayRole).toString(),
                                                    Qt::ElideRight, textRect.width()));
    painter->restore();
}

void UseParameterItemDrawing(QComboBox* box) {
    box->setItemDelegate(new TParameterItemDelegate(box));
}

} // namespace tessaro
