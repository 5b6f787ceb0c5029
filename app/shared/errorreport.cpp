#include "app/shared/errorreport.h"

#include "app/shared/dialogs.h"

QString errorReportText(const QString &description, const QString &location, int step)
{
    return description + QStringLiteral("\r\n") + location + QStringLiteral("at line ")
        + QString::number(step) + QStringLiteral("\r\r")
        + QStringLiteral("Please email screenshot of this message to ")
        + QStringLiteral(OSTRELL_SUPPORT_ADDRESS);
}

ErrorGuard::ErrorGuard(Dialogs &dialogs, QString location)
    : m_dialogs(dialogs)
    , m_location(std::move(location))
{
}

void ErrorGuard::report(const QString &description)
{
    m_dialogs.warning(QString::fromLatin1(ErrorReportCaption),
                      errorReportText(description, m_location, m_lastStep));
}
