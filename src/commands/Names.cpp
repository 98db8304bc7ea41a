#include "Names.h"

#include "wire/Text.h"

#include <algorithm>
#include <vector>

namespace vocabulary {

namespace {

// Further than this many edits a name is no longer a slip of the keyboard; shorter names
// allow fewer, or every short name would be close to every other.
constexpr qsizetype kMaxEdits = 2;
constexpr qsizetype kShortName = 4;
// A part this short ("a", "o") begins too many names to point at any of them, and one this
// short and a keystroke away from a word ("up", "on") would point at half of them.
constexpr qsizetype kShortestPart = 2;

qsizetype editDistance(QStringView a, QStringView b)
{
    std::vector<qsizetype> row(std::size_t(b.size()) + 1);
    for (qsizetype j = 0; j <= b.size(); ++j)
        row[std::size_t(j)] = j;
    for (qsizetype i = 1; i <= a.size(); ++i) {
        qsizetype diagonal = row[0];
        row[0] = i;
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const qsizetype above = row[std::size_t(j)];
            row[std::size_t(j)] =
                std::min({above + 1, row[std::size_t(j - 1)] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[std::size_t(b.size())];
}

bool sharesAPart(QStringView given, QStringView name)
{
    if (given.size() < kShortestPart)
        return false;
    if (name.startsWith(given) || given.startsWith(name) || name.endsWith(given))
        return true;
    // One of the name's words, or nearly: "mute", "powr".
    if (given.size() <= kShortestPart)
        return false;
    const QList<QStringView> words = name.split(u'-');
    return std::any_of(words.begin(), words.end(), [given](QStringView w) { return editDistance(given, w) <= 1; });
}

} // namespace

QList<Named> everyName()
{
    QList<Named> names;
    for (const Command &c : kCommands)
        names.append({c.name, c.button, c.caption, c.text});
    for (const Query &q : kQueries)
        names.append({q.name, q.button, q.caption, q.text, &q});
    return names;
}

std::optional<Named> findName(QStringView name)
{
    for (const Named &n : everyName())
        if (name == latin1(n.name))
            return n;
    return std::nullopt;
}

QStringList closeNames(QStringView name)
{
    const QString given = name.toString().toLower();
    const qsizetype allowed = given.size() <= kShortName ? 1 : kMaxEdits;
    std::vector<std::pair<qsizetype, QString>> close;
    for (const Named &n : everyName()) {
        const QString candidate = latin1(n.name);
        const qsizetype edits = editDistance(given, candidate);
        if (edits <= allowed || sharesAPart(given, candidate))
            close.emplace_back(edits, candidate);
    }
    std::stable_sort(close.begin(), close.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    QStringList names;
    for (const auto &[edits, candidate] : close)
        names.append(candidate);
    return names;
}

} // namespace vocabulary
