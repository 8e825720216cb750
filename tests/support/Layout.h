#pragma once

// What a user sees of a window's controls, whatever their places: each lies within its
// container, none covers another, every caption is there and can be read whole, and the
// keyboard reaches every control. A group box's frame may run under its option button, a
// spinner may sit on its text box, and a label's box beyond its text may run under another.

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>

inline void checkLayout(const QWidget& window) {
    QList<const QWidget*> controls;
    for (const QWidget* w : window.findChildren<QWidget*>()) {
        const QWidget* parent = w->parentWidget();
        if (parent == &window || qobject_cast<const QGroupBox*>(parent) != nullptr) {
            controls.append(w);
        }
    }
    QVERIFY(controls.size() > 4);
    auto mayOverlap = [](const QWidget* a, const QWidget* b) {
        return a->inherits("QGroupBox") != b->inherits("QGroupBox") ||
               (a->inherits("QScrollBar") && b->inherits("QLineEdit")) ||
               (b->inherits("QScrollBar") && a->inherits("QLineEdit"));
    };
    // What of a control can be seen: a label's text, all of anything else.
    auto shown = [](const QWidget* w) {
        const auto* label = qobject_cast<const QLabel*>(w);
        return label == nullptr
                   ? w->geometry()
                   : QRect(w->pos(),
                           QSize(w->fontMetrics().horizontalAdvance(label->text()), w->height()));
    };
    for (const QWidget* w : controls) {
        const QByteArray bytes = w->objectName().toLatin1();
        const char* name = bytes.constData();
        QVERIFY2(!w->objectName().isEmpty(), w->metaObject()->className());
        QVERIFY2(w->parentWidget()->rect().contains(w->geometry()), name);
        for (const QWidget* other : controls) {
            QVERIFY2(other == w || other->parentWidget() != w->parentWidget() ||
                         mayOverlap(w, other) || !shown(w).intersects(shown(other)),
                     qPrintable(w->objectName() + " covers " + other->objectName()));
        }
        if (auto* button = qobject_cast<const QAbstractButton*>(w)) {
            QVERIFY2(!button->text().trimmed().isEmpty(), name);
        }
        if (auto* label = qobject_cast<const QLabel*>(w)) {
            QVERIFY2(!label->text().isEmpty(), name);
            QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(), name);
        }
        if (!qobject_cast<const QLabel*>(w) && !qobject_cast<const QGroupBox*>(w)) {
            QVERIFY2(w->focusPolicy() & Qt::TabFocus, name);
        }
    }
}
