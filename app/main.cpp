#include <QApplication>

#include "app/window/form1.h"

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    Form1 window; // centred on its screen
    window.show();
    return app.exec();
}
