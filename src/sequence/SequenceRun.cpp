#include "sequence/SequenceRun.h"

#include "sequence/SequenceStatusView.h"

void SequenceRun::reportNotBackedUp(SequenceStatusView& status, const QString& sentence)
{
    if (m_notBackedUpSeen.contains(sentence))
        return;
    m_notBackedUpSeen.insert(sentence);
    notBackedUp.append(sentence);
    if (notBackedUp.size() <= MaxLastingLines)
        status.addLastingStatusLine(sentence);
    else
        status.addStatusLine(sentence);
}
