#include "platform/displaysetup.h"

#include <QByteArray>

#include <windows.h>

namespace {

bool runsUnderWine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

} // namespace

void Platform::prepareDisplay()
{
    // Wine's GDI gives Qt's GDI font engine no glyphs for line edits, so the
    // results folder and every typed answer would look empty there. Qt's own
    // FreeType engine draws them. A platform chosen by the user still wins,
    // and -platform on the command line wins over this.
    if (runsUnderWine() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("windows:fontengine=freetype"));
}
