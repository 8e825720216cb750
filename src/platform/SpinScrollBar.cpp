#include "SpinScrollBar.h"

#include <QSignalBlocker>

SpinScrollBar::SpinScrollBar(QWidget* parent) : QScrollBar(Qt::Vertical, parent) {
    setSingleStep(1);
    setPageStep(1);
    // Without tracking, a drag reports its value once, when the thumb is let go.
    setTracking(false);
    setFocusPolicy(Qt::TabFocus);
    connect(this, &QScrollBar::valueChanged, this, &SpinScrollBar::Change);
}

void SpinScrollBar::setSpinRange(int topEnd, int bottomEnd, int value) {
    const QSignalBlocker quiet(this);
    topEnd_ = topEnd;
    bottomEnd_ = bottomEnd;
    setRange(std::min(topEnd, bottomEnd), std::max(topEnd, bottomEnd));
    QScrollBar::setValue(toRaw(value));
}

// Qt keeps the smaller value at the top; mirror it when the top end is the larger.
int SpinScrollBar::toRaw(int value) const {
    return topEnd_ > bottomEnd_ ? topEnd_ + bottomEnd_ - value : value;
}

int SpinScrollBar::Value() const {
    return toRaw(QScrollBar::value());
}

void SpinScrollBar::setValue(int value) {
    QScrollBar::setValue(toRaw(value));
}
