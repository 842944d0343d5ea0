#include "TestMain.h"

#include "machine/StatusReport.h"

using Fields = std::optional<QStringList>;
Q_DECLARE_METATYPE(Fields)

class TestStatusReport : public QObject
{
    Q_OBJECT

private slots:
    void reports_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("state");
        QTest::addColumn<Fields>("machine");
        QTest::addColumn<Fields>("work");
        const Fields none;
        QTest::newRow("comma form") << "<Idle,MPos:1.000,2.000,3.000,WPos:0.500,0.000,-1.250>"
                                    << "Idle" << Fields(QStringList{"1.000", "2.000", "3.000"})
                                    << Fields(QStringList{"0.500", "0.000", "-1.250"});
        QTest::newRow("bar form has no work position")
            << "<Run|MPos:10.000,-2.500,0.000|FS:500,0|WCO:0.000,0.000,0.000>"
            << "Run" << Fields(QStringList{"10.000", "-2.500", "0.000"}) << none;
        QTest::newRow("ends after machine Y") << "<Hold,MPos:1.000,2.000>"
                                              << "Hold" << none << none;
        QTest::newRow("machine only") << "<Idle,MPos:1,2,3>"
                                      << "Idle" << Fields(QStringList{"1", "2", "3"}) << none;
        QTest::newRow("work without machine tag")
            << "<Idle,Pos:1,2,3,WPos:4,5,6>"
            << "Idle" << none << Fields(QStringList{"4", "5", "6"});
        QTest::newRow("texts kept as sent") << "<Idle,MPos:abc,,-0,WPos: 1 ,x,>"
                                            << "Idle" << Fields(QStringList{"abc", "", "-0"})
                                            << Fields(QStringList{" 1 ", "x", ""});
        QTest::newRow("empty report") << "<>"
                                      << "" << none << none;
        QTest::newRow("only the bracket") << "<"
                                          << "" << none << none;
        QTest::newRow("missing bracket loses a character")
            << "<Idle,MPos:1,2,3,WPos:4,5,6"
            << "Idle" << Fields(QStringList{"1", "2", "3"}) << Fields(QStringList{"4", "5", ""});
        QTest::newRow("case kept") << "<idle,MPos:0,0,0>"
                                   << "idle" << Fields(QStringList{"0", "0", "0"}) << none;
        QTest::newRow("one field") << "<Alarm>"
                                   << "Alarm" << none << none;
        QStringList twenty;
        for (int i = 0; i < 20; ++i)
            twenty << QString::number(i);
        QTest::newRow("twenty fields") << "<" + twenty.join(',') + ">"
                                       << "0" << none << none;
    }

    void reports()
    {
        QFETCH(QString, line);
        QFETCH(QString, state);
        QFETCH(Fields, machine);
        QFETCH(Fields, work);
        const StatusReport report = parseStatusReport(line);
        QCOMPARE(report.state, state);
        QCOMPARE(report.machine, machine);
        QCOMPARE(report.work, work);
    }
};

ORLO_TEST_MAIN(TestStatusReport)
#include "tst_StatusReport.moc"
