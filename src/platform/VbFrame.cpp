#include "VbFrame.h"

#include <QPainter>

namespace {
constexpr int captionIndent = 6; // pixels from the frame's left edge to its caption
}

VbFrame::VbFrame(const QString& caption, QWidget* parent) : QGroupBox(caption, parent) {}

void VbFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QFontMetrics metrics(font());
    const int edge = metrics.height() / 2;
    const QRect box = rect().adjusted(0, edge, -2, -2);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(box);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(box.translated(1, 1));
    if (title().isEmpty()) {
        return;
    }
    const QRect caption(captionIndent, 0, metrics.horizontalAdvance(title()), metrics.height());
    painter.fillRect(caption, palette().window());
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(caption, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, title());
}
