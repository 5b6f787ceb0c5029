#pragma once

#include <QString>
#include <QTemporaryDir>
#include <memory>

class QProcess;

// Disks as photographers' cards and desktop shares present them, mounted for
// a test through FUSE: an exFAT image through exfat-fuse, and a folder
// without hard links or rename flags. A mount can be pulled (its FUSE server
// killed, as when a card leaves its slot) and mounted again from the same
// image or folder. Everything mounted is unmounted, and the loop device let
// go, when this object goes, whatever the test did.
class TestMounts {
public:
    enum class Kind { ExFat, Fat, NoLinks, NoRenameOver };

    TestMounts();
    ~TestMounts();

    // Why these mounts cannot be made here; empty when they can.
    static QString whyNot();
    // FAT through fusefat (and dosfstools) is optional.
    static bool canMountFat();

    struct Options {
        qint64 imageBytes = 32 * 1024 * 1024; // ExFat and Fat
        int writeDelayMs = 0;                 // per 4 KiB written; NoLinks and NoRenameOver
        // NoLinks and NoRenameOver: while this file exists, a write past the
        // first 4 KiB of a file outside hidden folders waits for it to go;
        // the file's name with ".held" appended then says one waits.
        QString holdWhile;
    };

    // The mount's root, empty when it failed (see error()).
    QString mount(Kind kind) { return mount(kind, Options()); }
    QString mount(Kind kind, const Options &options);
    // Kills the mount's FUSE server without a word to it: what it had not
    // yet written to its disk is lost, and the mount answers ENOTCONN.
    bool pull(const QString &point);
    // Mounts a pulled disk again at the same place.
    bool remount(const QString &point);
    QString error() const { return m_error; }

private:
    struct Mount {
        Kind kind;
        Options options;
        QString point;
        QString loop;    // the image's loop device, for ExFat and Fat
        QString backing; // the served folder, for the others
        QProcess *server = nullptr;
    };

    bool start(Mount &mount);
    bool waitForMount(const QString &point);
    Mount *find(const QString &point);

    QTemporaryDir m_dir;
    QList<Mount> m_mounts;
    QString m_error;
};
