#include "core/FormWidgets.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>

namespace tessaro {

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, QRect geometry) {
    auto* button = Named(new QPushButton(QString::fromUtf8(caption), parent), name);
    button->setGeometry(geometry);
    return button;
}

QToolButton* MakeImageButton(QWidget* parent, const char* name, QStyle::StandardPixmap icon,
                             const char* hint, QRect geometry) {
    auto* button = Named(new QToolButton(parent), name);
    button->setIcon(parent->style()->standardIcon(icon));
    button->setToolTip(QString::fromUtf8(hint));
    button->setAccessibleName(QString::fromUtf8(hint));
    button->setAutoRaise(true);
    button->setGeometry(geometry);
    return button;
}

QLabel* MakeLabel(QWidget* parent, const char* text, QRect geometry) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setGeometry(geometry);
    return label;
}

QSpinBox* MakeArrowSpinner(QWidget* parent, const char* name, int min, int max,
                           const QString& accessibleName, QRect geometry) {
    auto* spinner = Named(new QSpinBox(parent), name);
    spinner->setRange(min, max);
    spinner->setAccessibleName(accessibleName);
    spinner->setGeometry(geometry);
    if (auto* text = spinner->findChild<QLineEdit*>()) {
        text->setReadOnly(true);
        text->setAccessibleName(accessibleName);
    }
    return spinner;
}

QAction* MakeItem(QMenu* menu, const char* name, const char* caption) {
    return Named(menu->addAction(QString::fromUtf8(caption)), name);
}

} // namespace tessaro
