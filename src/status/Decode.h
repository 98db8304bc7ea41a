#pragma once

#include <QByteArrayView>
#include <QString>

// Turns the reply to the last status query into words for the status line. It reads the
// monitor rendering of the received bytes, not the bytes, and never converts a number:
// what the projector said is shown as it was said.
//
// sent: the last text sent, carriage return included; received: the bytes that came after it,
// positions counted from the first; statusLine: the status line as it stands. Returns the new status
// line, which is statusLine itself when the reply means nothing to the query (or nothing was
// asked).
QString decodeStatus(QByteArrayView sent, QByteArrayView received, const QString &statusLine);
