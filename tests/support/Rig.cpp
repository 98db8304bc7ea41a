#include "Rig.h"
#include "link/LineFormat.h"

#include <QtTest>

Rig::Rig()
{
    // The messages name the devices; tests never name a real one.
    qputenv("TOLVEK_COM1", "/nonexistent/tolvek-com1");
    qputenv("TOLVEK_COM2", "/nonexistent/tolvek-com2");
    QObject::connect(&transfer, &Transfer::sentLineChanged, [this](const QString &t) { txd = t; });
    QObject::connect(&transfer, &Transfer::receivedLineChanged, [this](const QString &t) { rxd = t; });
    QObject::connect(
        &transfer, &Transfer::receivedLineEdited,
        [this](qsizetype at, qsizetype count, const QString &added) { rxd.remove(at, count).append(added); });
    QObject::connect(&repeater, &Repeater::failed, [this](const QString &m) { failures.append(m); });
    (void)ports.chooseSpeed(kSettings19200);
    ports.choosePort(1, 2);
}

void Rig::note(const CommError &error)
{
    if (error)
        failures.append(*error);
}

void Rig::click(const char *button)
{
    for (const vocabulary::Query &q : vocabulary::kQueries)
        if (q.button == button)
            return note(status.ask(q));
    note(repeater.click(commandOf(button)));
}

void Rig::press(const char *button)
{
    note(repeater.press(commandOf(button)));
}

void Rig::release(const char *button)
{
    repeater.release(commandOf(button));
}

const vocabulary::Command &commandOf(const char *button)
{
    for (const vocabulary::Command &c : vocabulary::kCommands)
        if (c.button == button)
            return c;
    qFatal("no command on %s", button);
}

bool isHold(const char *button)
{
    return std::any_of(vocabulary::kCommands.begin(), vocabulary::kCommands.end(),
                       [button](const vocabulary::Command &c) {
                           return c.button == button && c.activation == vocabulary::Activation::Hold;
                       });
}
