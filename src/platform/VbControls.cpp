#include "VbControls.h"

#include "Twips.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

namespace {

template <typename W> W* place(W* widget, const QString& name, int l, int t, int w, int h) {
    widget->setObjectName(name);
    widget->setGeometry(twipsRect(l, t, w, h));
    return widget;
}

} // namespace

QGroupBox* MakeFrame(QWidget* container, const QString& name, const QString& caption, int left,
                     int top, int width, int height) {
    auto* frame = place(new QGroupBox(caption, container), name, left, top, width, height);
    frame->setFlat(false);
    return frame;
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

QPlainTextEdit* MakeReadOnlyLogBox(QWidget* container, const QString& name, int left, int top,
                                   int width, int height) {
    auto* box = place(new QPlainTextEdit(container), name, left, top, width, height);
    box->setReadOnly(true);
    box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return box;
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

QScrollBar* MakeVScroll(QWidget* container, const QString& name, int left, int top, int width,
                        int height) {
    return place(new QScrollBar(Qt::Vertical, container), name, left, top, width, height);
}

QButtonGroup* MakeOptionGroup(QWidget* container, const QString& name) {
    auto* group = new QButtonGroup(container);
    group->setObjectName(name);
    group->setExclusive(true);
    return group;
}
