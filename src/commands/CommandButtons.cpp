// The one-shot command buttons: a click sends the button's command once.
#include "panel/Form1.h"

#include "Vocabulary.h"

void Form1::commandClick(const vocabulary::Command &command)
{
    m_state.OutgoingCommand = vocabulary::framed(command.text);
    const CommError error = Hyouji(m_state.OutgoingCommand, SendMode);
    if (command.setsArrowTiming) {
        m_timer1->setInterval(vocabulary::kRepeatAfterMenu);
        m_state.ArrowMode = vocabulary::kArrowModeAfterMenu;
    }
    report(error);
}
