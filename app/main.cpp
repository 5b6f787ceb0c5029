#include <QApplication>

#include "app/window/form1.h"
#include "platform/displaysetup.h"

int main(int argc, char **argv)
{
    Platform::prepareDisplay();
    QApplication app(argc, argv);
    // Ties the window to its menu entry and icon on the desktop.
    QGuiApplication::setDesktopFileName(QStringLiteral(OSTRELL_APP_ID));
    Form1 window; // centred on its screen
    window.show();
    return app.exec();
}
