#include "core/KestrelError.h"
#include "transport/Base64StreamDecoder.h"
#include "transport/HeaderDecoder.h"
#include "transport/HeaderEncoder.h"
#include "transport/IdHeaderList.h"
#include "transport/IdMessageWriter.h"
#include "transport/ImapBodyStructure.h"
#include "transport/ImapCommandText.h"
#include "transport/ImapFetchItems.h"
#include "transport/ImapValue.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QTest>
#include <QTimeZone>

// Reading what an IMAP server says: values, literals and quoted strings, the body
// structure of a save note, header text and dates, and base64 as it streams in.
class TestImapParser : public QObject
{
    Q_OBJECT

private:
    // The structure a server gives for a note as the sequence mails it: an empty
    // text part and the archive in base64.
    static QByteArray noteStructure(const QByteArray& attachmentParameters,
                                    const QByteArray& disposition)
    {
        return "((\"text\" \"plain\" (\"charset\" \"us-ascii\") NIL NIL \"7bit\" 0 0 NIL NIL NIL "
               "NIL)(\"application\" \"zip\" " +
               attachmentParameters + " NIL NIL \"base64\" 4108 NIL " + disposition +
               " NIL NIL) \"mixed\" (\"boundary\" \"=_b\") NIL NIL NIL)";
    }

    static ImapValue parsed(const QByteArray& text) { return ImapParser(text).value(); }

private Q_SLOTS:
    void values()
    {
        const QList<ImapValue> values =
            ImapParser("FETCH (UID 17 BODY[HEADER.FIELDS (SUBJECT DATE)]<0> {8}\r\nA\r\n\"(\"B) "
                       "X \"q\\\"u\\\\o\" NIL {1+}\r\n) ( ) ((a)) \\Seen ~{1}\r\n\x01)")
                .values();
        QCOMPARE(values.size(), 2);
        const QList<ImapValue>& items = values[1].items;
        QCOMPARE(items.size(), 12);
        QVERIFY(items[0].isAtom("uid"));
        QCOMPARE(items[1].number(), 17);
        QCOMPARE(items[2].text, QByteArray("BODY[HEADER.FIELDS (SUBJECT DATE)]<0>"));
        QCOMPARE(items[3].kind, ImapValue::Kind::String);
        QCOMPARE(items[3].text, QByteArray("A\r\n\"(\"B)"));
        QCOMPARE(items[5].text, QByteArray("q\"u\\o"));
        QVERIFY(items[6].isNil());
        QCOMPARE(items[7].text, QByteArray(")"));
        QVERIFY(items[8].isList() && items[8].items.isEmpty());
        QCOMPARE(items[9].items.value(0).items.value(0).text, QByteArray("a"));
        QCOMPARE(items[10].text, QByteArray("\\Seen"));
        QCOMPARE(items[11].text, QByteArray("\x01"));
        const ImapValue notNumber{ImapValue::Kind::Atom, "12a", {}};
        QVERIFY(!notNumber.number());
    }

    void malformedValues_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("quote does not end") << QByteArray("(\"abc)");
        QTest::newRow("unknown escape") << QByteArray("\"a\\n\"");
        QTest::newRow("line break in quote") << QByteArray("\"a\r\nb\"");
        QTest::newRow("list does not end") << QByteArray("(a (b c)");
        QTest::newRow("literal shorter than its size") << QByteArray("({10}\r\nabc)");
        QTest::newRow("literal larger than announced") << QByteArray("(X {3}\r\nabcdef)");
        QTest::newRow("literal without line break") << QByteArray("{3}abc");
        QTest::newRow("section does not end") << QByteArray("(BODY[1 {3}\r\nabc)");
        QTest::newRow("text glued to a string") << QByteArray("(\"a\"b)");
        QTest::newRow("nested too deeply") << QByteArray(200, '(') + QByteArray(200, ')');
    }

    void malformedValues()
    {
        QFETCH(QByteArray, text);
        QVERIFY_THROWS_EXCEPTION(ImapSyntaxError, ImapParser(text).values());
    }

    void noteAttachment_data()
    {
        QTest::addColumn<QByteArray>("structure");
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QString>("name");
        QTest::newRow("as the sequence sends it")
            << noteStructure("(\"name\" \"a.txt.zip\")",
                             "(\"attachment\" (\"filename\" \"a.txt.zip\"))")
            << QByteArray("2") << "a.txt.zip";
        QTest::newRow("encoded word in the name")
            << noteStructure("NIL", "(\"attachment\" (\"filename\" \"=?UTF-8?B?w6Quemlw?=\"))")
            << QByteArray("2") << QString::fromUtf8("ä.zip");
        QTest::newRow("RFC 2231 continuation")
            << noteStructure("NIL", "(\"attachment\" (\"filename*0*\" \"UTF-8''%C3%A4\" "
                                    "\"filename*1\" \".zip\"))")
            << QByteArray("2") << QString::fromUtf8("ä.zip");
        QTest::newRow("RFC 2231 beside its plain stand-in")
            << noteStructure("(\"name\" \"a_.zip\" \"name*\" \"UTF-8''%C3%A4.zip\")",
                             "(\"attachment\" (\"filename\" \"a_.zip\" \"filename*\" "
                             "\"UTF-8''%C3%A4.zip\"))")
            << QByteArray("2") << QString::fromUtf8("ä.zip");
        QTest::newRow("RFC 2231 pieces before the stand-in")
            << noteStructure("NIL", "(\"attachment\" (\"filename*1*\" \"%3B.zip\" "
                                    "\"filename*0*\" \"UTF-8''%C3%A4\" \"filename\" \"__.zip\"))")
            << QByteArray("2") << QString::fromUtf8("ä;.zip");
        QTest::newRow("name of the type only")
            << noteStructure("(\"NAME\" \"b.zip\")", "NIL") << QByteArray("2") << "b.zip";
        QTest::newRow("nested multipart")
            << QByteArray("(((\"text\" \"plain\" NIL NIL NIL \"7bit\" 1 1)(\"application\" "
                          "\"zip\" (\"name\" \"c.zip\") NIL NIL \"base64\" 10) \"mixed\") "
                          "\"mixed\")")
            << QByteArray("1.2") << "c.zip";
        QTest::newRow("message that is the attachment alone")
            << QByteArray("(\"application\" \"zip\" (\"name\" \"d.zip\") NIL NIL \"BASE64\" 10 "
                          "NIL (\"attachment\" NIL) NIL NIL)")
            << QByteArray("1") << "d.zip";
        QTest::newRow("no attachment")
            << QByteArray("(\"text\" \"plain\" NIL NIL NIL \"7bit\" 5 1 NIL NIL NIL NIL)")
            << QByteArray() << QString();
    }

    void noteAttachment()
    {
        QFETCH(QByteArray, structure);
        QFETCH(QByteArray, section);
        QFETCH(QString, name);
        const ImapBodyStructure::Attachment attachment =
            ImapBodyStructure::findAttachment(parsed(structure));
        QCOMPARE(attachment.section, section);
        QCOMPARE(attachment.fileName, name);
        if (!section.isEmpty())
            QCOMPARE(attachment.encoding, QByteArray("base64"));
        if (section == "2")
            QCOMPARE(attachment.encodedSize, 4108);
    }

    void malformedStructures_data()
    {
        QTest::addColumn<QByteArray>("structure");
        QTest::newRow("too few fields") << QByteArray("(\"application\" \"zip\" NIL NIL)");
        QTest::newRow("size not a number")
            << QByteArray("(\"application\" \"zip\" NIL NIL NIL \"base64\" \"big\")");
        QTest::newRow("text without lines")
            << QByteArray("(\"text\" \"plain\" NIL NIL NIL \"7bit\" 0)");
        QTest::newRow("odd parameters")
            << QByteArray("(\"application\" \"zip\" (\"name\") NIL NIL \"base64\" 1)");
        QTest::newRow("multipart without subtype")
            << QByteArray("((\"text\" \"plain\" NIL NIL NIL \"7bit\" 0 0))");
        QTest::newRow("disposition not a list")
            << QByteArray("(\"application\" \"zip\" NIL NIL NIL \"base64\" 1 NIL \"x\")");
        QTest::newRow("not a list") << QByteArray("\"application\"");
    }

    void malformedStructures()
    {
        QFETCH(QByteArray, structure);
        QVERIFY_THROWS_EXCEPTION(ImapSyntaxError,
                                 ImapBodyStructure::findAttachment(parsed(structure)));
    }

    void fetchItems()
    {
        const QByteArray header = "Subject: KestrelSolo Save#1#/home/jo/a\r\n b.txt\r\n"
                                  "Date: Wed, 9 Dec 2026 14:05:00 +0100\r\n"
                                  "X-Kestrel-Set: 0123456789ABCDEF0123456789abcdef\r\n\r\n";
        const QByteArray items =
            "(UID 7 RFC822.SIZE 5800 INTERNALDATE \"09-Dec-2026 13:06:00 +0000\" "
            "BODY[HEADER.FIELDS (SUBJECT DATE)] {" +
            QByteArray::number(header.size()) + "}\r\n" + header + " BODYSTRUCTURE " +
            noteStructure("(\"name\" \"b.txt.zip\")", "NIL") + ")";
        bool hasStructure = false;
        const MailboxNote note = ImapFetchItems::note(parsed(items), &hasStructure);
        QVERIFY(hasStructure);
        QCOMPARE(note.uid, 7u);
        QCOMPARE(note.messageSize, 5800);
        QCOMPARE(note.subject, "KestrelSolo Save#1#/home/jo/a b.txt");
        QCOMPARE(note.date.toUTC(), QDateTime(QDate(2026, 12, 9), QTime(13, 5), QTimeZone::utc()));
        QCOMPARE(note.attachmentSection, QByteArray("2"));
        QCOMPARE(note.attachmentName, "b.txt.zip");
        QCOMPARE(note.setId, "0123456789abcdef0123456789abcdef");

        // Without a Date the arrival date stands in.
        const MailboxNote undated = ImapFetchItems::note(
            parsed("(UID 8 INTERNALDATE \" 9-Dec-2026 13:06:00 -0200\" FLAGS (\\Seen))"),
            &hasStructure);
        QVERIFY(!hasStructure);
        QCOMPARE(undated.date.toUTC(),
                 QDateTime(QDate(2026, 12, 9), QTime(15, 6), QTimeZone::utc()));
        QVERIFY_THROWS_EXCEPTION(ImapSyntaxError, ImapFetchItems::note(parsed("(UID)")));
        QVERIFY_THROWS_EXCEPTION(ImapSyntaxError, ImapFetchItems::note(parsed("(UID 0)")));
    }

    void setIds_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QString>("setId");
        const QByteArray id = "3f2a0000000000000000000000009a01";
        QTest::newRow("marked") << "X-Kestrel-Set: " + id + "\r\n" << QString::fromLatin1(id);
        QTest::newRow("marked in capitals") << "x-kestrel-set:  " + id.toUpper() + "\r\n"
                                            << QString::fromLatin1(id);
        QTest::newRow("message id only")
            << "Message-ID: <" + id.toUpper() + ".2.5@smtp.example.net>\r\n"
            << QString::fromLatin1(id);
        QTest::newRow("marked beats message id")
            << "Message-ID: <" + QByteArray(32, 'e') + ".1.1@x>\r\nX-Kestrel-Set: " + id + "\r\n"
            << QString::fromLatin1(id);
        QTest::newRow("mark too short, message id")
            << "X-Kestrel-Set: " + id.left(31) + "\r\nMessage-ID: <" + id + ".1.2@x>\r\n"
            << QString::fromLatin1(id);
        QTest::newRow("unmarked") << QByteArray("Subject: a\r\n") << QString();
        QTest::newRow("another program's message id")
            << QByteArray("Message-ID: <CA+abc.1.2@mail.example.com>\r\n") << QString();
        QTest::newRow("not hex") << "X-Kestrel-Set: " + QByteArray(32, 'g') + "\r\n" << QString();
    }
    void setIds()
    {
        QFETCH(QByteArray, header);
        QFETCH(QString, setId);
        QCOMPARE(ImapFetchItems::setId(header), setId);
    }

    void commandText()
    {
        QCOMPARE(ImapCommandText::uidSet({9, 1, 2, 3, 5, 10, 3, 12}), QByteArray("1:3,5,9:10,12"));
        QCOMPARE(ImapCommandText::uidSet({}), QByteArray());
        QCOMPARE(ImapCommandText::quoted("a\"b\\c"), QByteArray("\"a\\\"b\\\\c\""));
        QVERIFY(!ImapCommandText::fitsQuoted("a\r\nb"));
        QVERIFY(!ImapCommandText::fitsQuoted(QString::fromUtf8("ä").toUtf8()));
        QCOMPARE(ImapCommandText::mailboxName(QString::fromUtf8("Entwürfe & Co")),
                 QByteArray("Entw&APw-rfe &- Co"));
        QCOMPARE(ImapCommandText::mailboxName(QString::fromUtf8("台北")), QByteArray("&U,BTFw-"));
    }

    // Whatever the encoder writes and the writer folds reads back as the same text.
    void subjectRoundTrip_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QLocale>("locale");
        const QString longPath =
            QStringLiteral("KestrelSolo Save#3#/home/jo/") + QString(30, QLatin1Char('d')) +
            QStringLiteral("/a file with many words in its name to fold the line twice.txt");
        QTest::newRow("plain long") << longPath << QLocale(QLocale::English);
        QTest::newRow("latin-1 Q")
            << QString::fromUtf8("KestrelSolo Save#1#/home/jö/Grüße _=?x?= ünd.txt")
            << QLocale(QLocale::German);
        QTest::newRow("utf-8 B, long")
            << QString::fromUtf8("KestrelSolo Save#1#/home/jo/日本語のファイル名/") +
                   QString(40, QChar(0x00e9)) + QString::fromUtf8("😀.txt")
            << QLocale(QLocale::French);
        QTest::newRow("iso-2022-jp") << QString::fromUtf8("KestrelSolo Save#2#/home/jo/日本語.txt")
                                     << QLocale(QLocale::Japanese);
        QTest::newRow("line break") << QStringLiteral("a\r\nb") << QLocale(QLocale::English);
    }

    void subjectRoundTrip()
    {
        QFETCH(QString, subject);
        QFETCH(QLocale, locale);
        const THeaderEncoder encoder(locale);
        QString value = encoder.encode(subject);
        // The writer encodes whole when plain folding would leave too long a line.
        if (value == subject && subject.size() > 900)
            value = encoder.encode(subject, true);
        const QStringList lines = TIdHeaderList::fold(QStringLiteral("Subject: ") + value);
        const QByteArray header = lines.join(QStringLiteral("\r\n")).toUtf8() +
                                  "\r\nDate: Wed, 9 Dec 2026 14:05:00 +0100\r\n";
        QCOMPARE(HeaderDecoder::text(HeaderDecoder::field(header, "subject")), subject);
    }

    void headerText()
    {
        QCOMPARE(HeaderDecoder::text("=?ISO-8859-1?Q?a?= b =?UTF-8?B?w6Q=?=  =?utf-8?q?_c?="),
                 QString::fromUtf8("a b ä c"));
        // One character's bytes split over two words.
        QCOMPARE(HeaderDecoder::text("=?UTF-8?Q?=C3?= =?UTF-8?Q?=A4?="), QString::fromUtf8("ä"));
        QCOMPARE(HeaderDecoder::text("=?UTF-8?Q?=ZZ?= x"), QStringLiteral("=?UTF-8?Q?=ZZ?= x"));
        QCOMPARE(HeaderDecoder::text("=?x-unknown?Q?a?="), QStringLiteral("=?x-unknown?Q?a?="));
        QCOMPARE(HeaderDecoder::text("raw \xc3\xa4"), QString::fromUtf8("raw ä"));
        QCOMPARE(HeaderDecoder::text("raw \xe4"), QString::fromUtf8("raw ä"));
        QCOMPARE(HeaderDecoder::field("Subject: a\r\nX-Subject: b\r\n", "X-Subject"), "b");
        QCOMPARE(HeaderDecoder::field("Date: x\r\n", "Subject"), QByteArray());
    }

    void dates_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QDateTime>("utc");
        const QDateTime noon(QDate(2026, 12, 9), QTime(12, 0), QTimeZone::utc());
        QTest::newRow("as written")
            << TIdMessageWriter::dateText(noon.toOffsetFromUtc(-5 * 3600 - 1800)).toLatin1()
            << noon;
        QTest::newRow("no day name, no seconds") << QByteArray("9 Dec 2026 13:00 +0100") << noon;
        QTest::newRow("named zone, comment")
            << QByteArray("Wed, 09 Dec 2026 07:00:00 EST (Eastern)") << noon;
        QTest::newRow("two-digit year") << QByteArray("Wed, 9 Dec 26 12:00:00 GMT") << noon;
        QTest::newRow("military zone") << QByteArray("9 Dec 2026 12:00:00 Z") << noon;
        QTest::newRow("no month") << QByteArray("9 12 2026 12:00:00 +0000") << QDateTime();
        QTest::newRow("bad day") << QByteArray("31 Feb 2026 12:00:00 +0000") << QDateTime();
        QTest::newRow("bad zone") << QByteArray("9 Dec 2026 12:00:00 +0099") << QDateTime();
        QTest::newRow("empty") << QByteArray() << QDateTime();
    }

    void dates()
    {
        QFETCH(QByteArray, text);
        QFETCH(QDateTime, utc);
        const QDateTime read = HeaderDecoder::date(text);
        QCOMPARE(read.isValid(), utc.isValid());
        if (utc.isValid())
            QCOMPARE(read.toUTC(), utc);
    }

    void base64Streaming()
    {
        // Larger than the decoder's buffer; lines of 75 put groups across line breaks.
        QByteArray data(100000, Qt::Uninitialized);
        QRandomGenerator generator(7);
        for (char& c : data)
            c = static_cast<char>(generator.bounded(256));
        for (const int tail : {0, 1, 2}) {
            const QByteArray original = data.left(data.size() - tail);
            QByteArray encoded;
            const QByteArray plain = original.toBase64();
            const qsizetype line = 76 - tail;
            for (qsizetype i = 0; i < plain.size(); i += line)
                encoded += plain.mid(i, line) + "\r\n";
            for (const qsizetype chunk :
                 {qsizetype(1), qsizetype(3), qsizetype(77), encoded.size()}) {
                QBuffer out;
                out.open(QIODevice::WriteOnly);
                Base64StreamDecoder decoder(out);
                for (qsizetype i = 0; i < encoded.size(); i += chunk)
                    decoder.write(
                        QByteArrayView(encoded).sliced(i, qMin(chunk, encoded.size() - i)));
                decoder.finish();
                QCOMPARE(out.data(), original);
                QCOMPARE(decoder.decodedBytes(), original.size());
            }
        }
        const auto decode = [](const QByteArray& text) {
            QBuffer out;
            out.open(QIODevice::WriteOnly);
            Base64StreamDecoder decoder(out);
            decoder.write(text);
            decoder.finish();
            return out.data();
        };
        QCOMPARE(decode("QQ"), QByteArray("A"));
        QCOMPARE(decode("QUI="), QByteArray("AB"));
        const QList<QByteArray> damaged = {
            "QU*I", "Q", "QQ==QQ==", "Q===", "QQ=", "QUJDQUJ*", "QUJD=QUJ", "QUJDQ\x80JD"};
        for (const QByteArray& bad : damaged)
            QVERIFY_THROWS_EXCEPTION(KestrelError, decode(bad));
        // A device that takes nothing ends the decoding with an error.
        QBuffer closed;
        QTest::ignoreMessage(QtWarningMsg, "QIODevice::write (QBuffer): device not open");
        Base64StreamDecoder decoder(closed);
        decoder.write("QUJD");
        QVERIFY_THROWS_EXCEPTION(KestrelError, decoder.finish());
    }
};

QTEST_GUILESS_MAIN(TestImapParser)
#include "tst_imapparser.moc"
