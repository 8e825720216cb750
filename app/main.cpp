#include "console/frmDOSOutput.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    frmDOSOutput window;
    window.show();
    return QApplication::exec();
}
