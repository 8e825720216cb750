#pragma once

#include <QScrollBar>

// A vertical scroll bar used as an up-down spinner. Its range is given by the value at
// its top end and the value at its bottom end; the top end may hold the larger value,
// so that the top arrow raises it. Change is raised once per change of the value: an
// arrow press, a click on the track, or the end of a drag of the thumb.
class SpinScrollBar : public QScrollBar {
    Q_OBJECT

public:
    explicit SpinScrollBar(QWidget* parent = nullptr);

    // Sets both ends and the value without raising Change.
    void setSpinRange(int topEnd, int bottomEnd, int value);
    int Value() const;
    void setValue(int value);

signals:
    void Change();

private:
    int toRaw(int value) const;
    int topEnd_ = 0;
    int bottomEnd_ = 0;
};
