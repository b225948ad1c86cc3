// How the parameter boxes, the DVD boxes and the format chooser draw their items: the
// highlighted item filled in light blue with a darker frame, the others plain, black text cut
// with "...".
#pragma once

#include <QStyledItemDelegate>

class QComboBox;
class QPainter;

namespace tessaro {

// Fills rect with plain, or, when highlighted, 2 pixels inside with the highlight and a frame
// 1 pixel wider around it.
void DrawItemBackground(QPainter* painter, const QRect& rect, bool highlighted,
                        const QColor& plain);

class TParameterItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};

// Gives a combo box's drop-down list the program's item drawing.
void UseParameterItemDrawing(QComboBox* box);

} // namespace tessaro
