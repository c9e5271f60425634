#include "sequence/SequenceRun.h"

#include "sequence/SequenceWindow.h"

void SequenceRun::reportNotBackedUp(SequenceWindow& window, const QString& sentence)
{
    if (m_notBackedUpSeen.contains(sentence))
        return;
    m_notBackedUpSeen.insert(sentence);
    notBackedUp.append(sentence);
    if (notBackedUp.size() <= MaxLastingLines)
        window.addLastingStatusLine(sentence);
    else
        window.addStatusLine(sentence);
}
