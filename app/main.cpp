#include <QApplication>
#include <QScreen>

#include "app/window/form1.h"

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // Ties the window to its menu entry and icon on the desktop.
    QGuiApplication::setDesktopFileName(QStringLiteral(OSTRELL_APP_ID));
    Form1 window;
    if (const QScreen *screen = window.screen())
        window.move(screen->availableGeometry().center() - window.rect().center());
    window.show();
    return app.exec();
}
