#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Turns the reply to the last status query into words for the status line. It reads the
// monitor rendering of the received bytes, not the bytes, and never converts a number:
// what the projector said is shown as it was said.
//
// sent: the last text sent, carriage return included; rendered: the received line as the
// monitor shows it; statusLine: the status line as it stands. Returns the new status line,
// which is statusLine itself when the reply means nothing to the query (or nothing was asked).
QString decodeStatus(QByteArrayView sent, QStringView rendered, const QString &statusLine);

// How far into the rendering the decoding ever reads.
inline constexpr qsizetype kDecodedPrefix = 34;
