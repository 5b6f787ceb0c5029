#include "mountsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <cerrno>
#include <cstring>
#include <csignal>
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
    for (const Mount &mount : std::as_const(m_mounts)) {
        int code = 1;
        for (int attempt = 0; attempt < 10 && code != 0; ++attempt) {
            run(QStringLiteral("umount"), {mount.point}, &code);
            if (code != 0)
                QThread::msleep(200);
        }
        // A lazy unmount lets go even of a mount a stuck reader still holds,
        // but may keep the disk busy: only when nothing else worked.
        if (code != 0)
            run(QStringLiteral("umount"), {QStringLiteral("-l"), mount.point});
        if (mount.server) {
            if (!mount.server->waitForFinished(5000))
                mount.server->kill();
            mount.server->waitForFinished(5000);
            delete mount.server;
        }
        if (!mount.loop.isEmpty())
            run(QStringLiteral("losetup"), {QStringLiteral("-d"), mount.loop});
    }
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
    // By its path: through a dead mount ".." does not answer.
    const dev_t parent = deviceOf(QFileInfo(point).absolutePath());
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 20000) {
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

TestMounts::Mount *TestMounts::find(const QString &point)
{
    for (Mount &mount : m_mounts)
        if (mount.point == point)
            return &mount;
    return nullptr;
}

QString TestMounts::mount(Kind kind, const Options &options)
{
    Mount mount{kind, options, m_dir.filePath(QStringLiteral("mount%1").arg(m_mounts.size())), {}, {}, nullptr};
    QDir().mkpath(mount.point);
    int code = 0;
    if (kind == Kind::ExFat || kind == Kind::Fat) {
        const bool fat = kind == Kind::Fat;
        const QString image = m_dir.filePath(QStringLiteral("card%1.img").arg(m_mounts.size()));
        QFile file(image);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(options.imageBytes)) {
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
        for (int attempt = 0; attempt < 20 && mount.loop.isEmpty(); ++attempt) {
            const QString device = run(QStringLiteral("losetup"), {QStringLiteral("-f"), QStringLiteral("--show"), image}, &code);
            if (code == 0 && device.startsWith(QLatin1String("/dev/")))
                mount.loop = device;
            else
                QThread::msleep(100 * (attempt + 1));
        }
        if (mount.loop.isEmpty()) {
            m_error = QStringLiteral("no loop device was free");
            return QString();
        }
    } else {
        mount.backing = m_dir.filePath(QStringLiteral("backing%1").arg(m_mounts.size()));
        QDir().mkpath(mount.backing);
    }
    m_mounts.append(mount);
    return start(m_mounts.last()) ? mount.point : QString();
}

bool TestMounts::start(Mount &mount)
{
    int code = 0;
    if (mount.kind == Kind::ExFat || mount.kind == Kind::Fat) {
        const QString said = mount.kind == Kind::Fat
            ? run(QStringLiteral("fusefat"), {QStringLiteral("-o"), QStringLiteral("rw+"), mount.loop, mount.point}, &code)
            : run(QStringLiteral("mount.exfat-fuse"), {mount.loop, mount.point}, &code);
        if (code != 0) {
            m_error = said;
            return false;
        }
    } else {
        delete mount.server;
        mount.server = new QProcess;
        mount.server->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QStringList arguments{QStringLiteral(TEST_SOURCE_DIR "/mounts/nolinkfs.py"), mount.backing, mount.point};
        if (mount.kind == Kind::NoRenameOver)
            arguments.append(QStringLiteral("--no-rename-over"));
        if (mount.options.writeDelayMs > 0)
            arguments << QStringLiteral("--write-delay-ms") << QString::number(mount.options.writeDelayMs);
        if (!mount.options.holdWhile.isEmpty())
            arguments << QStringLiteral("--hold-while") << mount.options.holdWhile;
        mount.server->start(QLatin1String(Python), arguments);
    }
    return waitForMount(mount.point);
}

bool TestMounts::pull(const QString &point)
{
    Mount *mount = find(point);
    if (!mount) {
        m_error = QStringLiteral("%1 is not a test mount").arg(point);
        return false;
    }
    if (mount->server) {
        mount->server->kill();
        mount->server->waitForFinished(5000);
        return true;
    }
    // exfat-fuse and fusefat leave the foreground: find the server by the
    // mount point on its command line.
    const QByteArray wanted = QFile::encodeName(point);
    QStringList killed;
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (pid.toInt() <= 0 || !cmdline.open(QIODevice::ReadOnly))
            continue;
        if (cmdline.readAll().split('\0').contains(wanted)) {
            ::kill(pid.toInt(), SIGKILL);
            killed.append(pid);
        }
    }
    if (killed.isEmpty())
        m_error = QStringLiteral("no FUSE server was found for %1").arg(point);
    // Gone for good before anything mounts the disk again.
    QElapsedTimer waited;
    waited.start();
    for (const QString &pid : std::as_const(killed))
        while (QFileInfo::exists(QStringLiteral("/proc/%1/cmdline").arg(pid)) && waited.elapsed() < 10000)
            QThread::msleep(20);
    return !killed.isEmpty();
}

bool TestMounts::remount(const QString &point)
{
    Mount *mount = find(point);
    if (!mount)
        return false;
    // The dead mount goes first; waiting until it is gone keeps
    // waitForMount() from taking it for the new one.
    const QString parent = QFileInfo(point).absolutePath();
    QElapsedTimer waited;
    waited.start();
    // A loaded machine may be slow to let the dead mount go, or to bring up
    // the new one: a few tries.
    do {
        run(QStringLiteral("umount"), {QStringLiteral("-l"), point});
        if (deviceOf(point) == deviceOf(parent)) {
            if (start(*mount))
                return true;
            if (mount->kind == Kind::ExFat || mount->kind == Kind::Fat)
                pull(point);
        }
        QThread::msleep(200);
    } while (waited.elapsed() < 60000);
    m_error = QStringLiteral("%1 could not be unmounted after the pull").arg(point);
    return false;
}
