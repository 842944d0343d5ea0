#include "EventLoopWatch.h"
#include "PtyPeer.h"
#include "StationStore.h"
#include "TestMain.h"
#include "WindowProbe.h"

#include "app/MainWindow.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSettings>

using namespace WindowProbe;

// Whatever a broken or wrongly configured controller sends, the station stays usable.
class TestControllerNoise : public QObject
{
    Q_OBJECT

private:
    PtyPeer *peer = nullptr;
    MainWindow *window = nullptr;

    QString label() { return child<QLabel>(window, "labelGrblStatus")->text(); }

private slots:
    void init()
    {
        peer = new PtyPeer;
        seedStore(peer->devicePath(), false);
        window = new MainWindow;
        tick(window);
        tick(window);
        QCOMPARE(ledColor(window), QColor(Qt::green));
    }

    void cleanup()
    {
        delete window;
        delete peer;
    }

    void randomBytesLeaveTheStationUsable()
    {
        QRandomGenerator random(42);
        QByteArray noise(10 * 1024 * 1024, '\0');
        for (char &byte : noise)
            byte = char(random.bounded(256));
        // Line starts that reach the status parser and the parameter route.
        for (int at = 0; at + 2 < noise.size(); at += 997) {
            noise[at] = '\n';
            noise[at + 1] = at % 2 ? '<' : '$';
        }
        EventLoopWatch watch;
        for (int at = 0; at < noise.size(); at += 64 * 1024)
            peer->write(noise.mid(at, 64 * 1024));
        QTest::qWait(400);
        qInfo("longest stall of the event loop: %.1f ms", watch.longestGapMs());
        QVERIFY(watch.longestGapMs() < 100);

        peer->write("\r\n<Idle,MPos:1.000,2.000,3.000,WPos:1.000,2.000,3.000>\r\n");
        QTRY_COMPARE(label(), QStringLiteral("Idle"));
        child<QPushButton>(window, "pushButtonResetGRBLCmd_2")->click();
        child<QPushButton>(window, "pushButtonStatusCmd")->click();
        QCOMPARE(peer->read(2), QByteArray("?\n"));
    }

    void endlessLineIsDropped()
    {
        peer->write(QByteArray(1024 * 1024, 'x'));
        QTest::qWait(400); // silence: the fragment times out
        peer->write("ok\r\n");
        QTRY_VERIFY(child<QPlainTextEdit>(window, "plainTextEditSerial")->toPlainText() ==
                    QStringLiteral("ok"));
        QVERIFY(
            !child<QPlainTextEdit>(window, "plainTextEditSerial")->toPlainText().contains("xxxx"));
    }
};

ORLO_TEST_MAIN(TestControllerNoise)
#include "tst_ControllerNoise.moc"
