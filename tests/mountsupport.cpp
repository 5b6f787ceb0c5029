#include "mountsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char Python[] = "/usr/bin/python3";

QString run(const QString &program, const QStringList &arguments, int *exitCode = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(30000);
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromLocal8Bit(process.readAllStandardOutput() + process.readAllStandardError()).trimmed();
}

dev_t deviceOf(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_dev : dev_t(0);
}

} // namespace

TestMounts::TestMounts() = default;

TestMounts::~TestMounts()
{
    for (const QString &point : std::as_const(m_points)) {
        int code = 1;
        for (int attempt = 0; attempt < 10 && code != 0; ++attempt) {
            run(QStringLiteral("umount"), {point}, &code);
            if (code != 0)
                QThread::msleep(200);
        }
        // A lazy unmount lets go even of a mount a stuck reader still holds,
        // but may keep the disk busy: only when nothing else worked.
        if (code != 0)
            run(QStringLiteral("umount"), {QStringLiteral("-l"), point});
    }
    for (QProcess *server : std::as_const(m_servers)) {
        if (!server->waitForFinished(5000))
            server->kill();
        server->waitForFinished(5000);
        delete server;
    }
    for (const QString &loop : std::as_const(m_loops))
        run(QStringLiteral("losetup"), {QStringLiteral("-d"), loop});
}

QString TestMounts::whyNot()
{
    const int fuse = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fuse < 0)
        return QStringLiteral("/dev/fuse cannot be opened (%1)").arg(QString::fromLocal8Bit(std::strerror(errno)));
    ::close(fuse);
    if (::geteuid() != 0)
        return QStringLiteral("a loop device for the exFAT image needs root");
    for (const char *tool : {"mount.exfat-fuse", "mkfs.exfat", "losetup", "umount"})
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()
            && QStandardPaths::findExecutable(QLatin1String(tool), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")})
                   .isEmpty())
            return QStringLiteral("%1 is not installed (scripts/install-deps)").arg(QLatin1String(tool));
    int code = 0;
    run(QLatin1String(Python), {QStringLiteral("-c"), QStringLiteral("import fusepy")}, &code);
    if (code != 0)
        return QStringLiteral("python3-fusepy is not installed (scripts/install-deps)");
    return QString();
}

bool TestMounts::waitForMount(const QString &point)
{
    const dev_t parent = deviceOf(point + QStringLiteral("/.."));
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 10000) {
        const dev_t now = deviceOf(point);
        if (now != 0 && now != parent)
            return true;
        QThread::msleep(50);
    }
    m_error = QStringLiteral("%1 was not mounted in time").arg(point);
    return false;
}

bool TestMounts::canMountFat()
{
    return !QStandardPaths::findExecutable(QStringLiteral("fusefat")).isEmpty()
        && !QStandardPaths::findExecutable(QStringLiteral("mkfs.vfat"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")}).isEmpty();
}

QString TestMounts::mount(Kind kind)
{
    const QString point = m_dir.filePath(QStringLiteral("mount%1").arg(m_points.size()));
    QDir().mkpath(point);
    int code = 0;
    if (kind == Kind::ExFat || kind == Kind::Fat) {
        const bool fat = kind == Kind::Fat;
        const QString image = m_dir.filePath(QStringLiteral("card%1.img").arg(m_points.size()));
        QFile file(image);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(32 * 1024 * 1024)) {
            m_error = QStringLiteral("cannot make the image");
            return QString();
        }
        file.close();
        const QString made = fat ? run(QStringLiteral("mkfs.vfat"), {QStringLiteral("-F"), QStringLiteral("32"), image}, &code)
                                 : run(QStringLiteral("mkfs.exfat"), {image}, &code);
        if (code != 0) {
            m_error = made;
            return QString();
        }
        // Another test may take the free loop device first.
        QString loop;
        for (int attempt = 0; attempt < 20 && loop.isEmpty(); ++attempt) {
            const QString device = run(QStringLiteral("losetup"), {QStringLiteral("-f"), QStringLiteral("--show"), image}, &code);
            if (code == 0 && device.startsWith(QLatin1String("/dev/")))
                loop = device;
            else
                QThread::msleep(100 * (attempt + 1));
        }
        if (loop.isEmpty()) {
            m_error = QStringLiteral("no loop device was free");
            return QString();
        }
        m_loops.append(loop);
        const QString said = fat ? run(QStringLiteral("fusefat"), {QStringLiteral("-o"), QStringLiteral("rw+"), loop, point}, &code)
                                 : run(QStringLiteral("mount.exfat-fuse"), {loop, point}, &code);
        if (code != 0) {
            m_error = said;
            return QString();
        }
        m_points.append(point);
    } else {
        const QString backing = m_dir.filePath(QStringLiteral("backing%1").arg(m_points.size()));
        QDir().mkpath(backing);
        auto *server = new QProcess;
        server->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QStringList arguments{QStringLiteral(TEST_SOURCE_DIR "/mounts/nolinkfs.py"), backing, point};
        if (kind == Kind::NoRenameOver)
            arguments.append(QStringLiteral("--no-rename-over"));
        server->start(QLatin1String(Python), arguments);
        m_servers.append(server);
        m_points.append(point);
    }
    return waitForMount(point) ? point : QString();
}
