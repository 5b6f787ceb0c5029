#include "app/startup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QString titleFromProductName(const QString &productName)
{
    QString title = productName;
    do {
        const int blank = title.lastIndexOf(QLatin1Char(' '));
        if (blank < 0)
            break; // nothing left to cut: keep the name whole
        title.truncate(blank);
    } while (title.size() > 40);
    return title;
}

QString ApplicationTitle()
{
    const QString title = titleFromProductName(QString::fromLatin1(ProductName));
    QCoreApplication::setApplicationName(title);
    return title;
}

void OccasionalSiteVisit(const std::function<int()> &drawOneToHundred,
                         const std::function<void(const QString &)> &openAddress,
                         const QString &address)
{
    if (address.isEmpty())
        return;
    if (drawOneToHundred() == 7)
        openAddress(address);
}

QString programFolder()
{
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

QString dataFilePath(const QString &suffix)
{
    const QString local = QDir::fromNativeSeparators(suffix);
    const QString programDir = QCoreApplication::applicationDirPath();
    // Beside the program (a build tree), the data folder of the tree the
    // program was installed into (which may sit under a DESTDIR or another
    // prefix), and last the folder fixed at build time.
    const QStringList folders{programDir,
                              QDir::cleanPath(programDir + QLatin1Char('/')
                                              + QStringLiteral(OSTRELL_DATA_DIR_FROM_BIN)),
                              QStringLiteral(OSTRELL_DATA_DIR)};
    for (const QString &folder : folders) {
        const QString candidate = folder + local;
        if (QFileInfo::exists(candidate))
            return QDir::toNativeSeparators(candidate);
    }
    return QString();
}
