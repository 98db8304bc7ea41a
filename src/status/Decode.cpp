#include "Decode.h"

#include "commands/Vocabulary.h"
#include "wire/Framing.h"
#include "wire/Rendering.h"
#include "wire/Text.h"

#include <QStringBuilder>

#include <array>
#include <string_view>

namespace {

// No reading goes past position 34 of the rendering, and every byte renders as at least two
// positions after the leading one: the first 17 bytes are all a reply is read from.
constexpr qsizetype kPositionsRead = 34;
constexpr qsizetype kBytesRead = kPositionsRead / 2;
static_assert(tolvek::kRenderLead.size() + 2 * kBytesRead >= kPositionsRead);

// Positions a to b (from 1) of t, cut short at its end; never fails.
QStringView positions(QStringView t, qsizetype a, qsizetype b)
{
    if (t.size() < a)
        return {};
    return t.sliced(a - 1, std::min(b, t.size()) - a + 1);
}

template <std::size_t N>
QString lookUp(const std::array<decode::Word, N> &words, qsizetype width, QStringView t, const QString &current)
{
    const QStringView key = t.first(std::min(width, t.size()));
    QString line = current;
    for (const decode::Word &w : words) // independent tests, as the codes are distinct
        if (key == latin1(w.rendered))
            line = latin1(w.text);
    return line;
}

const vocabulary::Query *queryAnswered(QByteArrayView sent)
{
    for (const vocabulary::Query &q : vocabulary::kQueries)
        if (sent == framed(q.text))
            return &q;
    return nullptr;
}

} // namespace

QString decodeStatus(QByteArrayView sent, QByteArrayView received, const QString &statusLine)
{
    const vocabulary::Query *query = queryAnswered(sent);
    return query ? decodeReading(*query, received, statusLine) : statusLine;
}

QString decodeReading(const vocabulary::Query &query, QByteArrayView received, const QString &statusLine)
{
    const QString t = tolvek::render(received.first(std::min(received.size(), kBytesRead)));

    switch (query.reading) {
    case vocabulary::Reading::Status:
        return lookUp(decode::kStatusWords, 4, t, statusLine);
    case vocabulary::Reading::Mode:
        return lookUp(decode::kModeWords, 2, t, statusLine);
    case vocabulary::Reading::Temperatures:
        return QStringLiteral("  S1=") % positions(t, 1, 10) % QLatin1StringView(" C ,  S2=") % positions(t, 15, 22)
            % QLatin1StringView(" C ,  S3=") % positions(t, 26, 34) % QLatin1StringView(" C");
    case vocabulary::Reading::Setting:
        return lookUp(decode::kSettingWords, 4, t, statusLine);
    case vocabulary::Reading::LampTime:
        return positions(t, 1, 8) % QLatin1StringView(" Hour");
    }
    Q_UNREACHABLE();
}
