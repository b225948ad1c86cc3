// Small helpers that create the controls of the program's windows at fixed places, with
// their component names as object names.
#pragma once

#include <QRect>
#include <QString>
#include <QStyle>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QSpinBox;
class QToolButton;
class QWidget;

namespace tessaro {

template <typename Object> Object* Named(Object* object, const char* name) {
    object->setObjectName(QString::fromUtf8(name));
    return object;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, QRect geometry);

// A flat button showing a standard icon; its hint is its tooltip and accessible name.
QToolButton* MakeImageButton(QWidget* parent, const char* name, QStyle::StandardPixmap icon,
                             const char* hint, QRect geometry);

QLabel* MakeLabel(QWidget* parent, const char* text, QRect geometry);

// A spinner that takes no typing: its arrows and the arrow keys change it between min and
// max. Its text box carries the accessible name too, since assistive technology reads it.
QSpinBox* MakeArrowSpinner(QWidget* parent, const char* name, int min, int max,
                           const QString& accessibleName, QRect geometry);

QAction* MakeItem(QMenu* menu, const char* name, const char* caption);

} // namespace tessaro
