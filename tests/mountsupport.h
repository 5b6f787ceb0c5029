#pragma once

#include <QString>
#include <QTemporaryDir>
#include <memory>

class QProcess;

// Disks as photographers' cards and desktop shares present them, mounted for
// a test through FUSE: an exFAT image through exfat-fuse, and a folder
// without hard links or rename flags. Everything mounted is unmounted, and
// the loop device let go, when this object goes, whatever the test did.
class TestMounts {
public:
    enum class Kind { ExFat, Fat, NoLinks, NoRenameOver };

    TestMounts();
    ~TestMounts();

    // Why these mounts cannot be made here; empty when they can.
    static QString whyNot();
    // FAT through fusefat (and dosfstools) is optional.
    static bool canMountFat();

    // The mount's root, empty when it failed (see error()).
    QString mount(Kind kind);
    QString error() const { return m_error; }

private:
    bool waitForMount(const QString &point);

    QTemporaryDir m_dir;
    QStringList m_loops;
    QStringList m_points;
    QList<QProcess *> m_servers;
    QString m_error;
};
