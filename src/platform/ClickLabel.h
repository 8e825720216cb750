#pragma once

#include <QLabel>

// A label that reports a click: a left press and release on it.
class ClickLabel : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

signals:
    void Click();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};
