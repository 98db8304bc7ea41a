#pragma once

#include "link/ReceivedBytes.h"

#include <QByteArray>
#include <QString>

// The panel's state record: six plain fields that every handler of the window reads and
// writes directly. It lives as long as the window; nothing of it outlasts a run.
struct PanelState
{
    quint8 RepeatCode = 0;    // the held button's repeat code; 0 while none is held
    quint8 AwaitingReply = 0; // 1 from a send until a reply arrives or the reply time-out passes
    quint8 ArrowMode = 0;     // how the arrow buttons time their monitor (0, 1 or 3)
    QString LineSettings;     // the line settings last handed to the port
    QByteArray OutgoingCommand; // the last text sent, carriage return included
    ReceivedBytes ReceiveBuffer;
};
