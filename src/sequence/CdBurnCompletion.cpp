#include "sequence/CdBurnCompletion.h"

#include "core/Clock.h"
#include "core/QuayRegistryObject.h"
#include "core/Services.h"
#include "sequence/SequenceCompletion.h"
#include "sequence/SequenceState.h"
#include "sequence/SequenceWindow.h"
#include "transport/CDBurner.h"

void CdBurnCompletion::OnBurnDone(SequenceWindow& window, SequenceCompletion& completion,
                                  TCDBurner& burner)
{
    SequenceState& state = completion.state();
    const TQuayRegistryObject store;
    window.addStatusLine(QStringLiteral("Verifying files have been burnt..."));
    if (!burner.LastBurnSucceeded())
        state.reportCause(window, QStringLiteral("The burner reported that the burn failed: ") +
                                      burner.LastError());
    bool burnt = false;
    if (store.ReadCloseTray()) {
        // An image file has no tray to close and no disc to settle.
        if (burner.HasTray()) {
            burner.CloseCD();
            Services::clock().waitPumping(WaitAfterCloseMs);
        }
        window.addStatusLine(QString());
        burnt = state.BurnFileList.VerifyBurn(state.PendingLogLines, burner, window);
        // A file listed on the disc may still be unreadable: the session's MD5 sums
        // say whether every file reads back as it was written.
        if (burnt && !burner.CheckDiscMd5()) {
            state.reportCause(window, QStringLiteral("The disc failed its MD5 check."));
            burnt = false;
        }
        window.addStatusLine(QString());
        window.addStatusLine(QStringLiteral("File burning verification complete."));
    } else {
        burnt = state.BurnFileList.CheckStagingEmptied(state.PendingLogLines);
    }
    store.WriteNumberOfFilesInLastSequence(static_cast<int>(state.PendingLogLines.size()));
    if (burnt)
        completion.EndSequenceSucceeded();
    else
        completion.EndSequenceFailed();
}
