#pragma once

#include <QString>

class TIdMessage;

// The identity every message carries: a Message-ID of its own (RFC 5322 section
// 3.6.4; many providers refuse or junk mail without one) and, on save notes, the
// identifier of the set the note belongs to. All messages of one sending of an
// archive share the set identifier, so the parts of a file can be told apart from
// those of another sending however the server orders their delivery.
namespace MessageIdentity {

// 32 lowercase hexadecimal digits: 128 random bits, new for every call.
QString newSetId();
// The part after the last "@" of an address, or "localhost" when there is none.
QString domainOf(const QString& address);
// "<set.part.count@domain>" for a save note, "<random@domain>" for a request.
QString noteMessageId(const QString& setId, int part, int count, const QString& sender);
QString requestMessageId(const QString& sender);

// Stamps a save note (part `part` of `count`; a whole archive is part 1 of 1) with
// the set header and its Message-ID, from the message's own sender.
void stampNote(TIdMessage& message, const QString& setId, int part, int count);
// Stamps a request with a Message-ID of its own and no set header: the message
// object may have carried a save note before.
void stampRequest(TIdMessage& message);

inline const QString SetHeader = QStringLiteral("X-Kestrel-Set");
inline const QString MessageIdHeader = QStringLiteral("Message-ID");

} // namespace MessageIdentity
