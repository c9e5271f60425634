#include "core/KestrelError.h"
#include "transport/IdMessage.h"
#include "transport/IdMessageWriter.h"

#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

// The wire layout of messages: header block, folding, encoded words, the multipart
// save note and the part-less request.
class TestMimeMessage : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString writeFile(const QString& name, const QByteArray& content)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            qFatal("cannot write test file");
        return path;
    }

    static QByteArray render(const TIdMessage& message, const QLocale& locale = QLocale::c())
    {
        TIdMessageWriter writer(message, locale);
        QByteArray out;
        writer.write([&out](const QByteArray& line) { out += line + "\r\n"; });
        return out;
    }

    static QList<QByteArray> headerBlock(const QByteArray& wire)
    {
        return wire.left(wire.indexOf("\r\n\r\n")).split('\n');
    }

    static QDateTime fixedDate()
    {
        return QDateTime(QDate(2026, 12, 7), QTime(20, 40, 38), QTimeZone(13 * 3600));
    }

    // Decodes a header value made of encoded words back into text.
    static QString decodeWords(const QString& value)
    {
        QString result;
        for (const QString& word : value.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QStringList fields = word.split(QLatin1Char('?'));
            if (fields.size() != 5 || word.size() > 75)
                return QStringLiteral("<bad word %1>").arg(word);
            QByteArray bytes = fields[3].toLatin1();
            if (fields[2] == QLatin1String("B")) {
                bytes = QByteArray::fromBase64(bytes);
            } else {
                bytes.replace('_', ' ');
                bytes = QByteArray::fromPercentEncoding(bytes, '=');
            }
            QStringDecoder decoder(fields[1].toLatin1().constData());
            result += decoder.decode(bytes);
        }
        return result;
    }

private Q_SLOTS:
    void goldenSaveNote()
    {
        const QByteArray content =
            QByteArray("PK\x03\x04 sixty bytes of archive content .......") + QByteArray(17, 'z');
        QCOMPARE(content.size(), 60);
        TIdMessage message;
        message.From.setText(QStringLiteral("jo@smtp.example.org"));
        message.Recipients.setText(QStringLiteral("backup@example.org"));
        message.Subject = QStringLiteral("KestrelSolo Save#1234567890#/home/jo/report.txt");
        message.Date = fixedDate();
        message.addAttachment(writeFile(QStringLiteral("report-txt.zip"), content));

        const QByteArray expected =
            "From: jo@smtp.example.org\r\n"
            "Subject: KestrelSolo Save#1234567890#/home/jo/report.txt\r\n"
            "To: backup@example.org\r\n"
            "Content-Type: multipart/mixed; boundary=\"=_NextPart_2rfkindysadvnqw3nerasdf\";\r\n"
            "MIME-Version: 1.0\r\n"
            "Date: Mon, 7 Dec 2026 20:40:38 +1300\r\n"
            "X-Priority: 3\r\n"
            "X-Library: Indy 8.0.22\r\n"
            "\r\n"
            "This is a multi-part message in MIME format\r\n"
            "\r\n"
            "--=_NextPart_2rfkindysadvnqw3nerasdf\r\n"
            "Content-Type: text/plain\r\n"
            "Content-Transfer-Encoding: 7bit\r\n"
            "\r\n"
            "\r\n"
            "--=_NextPart_2rfkindysadvnqw3nerasdf\r\n"
            "Content-Type: application/octet-stream;\r\n"
            "        name=\"report-txt.zip\"\r\n"
            "Content-Transfer-Encoding: base64\r\n"
            "Content-Disposition: attachment;\r\n"
            "        filename=\"report-txt.zip\"\r\n"
            "\r\n" +
            content.left(57).toBase64() + "\r\n" + content.mid(57).toBase64() +
            "\r\n"
            "\r\n"
            "--=_NextPart_2rfkindysadvnqw3nerasdf--\r\n";
        QCOMPARE(render(message), expected);

        // A request sent after the save note in the same run has no MIME headers.
        message.clearParts();
        const QByteArray request = render(message);
        QVERIFY(!request.contains("Content-Type"));
        QVERIFY(!request.contains("MIME-Version"));
        QVERIFY(request.endsWith("X-Library: Indy 8.0.22\r\n\r\n"));
    }

    void base64Lines_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QList<int>>("lineLengths");
        QTest::newRow("empty") << 0 << QList<int>{};
        QTest::newRow("57 bytes") << 57 << QList<int>{76};
        QTest::newRow("58 bytes") << 58 << QList<int>{76, 4};
        QTest::newRow("one read buffer plus one") << 57 * 1024 + 1 << (QList<int>(1024, 76) << 4);
    }

    void base64Lines()
    {
        QFETCH(int, size);
        QFETCH(QList<int>, lineLengths);
        QByteArray content(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            content[i] = static_cast<char>((i * 7919) % 251);
        TIdMessage message;
        message.addAttachment(writeFile(QStringLiteral("data.zip"), content));
        const QByteArray wire = render(message);

        const qsizetype start = wire.indexOf("filename=\"data.zip\"\r\n\r\n") + 23;
        const qsizetype end =
            wire.indexOf("\r\n\r\n--=_NextPart_2rfkindysadvnqw3nerasdf--", start - 2);
        const QByteArray encoded = start < end ? wire.mid(start, end - start) : QByteArray();
        QList<int> lengths;
        QByteArray decoded;
        for (const QByteArray& line : encoded.split('\n')) {
            if (line.isEmpty())
                continue;
            lengths.append(line.size() - (line.endsWith('\r') ? 1 : 0));
            decoded += QByteArray::fromBase64(line.trimmed());
        }
        QCOMPARE(lengths, lineLengths);
        QCOMPARE(decoded, content);
        if (size == 58)
            QVERIFY(encoded.trimmed().endsWith("=="));

        TIdMessageWriter writer(message, QLocale::c());
        QCOMPARE(writer.size(), qint64(wire.size()));
    }

    void headerFolding_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QStringList>("lines");
        const QString words =
            QStringLiteral("KestrelSolo Save#42#/home/jo/a rather long folder name/"
                           "with several words in it/and a file name.txt");
        QTest::newRow("folded at the last blank before column 78")
            << words
            << QStringList{
                   QStringLiteral("Subject: KestrelSolo Save#42#/home/jo/a rather long folder "
                                  "name/with several"),
                   QStringLiteral(" words in it/and a file name.txt")};
        const QString solid =
            QStringLiteral("KestrelSolo_Save#42#") + QString(90, QLatin1Char('x'));
        QTest::newRow("no blank: not broken")
            << solid << QStringList{QStringLiteral("Subject: ") + solid};
        const QString three = QString(60, QLatin1Char('a')) + QLatin1Char(' ') +
                              QString(70, QLatin1Char('b')) + QLatin1Char(' ') +
                              QString(10, QLatin1Char('c'));
        QTest::newRow("two breaks")
            << three
            << QStringList{QStringLiteral("Subject: ") + QString(60, QLatin1Char('a')),
                           QLatin1Char(' ') + QString(70, QLatin1Char('b')),
                           QLatin1Char(' ') + QString(10, QLatin1Char('c'))};
    }

    void headerFolding()
    {
        QFETCH(QString, subject);
        QFETCH(QStringList, lines);
        TIdMessage message;
        message.Subject = subject;
        QStringList subjectLines;
        bool inSubject = false;
        for (const QByteArray& raw : headerBlock(render(message))) {
            const QString line = QString::fromUtf8(raw).chopped(raw.endsWith('\r') ? 1 : 0);
            if (line.startsWith(QLatin1String("Subject:")))
                inSubject = true;
            else if (!line.startsWith(QLatin1Char(' ')))
                inSubject = false;
            if (inSubject)
                subjectLines.append(line);
        }
        QCOMPARE(subjectLines, lines);
        for (const QString& line : subjectLines.mid(0, subjectLines.size() - 1))
            QVERIFY(line.size() <= 78);

        const QString tabbed = QStringLiteral("X-Note: ") + QString(60, QLatin1Char('a')) +
                               QLatin1Char('\t') + QString(30, QLatin1Char('b'));
        QCOMPARE(TIdHeaderList::fold(tabbed),
                 (QStringList{QStringLiteral("X-Note: ") + QString(60, QLatin1Char('a')),
                              QLatin1Char(' ') + QString(30, QLatin1Char('b'))}));
    }

    void encodedWords_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("expectedStart");
        QTest::newRow("ascii with backslash and #")
            << QStringLiteral("KestrelSolo Save#1#C:\\Docs\\a#b.doc") << QLocale(QLocale::French)
            << QStringLiteral("KestrelSolo Save#1#C:\\Docs\\a#b.doc");
        QTest::newRow("e acute, western locale")
            << QStringLiteral("Caf\u00e9 report") << QLocale(QLocale::French)
            << QStringLiteral("=?ISO-8859-1?Q?Caf=E9_report?=");
        QTest::newRow("cyrillic under a western charset falls back to UTF-8")
            << QStringLiteral("\u041e\u0442\u0447\u0451\u0442") << QLocale(QLocale::English)
            << QStringLiteral("=?UTF-8?B?");
        QTest::newRow("simplified chinese")
            << QStringLiteral("\u4e2d\u6587\u62a5\u544a")
            << QLocale(QLocale::Chinese, QLocale::China) << QStringLiteral("=?GB2312?B?");
        QTest::newRow("traditional chinese")
            << QStringLiteral("\u4e2d\u6587") << QLocale(QLocale::Chinese, QLocale::Taiwan)
            << QStringLiteral("=?Big5?B?");
        QTest::newRow("japanese") << QStringLiteral("\u65e5\u672c\u8a9e\u306e\u5831\u544a")
                                  << QLocale(QLocale::Japanese)
                                  << QStringLiteral("=?ISO-2022-JP?B?");
        QTest::newRow("korean") << QStringLiteral("\ud55c\uad6d\uc5b4") << QLocale(QLocale::Korean)
                                << QStringLiteral("=?EUC-KR?B?");
        QTest::newRow("long text split into several words")
            << QString(40, QChar(0x00e9)) + QString(40, QChar(0x4e2d)) << QLocale(QLocale::German)
            << QStringLiteral("=?UTF-8?B?");
        QTest::newRow("path too long for one line is encoded to fold")
            << QStringLiteral("KestrelSolo Save#1#/") + QString(1200, QLatin1Char('d'))
            << QLocale(QLocale::English) << QStringLiteral("=?ISO-8859-1?Q?KestrelSolo");
        QTest::newRow("line break is encoded, never raw")
            << QStringLiteral("report\r\nBcc: victim@example.org") << QLocale(QLocale::English)
            << QStringLiteral("=?ISO-8859-1?Q?report=0D=0ABcc");
    }

    void encodedWords()
    {
        QFETCH(QString, subject);
        QFETCH(QLocale, locale);
        QFETCH(QString, expectedStart);
        TIdMessage message;
        message.Subject = subject;
        QString value;
        for (const QByteArray& raw : headerBlock(render(message, locale))) {
            QVERIFY2(!raw.startsWith("Bcc"), raw.constData());
            const QString line = QString::fromUtf8(raw.trimmed());
            if (line.startsWith(QLatin1String("Subject: ")))
                value = line.mid(9);
            else if (raw.startsWith(' ') && !value.isEmpty())
                value += QLatin1Char(' ') + line;
        }
        QVERIFY2(value.startsWith(expectedStart), qPrintable(value));
        for (const QByteArray& raw : headerBlock(render(message, locale)))
            QVERIFY(raw.size() <= 998 + 1);
        if (value != subject)
            QCOMPARE(decodeWords(value), subject);
    }

    void addressParsing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("addresses");
        QTest::newRow("bare") << QStringLiteral("jo@example.org") << QStringList{QString()}
                              << QStringList{QStringLiteral("jo@example.org")};
        QTest::newRow("angle brackets") << QStringLiteral(" Jo Bloggs < jo@example.org > ")
                                        << QStringList{QStringLiteral("Jo Bloggs")}
                                        << QStringList{QStringLiteral("jo@example.org")};
        QTest::newRow("parentheses") << QStringLiteral("jo@example.org (Jo Bloggs)")
                                     << QStringList{QStringLiteral("Jo Bloggs")}
                                     << QStringList{QStringLiteral("jo@example.org")};
        QTest::newRow("closing parenthesis alone")
            << QStringLiteral("jo@example.org)") << QStringList{QString()}
            << QStringList{QString()};
        QTest::newRow("nested quotes stripped")
            << QStringLiteral("\"'Jo'\" <jo@example.org>") << QStringList{QStringLiteral("Jo")}
            << QStringList{QStringLiteral("jo@example.org")};
        QTest::newRow("comma inside quotes, empty pieces dropped")
            << QStringLiteral("\"Bloggs, Jo\" <jo@example.org>, , ann@example.org,")
            << QStringList{QStringLiteral("Bloggs, Jo"), QString()}
            << QStringList{QStringLiteral("jo@example.org"), QStringLiteral("ann@example.org")};
    }

    void addressParsing()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, names);
        QFETCH(QStringList, addresses);
        TIdEmailAddressList list;
        list.add(TIdEmailAddressItem(QStringLiteral("old"), QStringLiteral("old@example.org")));
        list.setText(text);
        QStringList gotNames;
        QStringList gotAddresses;
        for (const TIdEmailAddressItem& item : list.items()) {
            gotNames.append(item.Name);
            gotAddresses.append(item.Address);
        }
        QCOMPARE(gotNames, names);
        QCOMPARE(gotAddresses, addresses);
    }

    void addressWriting()
    {
        TIdMessage message;
        message.From = TIdEmailAddressItem(QStringLiteral("Jo \"JB\" B\\loggs"),
                                           QStringLiteral("jo@example.org"));
        message.Recipients.setText(QStringLiteral("a@example.org, Ann <ann@example.org>"));
        message.CCList.add(TIdEmailAddressItem(QStringLiteral("Evil\r\nBcc: x@example.org"),
                                               QStringLiteral("c@example.org")));
        message.BccList.setText(QStringLiteral("hidden@example.org"));
        const QByteArray wire = render(message);
        QVERIFY(wire.contains("From: \"Jo \\\"JB\\\" B\\\\loggs\" <jo@example.org>\r\n"));
        QVERIFY(wire.contains("To: a@example.org, \"Ann\" <ann@example.org>\r\n"));
        QVERIFY(wire.contains("Cc: =?ISO-8859-1?Q?Evil=0D=0ABcc"));
        QVERIFY(!wire.contains("hidden@example.org"));
        QVERIFY(!wire.contains("\nBcc"));
    }

    void unsafeValuesRefused_data()
    {
        QTest::addColumn<int>("field");
        QTest::newRow("sender address") << 0;
        QTest::newRow("recipient address") << 1;
        QTest::newRow("extra header") << 2;
        QTest::newRow("references") << 3;
    }

    void unsafeValuesRefused()
    {
        QFETCH(int, field);
        TIdMessage message;
        message.From.Address = QStringLiteral("jo@example.org");
        const QString injected = QStringLiteral("x@example.org\r\nBcc: victim@example.org");
        if (field == 0)
            message.From.Address = injected;
        else if (field == 1)
            message.Recipients.add(TIdEmailAddressItem(QString(), injected));
        else if (field == 2)
            message.ExtraHeaders.setValue(QStringLiteral("X-Note"), injected);
        else
            message.References = injected;
        TIdMessageWriter writer(message, QLocale::c());
        QVERIFY_THROWS_EXCEPTION(KestrelError, writer.prepare());
    }

    // A plain name is quoted; any other goes as RFC 2231 parameters (in pieces when
    // long) beside a plain stand-in, and never as encoded words inside quotes.
    void attachmentNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("filenameLines");
        QTest::newRow("quotes") << QStringLiteral("a \"quoted\" name.zip")
                                << QStringList{
                                       QStringLiteral("filename=\"a \\\"quoted\\\" name.zip\"")};
        QTest::newRow("line break")
            << QStringLiteral("line\nbreak.zip")
            << QStringList{QStringLiteral("filename=\"line_break.zip\";"),
                           QStringLiteral("filename*=UTF-8''line%0Abreak.zip")};
        QTest::newRow("accent and semicolon")
            << QStringLiteral("caf\u00e9; menu.txt.zip")
            << QStringList{QStringLiteral("filename=\"caf_; menu.txt.zip\";"),
                           QStringLiteral("filename*=UTF-8''caf%C3%A9%3B%20menu.txt.zip")};
        QTest::newRow("long name in pieces")
            << QString(30, QChar(0x00e9)) + QStringLiteral(".zip")
            << QStringList{QStringLiteral("filename=\"") + QString(30, QLatin1Char('_')) +
                               QStringLiteral(".zip\";"),
                           QStringLiteral("filename*0*=UTF-8''") +
                               QStringLiteral("%C3%A9").repeated(8) + QLatin1Char(';'),
                           QStringLiteral("filename*1*=") + QStringLiteral("%C3%A9").repeated(8) +
                               QLatin1Char(';'),
                           QStringLiteral("filename*2*=") + QStringLiteral("%C3%A9").repeated(8) +
                               QLatin1Char(';'),
                           QStringLiteral("filename*3*=") + QStringLiteral("%C3%A9").repeated(6) +
                               QStringLiteral(".zip")};
    }

    void attachmentNames()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, filenameLines);
        TIdMessage message;
        message.addAttachment(writeFile(QStringLiteral("x.zip"), "x")).PartName = name;
        const QByteArray wire = render(message);
        QByteArray expected = "Content-Disposition: attachment;\r\n";
        for (const QString& line : filenameLines)
            expected += "        " + line.toUtf8() + "\r\n";
        QVERIFY2(wire.contains(expected + "\r\n"), wire.constData());
        QByteArray typeLines = expected;
        typeLines.replace("filename", "name");
        QVERIFY(wire.contains(typeLines.mid(typeLines.indexOf("\r\n") + 2) +
                              "Content-Transfer-Encoding: base64\r\n"));
        QVERIFY(!wire.contains("=?"));
        for (const QByteArray& line : wire.split('\n'))
            QVERIFY(line.size() <= 78 + 1);
    }

    void unreadableAttachmentFailsBeforeWriting()
    {
        TIdMessage message;
        message.addAttachment(m_dir.filePath(QStringLiteral("missing.zip")));
        TIdMessageWriter writer(message, QLocale::c());
        QVERIFY_THROWS_EXCEPTION(KestrelError, writer.prepare());
    }

    // A part of an archive: only its byte range, under its own name, counted exactly.
    void attachmentRange()
    {
        QByteArray content(5000, Qt::Uninitialized);
        for (int i = 0; i < content.size(); ++i)
            content[i] = static_cast<char>(i * 7 % 251);
        TIdMessage message;
        TIdAttachment& part = message.addAttachment(writeFile(QStringLiteral("r.zip"), content));
        part.PartName = QStringLiteral("r.zip.002");
        part.Offset = 1234;
        part.Length = 2000;
        TIdMessageWriter writer(message, QLocale::c());
        const qint64 size = writer.size();
        QByteArray wire;
        writer.write([&wire](const QByteArray& line) { wire += line + "\r\n"; });
        QCOMPARE(wire.size(), size);
        QVERIFY(wire.contains("        filename=\"r.zip.002\"\r\n"));
        const qsizetype start = wire.indexOf("\r\n\r\n", wire.indexOf("filename=")) + 4;
        const QByteArray encoded = wire.mid(start, wire.indexOf("\r\n\r\n--", start) - start);
        QCOMPARE(QByteArray::fromBase64(QByteArray(encoded).replace("\r\n", "")),
                 content.mid(1234, 2000));

        part.Length = 4000;
        TIdMessageWriter beyondTheEnd(message, QLocale::c());
        QVERIFY_THROWS_EXCEPTION(KestrelError, beyondTheEnd.prepare());
    }

    // A file cut short while it is sent must not pass for a whole message.
    void fileShortenedWhileSendingFails()
    {
        const QString path = writeFile(QStringLiteral("shrinks.zip"), QByteArray(200000, 'x'));
        TIdMessage message;
        message.addAttachment(path);
        TIdMessageWriter writer(message, QLocale::c());
        writer.prepare();
        QVERIFY(QFile::resize(path, 1000));
        QVERIFY_THROWS_EXCEPTION(KestrelError, writer.write([](const QByteArray&) {}));
    }

    void requestBodyAndDate()
    {
        TIdMessage message;
        message.Subject = QStringLiteral("Kestrel Request#1#x");
        message.Body = QStringList{QStringLiteral("first"), QStringLiteral("two\nlines")};
        message.Priority = TIdMessagePriority::Highest;
        message.Date =
            QDateTime(QDate(2026, 1, 4), QTime(9, 5, 7), QTimeZone(-(3 * 3600 + 30 * 60)));
        const QByteArray wire = render(message);
        QVERIFY(wire.contains("Date: Sun, 4 Jan 2026 09:05:07 -0330\r\n"));
        QVERIFY(wire.contains("X-Priority: 1\r\n"));
        QVERIFY(wire.endsWith("\r\n\r\nfirst\r\ntwo\r\nlines\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestMimeMessage)
#include "tst_mimemessage.moc"
