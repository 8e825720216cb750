#include "console/frmDOSOutput.h"
#include "platform/AppTitle.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(appTitle());
    frmDOSOutput window(QApplication::applicationDirPath());
    window.show();
    return QApplication::exec();
}
