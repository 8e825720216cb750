#pragma once

#include <QGroupBox>

// A frame drawn the classic way: an etched rectangle whose top edge runs through the
// middle of the caption, the caption breaking the line where it stands. A caption of
// blanks leaves a gap in which another control can sit as the frame's title.
class VbFrame : public QGroupBox {
    Q_OBJECT

public:
    VbFrame(const QString& caption, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};
