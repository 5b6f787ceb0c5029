#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>

#include "writer/engine/writejob.h"

// One listed file from the moment the run takes it in until it is resolved.
struct Flight {
    enum class Phase { Admitting, ForTool, InTool, AskingDisk, Publishing };
    WriteJob job;
    Phase phase = Phase::Admitting;
    QByteArray output;    // the tool's output in the run folder
    bool toolRan = false;
    QString noteWords;
    QString noteLines;
    std::int64_t size = 0; // the source's
};

// The files of a run not yet resolved, by serial, and those waiting for a
// tool in list order, so an earlier file is never overtaken by a later one.
class FilesInFlight {
public:
    Flight &add(quint64 serial, const WriteJob &job);
    Flight *find(quint64 serial);
    // Takes the file out; nothing when it is resolved already.
    std::optional<Flight> take(quint64 serial);
    void clear();
    bool empty() const { return m_flights.empty(); }

    // The files in a phase the test picks, in serial order.
    QList<quint64> serials(const std::function<bool(const Flight &)> &picked) const;
    // The position of the file that has been in a tool longest, 0 when none.
    int oldestInTool() const;
    // Files on their way to a tool are enough to keep every tool fed; copies
    // waiting for the disk get more room, so a slow sync never starves the
    // tools. Either way a long list costs no memory.
    bool roomForAnother(int tools, int commandsPerTool) const;

    void queueForTool(quint64 serial);
    bool anyForTool() const { return !m_forTool.isEmpty(); }
    quint64 takeForTool() { return m_forTool.takeFirst(); }
    QList<quint64> takeAllForTool() { return std::exchange(m_forTool, {}); }

private:
    std::map<quint64, Flight> m_flights;
    QList<quint64> m_forTool;
};
