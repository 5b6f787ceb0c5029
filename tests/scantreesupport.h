#pragma once

// Helpers of the folder-scan tests: small trees in a temporary folder, and
// folders that refuse to be read even when the tests run as root.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <fcntl.h>
#include <unistd.h>

#include "testplatform.h"

// Root reads every folder unless it gives up these capabilities first.
#if __has_include(<linux/capability.h>)
#define OSTRELL_HAS_CAPABILITIES 1
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

// Creates each entry below root: names ending in "/" are folders, the others
// empty files (their folders are made as needed).
inline bool makeTree(const QString &root, const QStringList &entries)
{
    for (const QString &entry : entries) {
        const QString path = root + QLatin1Char('/') + entry;
        if (entry.endsWith(QLatin1Char('/'))) {
            if (!QDir().mkpath(path))
                return false;
            continue;
        }
        if (!QDir().mkpath(QFileInfo(path).absolutePath()))
            return false;
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return false;
    }
    return true;
}

// Makes files and folders unreadable for as long as it lives. Root reads
// everything through its capabilities, so the calling thread gives them up
// meanwhile (threads started later inherit that); enforced() says whether the
// paths really refuse to be read here.
class UnreadablePaths {
public:
    explicit UnreadablePaths(const QStringList &paths)
        : m_paths(paths)
    {
        dropCapabilities();
        for (const QString &path : m_paths)
            m_withdrawn = withdrawReadPermission(path) && m_withdrawn;
    }
    ~UnreadablePaths()
    {
        for (const QString &path : m_paths)
            restoreReadPermission(path);
        restoreCapabilities();
    }
    UnreadablePaths(const UnreadablePaths &) = delete;
    UnreadablePaths &operator=(const UnreadablePaths &) = delete;

    // True when every one of the paths now refuses to open.
    bool enforced() const
    {
        if (!m_withdrawn)
            return false;
        for (const QString &path : m_paths) {
            const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
            if (fd >= 0) {
                ::close(fd);
                return false;
            }
        }
        return !m_paths.isEmpty();
    }

private:
#ifdef OSTRELL_HAS_CAPABILITIES
    void dropCapabilities()
    {
        if (::geteuid() != 0)
            return;
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        if (::syscall(SYS_capget, &header, m_saved) != 0)
            return;
        __user_cap_data_struct lowered[2] = {m_saved[0], m_saved[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        m_dropped = ::syscall(SYS_capset, &header, lowered) == 0;
    }
    void restoreCapabilities()
    {
        if (!m_dropped)
            return;
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        ::syscall(SYS_capset, &header, m_saved);
    }
    __user_cap_data_struct m_saved[2] = {};
    bool m_dropped = false;
#else
    void dropCapabilities() {}
    void restoreCapabilities() {}
#endif

    QStringList m_paths;
    bool m_withdrawn = true;
};
