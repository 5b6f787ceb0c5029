#pragma once

#include <QByteArray>
#include <QString>

// What the file system says of a file before it is handed to a tool.
struct Admission {
    QString refusal;        // why the file must not reach the tool; empty when it may
    bool finalTaken = false; // something is under the copy's final name already
};

// Only regular files reach the tool (a named pipe or a device would keep it
// waiting for ever), and a folder under the final name can never be a copy.
Admission admitSource(const QByteArray &sourcePath, const QByteArray &finalPath);
