#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

#include "platform/files.h"

class RunFolder;

// What the file system says of a file before it is handed to a tool.
struct Admission {
    QString refusal;         // why the file must not reach the tool; empty when it may
    bool finalTaken = false; // something is under the copy's final name already
    std::int64_t size = 0;   // the source's, in bytes
    std::optional<QString> value; // the file's own value, when the job makes one
};

// Only regular files that begin as a JPEG reach the tool (a named pipe or a
// device would keep it waiting for ever, and anything else would only be
// copied), a folder under the final name can never be a copy, and neither
// can a name or a size the results folder's file system cannot hold. Blocks on
// the file system: worker threads only.
Admission admitSource(const QByteArray &sourcePath, const RunFolder &folder,
                      const QByteArray &finalName);

// Empty when the file is a regular file that begins as a JPEG; else why it
// cannot be a source. Never waits on a pipe or a device. Blocks on the file
// system: worker threads only.
QString sourceRefusal(const QByteArray &sourcePath);

// Empty for a regular file; else why a file of that kind is not read.
QString refusalForKind(Platform::FileKind kind);
// Why a file could not be opened or read, from the error.
QString readFailure(int error);

// Empty when the bytes begin a JPEG picture; else what the file is, in words.
QString notJpegReason(const QByteArray &firstBytes);
