#include "writer/engine/filesinflight.h"

#include <algorithm>

Flight &FilesInFlight::add(quint64 serial, const WriteJob &job)
{
    Flight &flight = m_flights[serial];
    flight.job = job;
    return flight;
}

Flight *FilesInFlight::find(quint64 serial)
{
    const auto found = m_flights.find(serial);
    return found == m_flights.end() ? nullptr : &found->second;
}

std::optional<Flight> FilesInFlight::take(quint64 serial)
{
    const auto found = m_flights.find(serial);
    if (found == m_flights.end())
        return std::nullopt;
    Flight flight = std::move(found->second);
    m_flights.erase(found);
    m_forTool.removeAll(serial);
    return flight;
}

void FilesInFlight::clear()
{
    m_flights.clear();
    m_forTool.clear();
}

QList<quint64> FilesInFlight::serials(const std::function<bool(const Flight &)> &picked) const
{
    QList<quint64> found;
    for (const auto &[serial, flight] : m_flights)
        if (picked(flight))
            found.append(serial);
    return found;
}

int FilesInFlight::oldestInTool() const
{
    int oldest = 0;
    for (const auto &entry : m_flights)
        if (entry.second.phase == Flight::Phase::InTool && (oldest == 0 || entry.second.job.position < oldest))
            oldest = entry.second.job.position;
    return oldest;
}

bool FilesInFlight::roomForAnother(int tools, int commandsPerTool) const
{
    const auto publishing = std::count_if(m_flights.cbegin(), m_flights.cend(), [](const auto &entry) {
        return entry.second.phase == Flight::Phase::Publishing;
    });
    const int feeding = int(m_flights.size() - size_t(publishing));
    return feeding < tools * (commandsPerTool + 1) && int(m_flights.size()) < tools * (commandsPerTool + 8);
}

void FilesInFlight::queueForTool(quint64 serial)
{
    Flight &flight = m_flights.at(serial);
    flight.phase = Flight::Phase::ForTool;
    const auto later = std::find_if(m_forTool.begin(), m_forTool.end(), [&](quint64 other) {
        return m_flights.at(other).job.position > flight.job.position;
    });
    m_forTool.insert(later, serial);
}
