#include "machine/StatusReport.h"

#include <QtTest>

// Status reports read by field name, in 0.9's and 1.1's forms, from the lines real
// controllers send and from hostile ones.
class TestStatusReport : public QObject
{
    Q_OBJECT

private:
    // Everything a report says, in one line: "state[/sub] M:x,y,z W:.. O:.. F S Ov Pn A Ln".
    static QString summary(const StatusReport &report)
    {
        QStringList parts{report.subState.isEmpty() ? report.state
                                                    : report.state + "/" + report.subState};
        const auto position = [&parts](const char *tag, const auto &value) {
            if (value)
                parts << QString(tag) + ":" + value->text.join(',');
        };
        position("M", report.machine);
        position("W", report.work);
        position("O", report.offset);
        if (report.feed)
            parts << "F" + QString::number(*report.feed);
        if (report.spindle)
            parts << "S" + QString::number(*report.spindle);
        if (report.overrides)
            parts << QString("Ov:%1,%2,%3")
                         .arg(report.overrides->at(0))
                         .arg(report.overrides->at(1))
                         .arg(report.overrides->at(2));
        if (report.pins)
            parts << "Pn:" + *report.pins;
        if (report.accessories)
            parts << "A:" + *report.accessories;
        if (report.line)
            parts << "Ln" + QString::number(*report.line);
        return parts.join(' ');
    }

private slots:
    void reports_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("read");
        // As 0.9j and 1.1h send them.
        QTest::newRow("0.9") << "<Idle,MPos:1.000,2.000,3.000,WPos:0.500,0.000,-1.250>"
                             << "Idle M:1.000,2.000,3.000 W:0.500,0.000,-1.250";
        QTest::newRow("0.9 with buffer fields")
            << "<Run,MPos:0.460,0.000,0.000,WPos:0.460,0.000,0.000,Buf:3,RX:12,Ln:57>"
            << "Run M:0.460,0.000,0.000 W:0.460,0.000,0.000 Ln57";
        QTest::newRow("1.1 idle") << "<Idle|MPos:0.000,0.000,0.000|FS:0,0|Pn:PXYZRHS|"
                                     "WCO:0.000,0.000,0.000>"
                                  << "Idle M:0.000,0.000,0.000 O:0.000,0.000,0.000 F0 S0 "
                                     "Pn:PXYZRHS";
        QTest::newRow("1.1 moving") << "<Run|MPos:1.508,4.024,0.000|FS:534,0|Pn:PXYZRHS>"
                                    << "Run M:1.508,4.024,0.000 F534 S0 Pn:PXYZRHS";
        QTest::newRow("1.1 hold with work position and more")
            << "<Hold:0|WPos:10.000,5.000,0.000|Bf:15,128|F:500|Ov:120,50,100|A:SF|Ln:12>"
            << "Hold/0 W:10.000,5.000,0.000 F500 Ov:120,50,100 A:SF Ln12";
        QTest::newRow("door") << "<Door:1|MPos:0,0,0|FS:0,0>"
                              << "Door/1 M:0,0,0 F0 S0";
        QTest::newRow("order not assumed") << "<Jog|FS:100,0|WCO:-7,3,0|MPos:3,8,0>"
                                           << "Jog M:3,8,0 O:-7,3,0 F100 S0";
        // Hostile: each unreadable field is left out, the rest still read.
        QTest::newRow("WCO with two values") << "<Idle|MPos:1,2,3|WCO:1,2>"
                                             << "Idle M:1,2,3";
        QTest::newRow("values missing") << "<Idle|MPos:|FS:>"
                                        << "Idle";
        QTest::newRow("not numbers") << "<Idle,MPos:abc,,-0,WPos: 1 ,x,>"
                                     << "Idle";
        QTest::newRow("beyond a double") << "<Idle|MPos:1e999,0,0|Ov:1e20,100,100>"
                                         << "Idle";
        QTest::newRow("extra bars") << "<Idle||MPos:1,2,3|||Pn:1>"
                                    << "Idle M:1,2,3";
        QTest::newRow("unknown fields") << "<Idle|Foo:1,2|MPos:1,2,3|Bar>"
                                        << "Idle M:1,2,3";
        QTest::newRow("no names") << "<Idle,1,2,3,4,5,6,7,8,9>"
                                  << "Idle";
        QTest::newRow("missing bracket") << "<Idle,MPos:1,2,3,WPos:4,5,6"
                                         << "Idle M:1,2,3 W:4,5,6";
        QTest::newRow("empty") << "<>"
                               << "";
        QTest::newRow("only the bracket") << "<"
                                          << "";
        QTest::newRow("case kept") << "<idle|MPos:0,0,0>"
                                   << "idle M:0,0,0";
        QString many = "<Run";
        for (int i = 0; i < 10000; ++i)
            many += "|X" + QString::number(i) + ":1";
        QTest::newRow("ten thousand fields") << many + "|MPos:1,1,1>"
                                             << "Run M:1,1,1";
    }

    void reports()
    {
        QFETCH(QString, line);
        QFETCH(QString, read);
        QCOMPARE(summary(parseStatusReport(line)), read);
    }
};

QTEST_GUILESS_MAIN(TestStatusReport)
#include "tst_StatusReport.moc"
