#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Sorts names in the order people read them: runs of digits compared as
// numbers (IMG_2 before IMG_10), letters without regard to case. Names that
// still tie ("a.jpg" and "A.jpg", "IMG_01" and "IMG_1") follow their exact
// characters, so the order never depends on the order the names came in.
void sortByName(QStringList &names);
// File-system bytes, read as UTF-8 for the order; ties by the bytes.
void sortByName(QList<QByteArray> &nativeNames);
