#include "transport/ImapMailboxReader.h"

#include "core/KestrelError.h"
#include "core/QuayRegistryObject.h"
#include "core/WholeWrite.h"
#include "transport/Base64StreamDecoder.h"
#include "transport/ImapSession.h"
#include "transport/ServerCertificateTrust.h"

#include <QBuffer>
#include <QMap>

namespace {

bool passesThrough(const QByteArray& encoding)
{
    return encoding.isEmpty() || encoding == "7bit" || encoding == "8bit" || encoding == "binary";
}

void checkReadable(const MailboxNote& note)
{
    if (note.attachmentSection.isEmpty())
        throw KestrelError(
            QStringLiteral("The save note (UID %1) carries no attachment.").arg(note.uid));
    if (note.attachmentEncoding != "base64" && !passesThrough(note.attachmentEncoding))
        throw KestrelError(
            QStringLiteral("The attachment of the save note (UID %1) is encoded as \"%2\", "
                           "which this program does not read.")
                .arg(note.uid)
                .arg(QString::fromLatin1(note.attachmentEncoding)));
}

enum class GroupCut
{
    None,
    AtStart,
    AtEnd
};

// Base64 text cut out of a part, decoded: line breaks and blanks go, and only whole
// groups of four characters are taken, counted from the end where the cut is at the
// start and from the start where it is at the end.
QByteArray decodedGroups(const QByteArray& encoded, GroupCut cut)
{
    QByteArray text;
    text.reserve(encoded.size());
    for (const char c : encoded) {
        if (c != '\r' && c != '\n' && c != ' ' && c != '\t')
            text.append(c);
    }
    if (cut == GroupCut::AtStart)
        text = text.right(text.size() / 4 * 4);
    else if (cut == GroupCut::AtEnd)
        text.truncate(text.size() / 4 * 4);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    Base64StreamDecoder decoder(buffer);
    decoder.write(text);
    decoder.finish();
    return buffer.data();
}

// Attachments up to this size (as encoded) are fetched ahead, up to this much in all:
// for many small files the round trip, not the transfer, is what takes the time.
constexpr qint64 SmallAttachmentBytes = 256 * 1024;
constexpr qint64 AheadBytes = 8 * 1024 * 1024;

// A part far larger than the structure announced is refused before it fills the
// disk, one announced as empty included; the margin allows for servers that count
// line ends their own way.
qint64 announcedLimit(const MailboxNote& note)
{
    const qint64 announced = std::max<qint64>(0, note.attachmentEncodedSize);
    return announced + announced / 8 + 65536;
}

} // namespace

ImapMailboxReader::Settings ImapMailboxReader::settingsFromStore()
{
    const TQuayRegistryObject store;
    Settings settings;
    settings.host = store.ReadUserIMAPServer().trimmed();
    if (settings.host.isEmpty()) {
        const QString smtp = store.ReadUserSMPTName().trimmed();
        settings.host = smtp.startsWith(QLatin1String("smtp."), Qt::CaseInsensitive)
                            ? QStringLiteral("imap.") + smtp.mid(5)
                            : smtp;
    }
    settings.port = store.ReadUserIMAPPort();
    if (settings.port <= 0 || settings.port > 65535)
        settings.port = 993;
    settings.userName = store.ReadUserIMAPUserName();
    if (settings.userName.isEmpty())
        settings.userName = store.ReadUserSMPTServerName();
    settings.password = store.ReadUserIMAPPassword();
    if (settings.password.isEmpty())
        settings.password = store.ReadUserSMPTServerPassword();
    settings.mailbox = store.ReadUserIMAPMailbox();
    settings.encryption = mailEncryptionFromSetting(store.ReadUserIMAPEncryption());
    QString tokenCommand = store.ReadIMAPTokenCommand();
    if (tokenCommand.trimmed().isEmpty())
        tokenCommand = store.ReadSMTPTokenCommand();
    settings.accessToken = accessTokenSource(mailAuthMethodFromSetting(store.ReadIMAPAuthMethod()),
                                             tokenCommand, QStringLiteral("IMAP"));
    return settings;
}

ImapMailboxReader::ImapMailboxReader(Settings settings)
    : m_settings(std::move(settings)), m_connectTimeoutMs(ImapSession::DefaultConnectTimeoutMs),
      m_replyTimeoutMs(ImapSession::DefaultReplyTimeoutMs),
      m_implicitTlsPort(ImapSession::ImplicitTlsPort)
{}

// The session leaves a socket of another thread to that thread.
ImapMailboxReader::~ImapMailboxReader() = default;

QString ImapMailboxReader::mailboxKey() const
{
    return QStringLiteral("%1@%2:%3/%4")
        .arg(m_settings.userName, m_settings.host.trimmed().toLower())
        .arg(m_settings.port)
        .arg(m_settings.mailbox);
}

ImapSession& ImapMailboxReader::session()
{
    if (!m_session)
        throw KestrelError(QStringLiteral("The mailbox is not open."));
    return *m_session;
}

MailboxReader::MailboxState ImapMailboxReader::open()
{
    close();
    auto session = std::make_unique<ImapSession>();
    session->Host = m_settings.host.trimmed();
    session->Port = m_settings.port;
    session->UserName = m_settings.userName;
    session->Password = m_settings.password;
    session->accessToken = m_settings.accessToken;
    session->Encryption = m_settings.encryption;
    session->setConnectTimeoutMs(m_connectTimeoutMs);
    session->setReplyTimeoutMs(m_replyTimeoutMs);
    session->setImplicitTlsPort(m_implicitTlsPort);
    if (!m_caCertificates.isEmpty())
        session->addCaCertificates(m_caCertificates);
    // Read at every opening, so a certificate trusted since is taken.
    session->setTrustedCertificate(
        ServerCertificateTrust::trustedFor(session->Host, session->Port, TrustedServer::Imap));
    session->connectToServer();
    const MailboxState state = session->examine(m_settings.mailbox);
    m_session = std::move(session);
    return state;
}

QList<quint32> ImapMailboxReader::findSubjects(const QString& text, quint32 aboveUid)
{
    return session().searchSubject(text, aboveUid);
}

QList<quint32> ImapMailboxReader::allUids()
{
    return session().searchAll();
}

QList<MailboxNote> ImapMailboxReader::readNotes(const QList<quint32>& uids)
{
    const QList<MailboxNote> fetched = session().fetchNotes(uids);
    QHash<quint32, qsizetype> index;
    for (qsizetype i = 0; i < fetched.size(); ++i)
        index.insert(fetched[i].uid, i);
    QList<MailboxNote> notes;
    for (const quint32 uid : uids) {
        const auto found = index.constFind(uid);
        if (found != index.cend())
            notes.append(fetched[*found]);
    }
    return notes;
}

void ImapMailboxReader::expectAttachments(const QList<MailboxNote>& notes)
{
    if (!isOpen())
        return;
    QMap<QByteArray, QList<quint32>> bySection;
    qint64 largest = 0;
    for (const MailboxNote& note : notes) {
        const qint64 limit = announcedLimit(note);
        if (note.attachmentEncodedSize > SmallAttachmentBytes ||
            m_ahead.contains({note.uid, note.attachmentSection}))
            continue;
        if (m_aheadBytes + limit > AheadBytes)
            break;
        m_aheadBytes += limit;
        largest = std::max(largest, limit);
        bySection[note.attachmentSection].append(note.uid);
    }
    try {
        for (auto section = bySection.begin(); section != bySection.end(); ++section) {
            session().fetchSections(section.value(), section.key(), largest,
                                    [&](quint32 uid, const QByteArray& bytes) {
                                        m_ahead.insert({uid, section.key()}, bytes);
                                    });
        }
    } catch (const KestrelError&) {
        // Each is fetched on its own when asked for, on a connection made again if
        // this one broke.
    }
    // The room held back for what did not come is free again.
    m_aheadBytes = 0;
    for (const QByteArray& held : std::as_const(m_ahead))
        m_aheadBytes += held.size();
}

void ImapMailboxReader::fetchAttachment(const MailboxNote& note, QIODevice& decoded,
                                        const Progress& progress)
{
    checkReadable(note);
    const bool base64 = note.attachmentEncoding == "base64";
    Base64StreamDecoder decoder(decoded);
    qint64 written = 0;
    const auto report = [&](qint64 bytes) {
        if (progress && !progress(bytes))
            throw KestrelError(QStringLiteral("cancelled"));
    };
    const auto take = [&](QByteArrayView bytes) {
        if (base64) {
            decoder.write(bytes);
            report(decoder.decodedBytes());
            return;
        }
        if (!writeWhole(decoded, bytes.data(), bytes.size()))
            throw KestrelError(QStringLiteral("The attachment could not be written: %1")
                                   .arg(decoded.errorString()));
        written += bytes.size();
        report(written);
    };
    const qint64 limit = announcedLimit(note);
    const QByteArray held = m_ahead.take({note.uid, note.attachmentSection});
    if (!held.isNull()) {
        m_aheadBytes -= held.size();
        if (held.size() > limit)
            throw KestrelError(QStringLiteral("The attachment is larger than its message "
                                              "said."));
        take(held);
    } else {
        session().fetchSection(note.uid, note.attachmentSection, take, -1, limit);
    }
    if (base64) {
        decoder.finish();
        report(decoder.decodedBytes());
    }
}

QByteArray ImapMailboxReader::sectionTail(const MailboxNote& note, qint64 wanted, bool* whole)
{
    // The structure's size tells where the tail starts; should the part be longer
    // than it says, the fetches go on until one comes back short, keeping only the
    // last bytes.
    const qint64 length = wanted + 64 * 1024;
    qint64 position = std::max<qint64>(0, note.attachmentEncodedSize - wanted);
    *whole = position == 0;
    QByteArray tail;
    for (;;) {
        qint64 received = 0;
        session().fetchSection(
            note.uid, note.attachmentSection,
            [&](QByteArrayView bytes) {
                tail.append(bytes);
                received += bytes.size();
            },
            position, length);
        if (tail.size() > wanted) {
            tail = tail.right(wanted);
            *whole = false;
        }
        if (received < length)
            return tail;
        position += received;
    }
}

QByteArray ImapMailboxReader::fetchAttachmentTail(const MailboxNote& note, qint64 maxBytes)
{
    checkReadable(note);
    if (maxBytes <= 0)
        return {};
    bool whole = false;
    if (note.attachmentEncoding != "base64")
        return sectionTail(note, maxBytes, &whole);
    // Four characters carry three bytes; each line of 76 adds a line break, and a
    // margin takes the group cut at the start and a last line shorter than the rest.
    const qint64 characters = (maxBytes + 2) / 3 * 4 + 4;
    const QByteArray encoded = sectionTail(note, characters + characters / 76 * 2 + 256, &whole);
    // The text ends on a whole group, so whole groups are counted from its end.
    return decodedGroups(encoded, whole ? GroupCut::None : GroupCut::AtStart).right(maxBytes);
}

QByteArray ImapMailboxReader::fetchAttachmentHead(const MailboxNote& note, qint64 maxBytes)
{
    checkReadable(note);
    if (maxBytes <= 0)
        return {};
    const bool base64 = note.attachmentEncoding == "base64";
    // Four characters carry three bytes, and each line of 76 adds a line break.
    const qint64 characters = base64 ? (maxBytes + 2) / 3 * 4 : maxBytes;
    const qint64 length = base64 ? characters + characters / 76 * 2 + 4 : maxBytes;
    QByteArray encoded;
    session().fetchSection(
        note.uid, note.attachmentSection,
        [&](QByteArrayView bytes) {
            // A server that sends more than was asked for is not followed further.
            if (encoded.size() < length)
                encoded.append(
                    bytes.first(std::min<qsizetype>(bytes.size(), length - encoded.size())));
        },
        0, length);
    if (!base64)
        return encoded;
    // The part goes on after what was fetched.
    return decodedGroups(encoded, GroupCut::AtEnd).left(maxBytes);
}

void ImapMailboxReader::close()
{
    m_ahead.clear();
    m_aheadBytes = 0;
    if (!m_session)
        return;
    m_session->logout();
    m_session.reset();
}

bool ImapMailboxReader::isOpen()
{
    return m_session && m_session->isConnected();
}
