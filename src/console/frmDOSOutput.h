#pragma once

#include <QWidget>

class frmDOSOutput : public QWidget {
    Q_OBJECT
public:
    explicit frmDOSOutput(QWidget* parent = nullptr);
};
