#include "writer/engine/nameclaims.h"

void NameClaims::clear()
{
    m_claims.clear();
    m_writtenBy.clear();
    m_waiting.clear();
}

void NameClaims::claim(const QByteArray &name, quint64 file)
{
    m_claims[name].append(file);
}

bool NameClaims::mayPublish(const QByteArray &name, quint64 file)
{
    const QList<quint64> claims = m_claims.value(name);
    if (claims.isEmpty() || claims.first() == file)
        return true;
    m_waiting.insert(file);
    return false;
}

quint64 NameClaims::release(const QByteArray &name, quint64 file, bool written,
                            const QString &source)
{
    m_waiting.remove(file);
    if (written && !m_writtenBy.contains(name))
        m_writtenBy.insert(name, source);
    auto claims = m_claims.find(name);
    if (claims == m_claims.end())
        return 0;
    claims->removeOne(file);
    if (claims->isEmpty()) {
        m_claims.erase(claims);
        return 0;
    }
    const quint64 next = claims->first();
    return m_waiting.remove(next) ? next : 0;
}
