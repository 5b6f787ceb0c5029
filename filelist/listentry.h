#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <optional>

#include "platform/filenames.h"

// One file of the list. The file system names files by bytes, which need not
// be valid text; the entry keeps those bytes beside the text it shows, so a
// name like Latin-1 "caf\xe9.jpg" still reaches the file it names.
struct ListEntry {
    QString text;    // shown and compared; invalid sequences become U+FFFD
    QByteArray path; // the name's native bytes
    std::optional<QString> value = std::nullopt; // its own value, from a spreadsheet

    static ListEntry fromText(const QString &text) { return {text, Platform::encodeName(text)}; }
    static ListEntry fromNative(const QByteArray &path) { return {QString::fromUtf8(path), path}; }
};

using ListEntries = QList<ListEntry>;
