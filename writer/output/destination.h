#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

// What the results folder's file system can do and hold, found once per run
// by trying it in the run folder, and kept for the run.
struct Destination {
    // The strongest way the folder allows to give a copy its final name
    // without ever replacing a file.
    enum class Way {
        NoReplaceRename, // renameat2(RENAME_NOREPLACE)
        Link,            // a hard link, then the temporary name removed
        Claim,           // the name created empty and exclusively first
        None,            // not even an exclusive create: nothing can be written
    };
    Way way = Way::NoReplaceRename;
    bool renameOverClaim = true;  // a rename may replace the claim; else it is filled
    bool caseInsensitive = false; // "IMG_1.JPG" and "img_1.jpg" are one name
    bool windowsNames = false;    // refuses " * : < > ? \ |, control characters, trailing dots and
                                  // blanks, and device names (CON, NUL.jpg, COM1.jpg...)
    bool stableFileNumbers = true; // a file keeps its inode number across mounts
    std::int64_t largestFile = 0; // in bytes; 0: no limit worth checking
    QByteArray type;              // as the system names it
    int error = 0;                // why an exclusive create failed (Way::None)

    // "exFAT through FUSE", "FAT", "ext4": the file system, as reasons name it.
    QString shownType() const;
};

// What the table knows of a file system type; the probe adds what it sees.
Destination rulesForType(const QByteArray &type);

// Tries the ways in the run folder, with files of its own that it removes again.
Destination probeDestination(int runFolder, const QByteArray &type);

// Why the file system cannot hold a file of this name, in plain words; empty
// when it can. The name alone tells.
QString nameRefusal(const Destination &destination, const QByteArray &name);

// Two names the destination takes for one.
bool sameNameThere(const Destination &destination, const QByteArray &a, const QByteArray &b);
QString foldedName(const QByteArray &name);
