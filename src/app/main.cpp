#include "shell/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZOR80HR Interface"));
    zor::frm_SDIMAIN window;
    window.Form_Load();
    return QApplication::exec();
}
