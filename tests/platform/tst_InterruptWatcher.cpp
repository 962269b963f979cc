#include <QTest>

#include <csignal>

#include "platform/InterruptWatcher.h"

class tst_InterruptWatcher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void signalReachesEveryWatcher_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("Ctrl-C") << SIGINT;
        QTest::newRow("kill") << SIGTERM;
        QTest::newRow("terminal closed") << SIGHUP;
    }

    // Nested watchers (a download followed inside an install) are all told,
    // and the process's own handling comes back when the last one goes.
    void signalReachesEveryWatcher()
    {
        QFETCH(int, signalNumber);
        ::signal(signalNumber, SIG_IGN);
        {
            InterruptWatcher outer;
            {
                InterruptWatcher inner;
                ::raise(signalNumber);
                QTRY_VERIFY(inner.wasInterrupted());
                QTRY_VERIFY(outer.wasInterrupted());
                QCOMPARE(inner.signalNumber(), signalNumber);
            }
            QCOMPARE(outer.signalNumber(), signalNumber);
        }
        struct sigaction now = {};
        ::sigaction(signalNumber, nullptr, &now);
        QVERIFY(now.sa_handler == SIG_IGN);
        ::signal(signalNumber, SIG_DFL);
    }
};

QTEST_GUILESS_MAIN(tst_InterruptWatcher)
#include "tst_InterruptWatcher.moc"
