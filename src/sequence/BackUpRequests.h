#pragma once

#include <QString>

#include <functional>

class TIdMessage;

// The two request e-mails: one asks the backup mailbox for the last saved log, the
// other for one saved copy picked in the log tree. A request only carries a subject
// that names the copy; answering it lies with the receiving side.
class BackUpRequests
{
public:
    // "Kestrel Request#" + LastBackUpLogFileName + ".zip".
    static QString lastLogSubject();
    // "Kestrel Request#<UserID>#<machine number>#<UserQuayName>#<id>#<file>", the id
    // taken from a record node's text ("ID: 0, Back up date: ...") and the file from
    // its parent node's text.
    static QString fileSubject(const QString& recordNodeText, const QString& fileNodeText);

    // "Get Last Log File": asks, sends, and offers to disconnect; on Yes the caller's
    // hang-up-and-shut-down step runs. Failures are shown, never thrown.
    static void requestLastLog(TIdMessage& message,
                               const std::function<void()>& hangUpAndShutDownIfSet);
    // "Send Back Up Request" for the selected log tree node; nodeHasChildren tells a
    // drive, folder or file node from a saved copy.
    static void requestFile(TIdMessage& message, const QString& recordNodeText,
                            const QString& fileNodeText, bool nodeHasChildren);

private:
    static void address(TIdMessage& message, const QString& subject);
};
