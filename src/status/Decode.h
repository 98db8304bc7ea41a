#pragma once

#include "commands/Vocabulary.h"

#include <QByteArrayView>
#include <QString>

#include <array>
#include <span>
#include <string_view>

// Turns the reply to the last status query into words for the status line. It reads the
// monitor rendering of the received bytes, not the bytes, and never converts a number:
// what the projector said is shown as it was said.
//
// sent: the last text sent, carriage return included; received: the bytes that came after it,
// positions counted from the first; statusLine: the status line as it stands. Returns the new status
// line, which is statusLine itself when the reply means nothing to the query (or nothing was
// asked).
QString decodeStatus(QByteArrayView sent, QByteArrayView received, const QString &statusLine);

// The same for a reply known to answer the query.
QString decodeReading(const vocabulary::Query &query, QByteArrayView received, const QString &statusLine);

// The words of the codes, by the first positions of their rendering.
namespace decode {

struct Word
{
    std::string_view rendered; // the first positions of the rendering
    std::string_view text;
};

constexpr auto kStatusWords = std::to_array<Word>({
    {" 0 0", " Power ON"},
    {" 8 0", " Stand by"},
    {" 4 0", " Count down"},
    {" 2 0", " Cooling down"},
    {" 1 0", " Power abnormality"},
    {" 8 8", " Temperature abnormality"},
    {" 0 8", " Temperature abnormality"},
    {" 2 4", " Power Management Cooling"},
    {" 0 4", " Power Management"},
    {" 2 8", " Temperature abnormality"},
    {" 0 2", " Key input prohibition"},
});

constexpr auto kModeWords = std::to_array<Word>({
    {" 1", " Computer"},
    {" 3", " Video"},
});

constexpr auto kSettingWords = std::to_array<Word>({
    {" 1 1", " Normally"},
    {" 1 0", " Top/Bottom reversal"},
    {" 0 1", " Left/Right reversal"},
    {" 0 0", " Top/Bottom , Left/Right reversal"},
});

constexpr std::span<const Word> wordsOf(vocabulary::Reading reading)
{
    switch (reading) {
    case vocabulary::Reading::Status:
        return kStatusWords;
    case vocabulary::Reading::Mode:
        return kModeWords;
    case vocabulary::Reading::Setting:
        return kSettingWords;
    case vocabulary::Reading::LampTime:
    case vocabulary::Reading::Temperatures:
        return {};
    }
    Q_UNREACHABLE();
}

// Whether the reading can give these words (as the status line shows them, trimmed).
constexpr bool givesWords(vocabulary::Reading reading, std::string_view words)
{
    for (const Word &w : wordsOf(reading))
        if (w.text.substr(1) == words)
            return true;
    return false;
}

} // namespace decode
