#include "VbControls.h"

#include "LogTextBox.h"
#include "SpinScrollBar.h"
#include "Twips.h"
#include "VbFrame.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace {

template <typename W> W* place(W* widget, const QString& name, int l, int t, int w, int h) {
    widget->setObjectName(name);
    widget->setGeometry(twipsRect(l, t, w, h));
    return widget;
}

} // namespace

QGroupBox* MakeFrame(QWidget* container, const QString& name, const QString& caption, int left,
                     int top, int width, int height) {
    return place(new VbFrame(caption, container), name, left, top, width, height);
}

QRadioButton* MakeOption(QWidget* container, QButtonGroup* group, const QString& name,
                         const QString& caption, int left, int top, int width, int height) {
    auto* option = place(new QRadioButton(caption, container), name, left, top, width, height);
    option->setAutoExclusive(false);
    group->addButton(option);
    return option;
}

QLineEdit* MakeReadOnlyTextBox(QWidget* container, const QString& name, const QString& text,
                               int left, int top, int width, int height) {
    auto* box = place(new QLineEdit(text, container), name, left, top, width, height);
    box->setReadOnly(true);
    box->setCursorPosition(0);
    return box;
}

LogTextBox* MakeReadOnlyLogBox(QWidget* container, const QString& name, int left, int top,
                               int width, int height) {
    return place(new LogTextBox(container), name, left, top, width, height);
}

QPushButton* MakeCommandButton(QWidget* container, const QString& name, const QString& caption,
                               int left, int top, int width, int height) {
    auto* button = place(new QPushButton(caption, container), name, left, top, width, height);
    button->setAutoDefault(false);
    return button;
}

QLabel* MakeLabel(QWidget* container, const QString& name, const QString& caption, int left,
                  int top, int width, int height) {
    return place(new QLabel(caption, container), name, left, top, width, height);
}

SpinScrollBar* MakeVScroll(QWidget* container, const QString& name, int left, int top, int width,
                           int height) {
    return place(new SpinScrollBar(container), name, left, top, width, height);
}

QButtonGroup* MakeOptionGroup(QWidget* container, const QString& name) {
    auto* group = new QButtonGroup(container);
    group->setObjectName(name);
    group->setExclusive(true);
    return group;
}

void StackFirstCreatedOnTop(QWidget* container) {
    const QList<QWidget*> children = container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (auto it = children.crbegin(); it != children.crend(); ++it) {
        (*it)->raise();
        if (auto* frame = qobject_cast<QGroupBox*>(*it)) {
            StackFirstCreatedOnTop(frame);
        }
    }
}
