#include "filelist/nameorder.h"

#include <algorithm>
#include <vector>

namespace {

bool isDigit(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '9';
}

// Compares two case-folded names, digit runs by their value.
int compareFolded(QStringView a, QStringView b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            while (i < a.size() && a[i] == QLatin1Char('0'))
                ++i;
            while (j < b.size() && b[j] == QLatin1Char('0'))
                ++j;
            qsizetype endA = i, endB = j;
            while (endA < a.size() && isDigit(a[endA]))
                ++endA;
            while (endB < b.size() && isDigit(b[endB]))
                ++endB;
            // Without leading zeros, the longer run is the larger number.
            if (endA - i != endB - j)
                return endA - i < endB - j ? -1 : 1;
            for (; i < endA; ++i, ++j) {
                if (a[i] != b[j])
                    return a[i] < b[j] ? -1 : 1;
            }
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j] ? -1 : 1;
        ++i;
        ++j;
    }
    const qsizetype leftA = a.size() - i, leftB = b.size() - j;
    return leftA == leftB ? 0 : (leftA < leftB ? -1 : 1);
}

// Folds every name once, sorts positions, then puts the names in that order.
template <typename Name, typename ToText>
void sortNames(QList<Name> &names, ToText toText)
{
    if (names.size() < 2)
        return;
    std::vector<QString> folded;
    folded.reserve(size_t(names.size()));
    for (const Name &name : std::as_const(names))
        folded.push_back(toText(name).toCaseFolded());
    std::vector<qsizetype> order(size_t(names.size()));
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = qsizetype(i);
    std::sort(order.begin(), order.end(), [&](qsizetype x, qsizetype y) {
        const int byFolded = compareFolded(folded[size_t(x)], folded[size_t(y)]);
        if (byFolded != 0)
            return byFolded < 0;
        return names.at(x) < names.at(y);
    });
    QList<Name> sorted;
    sorted.reserve(names.size());
    for (const qsizetype at : order)
        sorted.append(std::move(names[at]));
    names = std::move(sorted);
}

} // namespace

void sortByName(QStringList &names)
{
    sortNames(names, [](const QString &name) { return name; });
}

void sortByName(QList<QByteArray> &nativeNames)
{
    sortNames(nativeNames, [](const QByteArray &name) { return QString::fromUtf8(name); });
}
