#include "Harness.h"

#include <QTest>

Harness::~Harness()
{
    form.reset();
}

Form1 &Harness::start()
{
    Form1::Services services;
    services.comm.reset(comm);
    services.makeTimer = clock.factory();
    services.warn = [this](QWidget *, const QString &, const QString &text) {
        warnings.append(text);
        boxesUp = std::max(boxesUp, ++m_open);
        if (whileWarning) // as a box's own event loop would run timers
            whileWarning();
        --m_open;
    };
    qputenv("TOLVEK_COM1", "/nonexistent/tolvek-com1");
    qputenv("TOLVEK_COM2", "/nonexistent/tolvek-com2");
    form = std::make_unique<Form1>(std::move(services));
    form->start();
    return *form;
}

std::unique_ptr<Harness> Harness::started()
{
    auto h = std::make_unique<Harness>();
    h->start();
    h->comm->writes.clear();
    return h;
}

void Harness::click(const char *name) const
{
    QTest::mouseClick(button(name), Qt::LeftButton);
}

void Harness::press(const char *name, Qt::MouseButton mouseButton) const
{
    QTest::mousePress(button(name), mouseButton);
}

void Harness::release(const char *name, Qt::MouseButton mouseButton) const
{
    QTest::mouseRelease(button(name), mouseButton);
}

QByteArrayList Harness::takeWrites()
{
    return std::exchange(comm->writes, {});
}
