#include "filelist/nameorder.h"

#include <QString>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Appends a key whose plain byte order is the name order: letters folded to
// one case, and each run of digits as a "0" (where a digit would sort),
// the run's length without leading zeros, then its digits, so that a longer
// number sorts after a shorter one. Large folders are sorted by these keys
// with memcmp alone, which is several times cheaper than comparing names.
void appendKey(std::string &keys, const QByteArray &utf8)
{
    QByteArray folded;
    const QByteArray *name = &utf8;
    if (std::any_of(utf8.cbegin(), utf8.cend(), [](char c) { return uchar(c) >= 0x80; })) {
        folded = QString::fromUtf8(utf8).toCaseFolded().toUtf8();
        name = &folded;
    }
    const char *at = name->constData();
    const char *const end = at + name->size();
    while (at < end) {
        if (!isDigit(*at)) {
            const char c = *at++;
            keys.push_back(c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c);
            continue;
        }
        while (at < end && *at == '0')
            ++at;
        const char *const digits = at;
        while (at < end && isDigit(*at))
            ++at;
        const size_t length = size_t(at - digits);
        keys.push_back('0');
        keys.push_back(char(length >> 8));
        keys.push_back(char(length & 0xff));
        keys.append(digits, length);
    }
}

struct Keyed {
    std::uint32_t offset;
    std::uint32_t length;
    qsizetype index;
};

template <typename Name, typename ToUtf8>
void sortNames(QList<Name> &names, ToUtf8 toUtf8)
{
    if (names.size() < 2)
        return;
    std::string keys;
    keys.reserve(size_t(names.size()) * 24);
    std::vector<Keyed> order;
    order.reserve(size_t(names.size()));
    for (qsizetype i = 0; i < names.size(); ++i) {
        const size_t offset = keys.size();
        appendKey(keys, toUtf8(names.at(i)));
        order.push_back({std::uint32_t(offset), std::uint32_t(keys.size() - offset), i});
    }
    const char *const base = keys.data();
    std::sort(order.begin(), order.end(), [&](const Keyed &x, const Keyed &y) {
        const int byKey = std::memcmp(base + x.offset, base + y.offset, std::min(x.length, y.length));
        if (byKey != 0)
            return byKey < 0;
        if (x.length != y.length)
            return x.length < y.length;
        return names.at(x.index) < names.at(y.index);
    });
    QList<Name> sorted;
    sorted.reserve(names.size());
    for (const Keyed &keyed : order)
        sorted.append(std::move(names[keyed.index]));
    names = std::move(sorted);
}

} // namespace

void sortByName(QStringList &names)
{
    sortNames(names, [](const QString &name) { return name.toUtf8(); });
}

void sortByName(QList<QByteArray> &nativeNames)
{
    sortNames(nativeNames, [](const QByteArray &name) { return name; });
}
