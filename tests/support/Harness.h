#pragma once

#include "FakeCommControl.h"
#include "Rig.h"
#include "VirtualClock.h"
#include "panel/Form1.h"
#include "panel/MonitorLine.h"
#include "panel/PanelButton.h"

#include <QStringList>

#include <memory>

// A panel on a fake port and a virtual clock, its warning boxes caught as text.
struct Harness
{
    using ms = std::chrono::milliseconds;

    // Set up what the fake port will do at start-up before calling start().
    FakeCommControl *comm = new FakeCommControl;
    VirtualClock clock;
    QStringList warnings;
    std::function<void()> whileWarning; // runs while a box is up
    int boxesUp = 0;                    // the most ever up at once
    std::unique_ptr<Form1> form;

    Harness() = default;
    Harness(const Harness &) = delete;
    Harness &operator=(const Harness &) = delete;
    ~Harness();

    Form1 &start();
    // A started panel with the writes of start-up forgotten.
    static std::unique_ptr<Harness> started();

    template <typename T = QWidget>
    T *control(const char *name) const
    {
        return form->findChild<T *>(QLatin1StringView(name));
    }
    PanelButton *button(const char *name) const { return control<PanelButton>(name); }
    QString line(const char *name) const { return control<MonitorLine>(name)->text(); }
    QString txd() const { return line("Label11"); }
    QString rxd() const { return line("Label12"); }
    QString status() const { return line("Label25"); }

    void advance(int milliseconds) { clock.advance(ms{milliseconds}); }
    void click(const char *name) const;
    void press(const char *name, Qt::MouseButton button = Qt::LeftButton) const;
    void release(const char *name, Qt::MouseButton button = Qt::LeftButton) const;
    // What went on the line since the last call.
    QByteArrayList takeWrites();

private:
    int m_open = 0;
};
