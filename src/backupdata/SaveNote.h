#pragma once

#include <QString>

class TIdMessage;

// The addresses and subject of the message that carries a file's archive.
namespace SaveNote {

// The address every message of the program is sent from (save notes and requests).
QString sender();
QString recipient();
// "KestrelSolo Save#<machine>#<path>", or in the client edition
// "KestrelClient Save#" and the last-log name.
QString subject(const QString& fileName, int id);
// The name under which the last backed-up log can be requested:
// "<user ID>#<machine>#<quay name>#<id>#<name part>".
QString lastLogName(const QString& fileName, int id);
// Sender, recipient and subject set on message; a name with a line break, which would
// end the subject header early, is refused with a KestrelError.
void address(TIdMessage& message, const QString& fileName, int id);

} // namespace SaveNote
