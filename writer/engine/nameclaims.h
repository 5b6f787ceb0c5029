#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

// Who may give a copy its final name. Several listed files can share one
// name: the first in list order is published first, whatever the tools'
// timing, and once a file is written there the later ones are turned away.
class NameClaims {
public:
    void clear();

    // Files claim their names in list order.
    void claim(const QByteArray &name, quint64 file);
    // The source already written under the name in this run; empty if none.
    QString writtenBy(const QByteArray &name) const { return m_writtenBy.value(name); }

    // Whether the file may publish now. If not, it waits until the files
    // before it are resolved, and release() hands it back.
    bool mayPublish(const QByteArray &name, quint64 file);
    // The file is resolved (written or not). Gives the waiting file that may
    // go on now, 0 when there is none.
    quint64 release(const QByteArray &name, quint64 file, bool written, const QString &source);

private:
    QHash<QByteArray, QList<quint64>> m_claims; // name -> files, in list order
    QHash<QByteArray, QString> m_writtenBy;     // name -> the source written there
    QSet<quint64> m_waiting;
};
