// A backup's mail sent to a server whose replies are the input: greeting, EHLO and
// its extensions, log-in, the envelope and the message, twice, then Quit.

#include "FuzzSupport.h"
#include "LoopbackPeer.h"

#include "core/KestrelError.h"
#include "transport/IdMessage.h"
#include "transport/IdSMTP.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ensureFuzzApplication();
    LoopbackPeer peer(fuzzInput(data, size));
    TIdSMTP session;
    session.Host = QStringLiteral("127.0.0.1");
    session.Port = peer.port();
    session.UserId = QStringLiteral("jo");
    session.Password = QStringLiteral("fuzz-password");
    // Every reply is sent before the first is read, so no wait lasts; these only
    // bound a fault of the peer.
    session.setConnectTimeoutMs(5000);
    session.setReplyTimeoutMs(5000);
    try {
        session.Connect();
        TIdMessage message;
        message.From.setText(QStringLiteral("jo@smtp.example.org"));
        message.Recipients.setText(QStringLiteral("Backup <backup@example.org>"));
        message.Subject = QStringLiteral("KestrelSolo Save#1#/home/jo/a.txt");
        message.Body = QStringList{QStringLiteral("line"), QStringLiteral(".")};
        session.Send(message);
        (void)session.refusedForSize();
        session.Send(message);
        session.Disconnect();
        fuzzReport(QStringLiteral("complete"));
    } catch (const KestrelError& error) {
        fuzzReport(error.message());
        (void)session.refusedForSize();
        (void)session.lastRefusal();
    }
    return 0;
}
