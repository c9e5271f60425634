#include "transport/ArchivePartPlan.h"
#include "transport/IdMessageWriter.h"

#include <QTest>

// Cutting an archive into parts whose messages each fit the server's limit: the
// fewest parts, never a message above the limit, and no plan when nothing fits.
class TestArchivePartPlan : public QObject
{
    Q_OBJECT

private:
    static int digits(int number) { return QString::number(number).size(); }

    // Headers that grow with the digits of both numbers, as a subject
    // "... (part 7 of 12)" and a name "x.zip.007" do.
    static qint64 growingOverhead(int part, int count)
    {
        return 700 + digits(part) + 2 * digits(count) + qMax(3, digits(count));
    }

    // Every part's message within the limit, and the parts laid end to end over the
    // whole archive.
    static bool fits(const ArchivePartPlan& plan, qint64 archive, qint64 limit,
                     const ArchivePartPlan::Overhead& overhead)
    {
        qint64 next = 0;
        for (int part = 1; part <= plan.count(); ++part) {
            if (plan.offset(part) != next || plan.length(part) <= 0)
                return false;
            next += plan.length(part);
            if (overhead(part, plan.count()) + TIdMessageWriter::base64Size(plan.length(part)) >
                limit)
                return false;
        }
        return next == archive;
    }

private Q_SLOTS:
    void bytesFittingIsTheInverseOfTheBase64Size()
    {
        for (qint64 budget = -1; budget < 2000; ++budget) {
            const qint64 bytes = ArchivePartPlan::bytesFitting(budget);
            QVERIFY2(TIdMessageWriter::base64Size(bytes) <= qMax<qint64>(budget, 0),
                     qPrintable(QString::number(budget)));
            QVERIFY2(TIdMessageWriter::base64Size(bytes + 1) > budget,
                     qPrintable(QString::number(budget)));
        }
        QCOMPARE(ArchivePartPlan::bytesFitting(78 * 1000000), qint64(57) * 1000000);
    }

    // A part's message of exactly the limit is taken; one byte less needs a part more.
    void messageExactlyAtTheLimit()
    {
        const auto overhead = [](int, int) {
            return qint64(1000);
        };
        const qint64 limit = 1000 + TIdMessageWriter::base64Size(570);
        const auto plan = ArchivePartPlan::make(1140, limit, overhead);
        QVERIFY(plan);
        QCOMPARE(plan->count(), 2);
        QCOMPARE(plan->partBytes(), 570);
        QCOMPARE(plan->length(2), 570);

        const auto tighter = ArchivePartPlan::make(1140, limit - 1, overhead);
        QVERIFY(tighter);
        QCOMPARE(tighter->count(), 3);
        QVERIFY(fits(*tighter, 1140, limit - 1, overhead));
        QCOMPARE(ArchivePartPlan::make(1141, limit, overhead)->count(), 3);
    }

    void limitTooSmallForAnyPart_data()
    {
        QTest::addColumn<qint64>("limit");
        QTest::newRow("below the headers") << qint64(500);
        QTest::newRow("the headers alone") << qint64(1000);
        // One byte takes a line of four characters and CR LF.
        QTest::newRow("no room for a line") << qint64(1005);
        QTest::newRow("no limit at all") << qint64(0);
    }

    void limitTooSmallForAnyPart()
    {
        QFETCH(qint64, limit);
        const auto overhead = [](int, int) {
            return qint64(1000);
        };
        QVERIFY(!ArchivePartPlan::make(10 * 1000 * 1000, limit, overhead));
        QCOMPARE(ArchivePartPlan::make(1, 1006, overhead)->partBytes(), 3);
    }

    // Against every count tried one by one: the plan has the fewest parts that fit.
    void fewestPartsAcrossDigitChanges()
    {
        for (const qint64 room : {6, 78, 80, 200}) {
            const qint64 limit = growingOverhead(1, 1) + room;
            for (qint64 archive = 1; archive < 12000; archive += archive < 300 ? 1 : 37) {
                const auto plan = ArchivePartPlan::make(archive, limit, growingOverhead);
                int fewest = 1;
                for (;; ++fewest) {
                    qint64 partBytes = std::numeric_limits<qint64>::max();
                    for (int part = 1; part <= fewest; ++part)
                        partBytes = qMin(partBytes, ArchivePartPlan::bytesFitting(
                                                        limit - growingOverhead(part, fewest)));
                    if (partBytes <= 0) {
                        fewest = 0;
                        break;
                    }
                    if (partBytes * fewest >= archive)
                        break;
                }
                const QString where =
                    QStringLiteral("archive %1, limit %2").arg(archive).arg(limit);
                if (fewest == 0) {
                    QVERIFY2(!plan, qPrintable(where));
                    continue;
                }
                QVERIFY2(plan, qPrintable(where));
                QVERIFY2(plan->count() == fewest, qPrintable(where));
                QVERIFY2(fits(*plan, archive, limit, growingOverhead), qPrintable(where));
            }
        }
    }

    void partNamesSortInOrder()
    {
        QCOMPARE(ArchivePartPlan::partName(QStringLiteral("a.zip"), 1, 2),
                 QStringLiteral("a.zip.001"));
        QCOMPARE(ArchivePartPlan::partName(QStringLiteral("a.zip"), 42, 999),
                 QStringLiteral("a.zip.042"));
        QCOMPARE(ArchivePartPlan::partName(QStringLiteral("a.zip"), 7, 1000),
                 QStringLiteral("a.zip.0007"));
        QCOMPARE(ArchivePartPlan::subjectSuffix(3, 12), QStringLiteral(" (part 3 of 12)"));
    }

    // Room left for the headers servers add: 16 KiB, a quarter of small limits.
    void headroom_data()
    {
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<qint64>("headroom");
        QTest::newRow("a provider's 25 MB") << qint64(25000000) << qint64(16384);
        QTest::newRow("exactly 64 KiB") << qint64(65536) << qint64(16384);
        QTest::newRow("small limit") << qint64(40000) << qint64(10000);
        QTest::newRow("no limit") << qint64(0) << qint64(0);
    }

    void headroom()
    {
        QFETCH(qint64, limit);
        QFETCH(qint64, headroom);
        QCOMPARE(ArchivePartPlan::headroom(limit), headroom);
    }
};

QTEST_GUILESS_MAIN(TestArchivePartPlan)
#include "tst_archivepartplan.moc"
