#pragma once

#include <QList>
#include <QObject>

class PanelButton;
class QWidget;

// The concealed monitor area below the panel: Ctrl+J opens it in full, the view button closes
// it or opens it part way. It changes nothing but the window's depth, the view button and
// whether the controls it cuts off take the focus.
class MonitorView final : public QObject
{
    Q_OBJECT

public:
    // Over the window's own view button, which it finds by name.
    MonitorView(QWidget *window, int dpi);

    // The window's depth, in twips.
    void setDepth(int twips);
    // Ctrl+J.
    void openInFull();
    void Command34_Click();

Q_SIGNALS:
    // The view button has changed the view.
    void toggled();

private:
    bool isOpen() const;

    QWidget *m_window = nullptr;
    PanelButton *m_command34 = nullptr;
    QList<QWidget *> m_cutOff; // the controls the closed view cuts off that take the focus
    int m_dpi = 96;
};
