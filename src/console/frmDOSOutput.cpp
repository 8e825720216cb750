#include "frmDOSOutput.h"

frmDOSOutput::frmDOSOutput(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("frmDOSOutput"));
    setWindowTitle(QStringLiteral("Kestrel - Untrunc-w GUI"));
    setFixedSize(488, 444);
}
