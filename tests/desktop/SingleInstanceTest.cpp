// The one running copy on Linux: the first claim serves later ones from its event loop. A
// later start is another process (this program run again with --claim NAME), since it waits
// for the first one's answer.
#include "platform/SingleInstance.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using tarnwick::SingleInstance;

namespace {

// Runs a later start and returns its state (as its exit code), serving this process's event
// loop meanwhile.
int LaterStart(const QString& name, int patienceMs = 10000) {
    QProcess process;
    process.start(QCoreApplication::applicationFilePath(),
                  {QStringLiteral("--claim"), name, QString::number(patienceMs)});
    if (!process.waitForStarted(10000))
        return -1;
    for (int i = 0; i < 600 && process.state() != QProcess::NotRunning; ++i)
        QTest::qWait(50);
    return process.state() == QProcess::NotRunning ? process.exitCode() : -2;
}

} // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        QVERIFY(runtime_.isValid());
        qputenv("XDG_RUNTIME_DIR", runtime_.path().toLocal8Bit());
    }

    void laterStartsHandOverToTheFirst() {
        int shown = 0;
        SingleInstance first("tarnwick-test", [&] { ++shown; });
        QCOMPARE(first.state(), SingleInstance::State::First);
        QCOMPARE(LaterStart("tarnwick-test"), int(SingleInstance::State::HandedOver));
        QCOMPARE(LaterStart("tarnwick-test"), int(SingleInstance::State::HandedOver));
        QTRY_COMPARE(shown, 2);
        // Another name is another program.
        QCOMPARE(LaterStart("tarnwick-other"), int(SingleInstance::State::First));
    }

    void theNameIsFreeOnceTheFirstEndsEvenAfterACrash() {
        { SingleInstance first("tarnwick-test", nullptr); }
        QCOMPARE(LaterStart("tarnwick-test"), int(SingleInstance::State::First));
        // A crashed copy leaves its socket behind; the lock is gone with the process.
        QFile stale(runtime_.filePath("tarnwick-test.socket"));
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        int shown = 0;
        SingleInstance next("tarnwick-test", [&] { ++shown; });
        QCOMPARE(next.state(), SingleInstance::State::First);
        QCOMPARE(LaterStart("tarnwick-test"), int(SingleInstance::State::HandedOver));
        QTRY_COMPARE(shown, 1);
    }

    void aHolderThatNeverAnswersIsGivenUpAfterThePatience() {
        // Holds the lock like a copy that hangs before it listens.
        const QByteArray lock = runtime_.filePath("tarnwick-test.lock").toLocal8Bit();
        const int fd = ::open(lock.constData(), O_RDWR | O_CREAT, 0600);
        QVERIFY(fd >= 0);
        QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);
        QCOMPARE(LaterStart("tarnwick-test", 300), int(SingleInstance::State::NoAnswer));
        ::close(fd);
        QCOMPARE(LaterStart("tarnwick-test", 300), int(SingleInstance::State::First));
    }

    void aStrangerOnTheSocketIsDroppedAndTheFirstGoesOn() {
        int shown = 0;
        SingleInstance first("tarnwick-test", [&] { ++shown; });
        QProcess talker;
        talker.start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--say"), runtime_.filePath("tarnwick-test.socket")});
        QVERIFY(talker.waitForStarted(10000));
        for (int i = 0; i < 200 && talker.state() != QProcess::NotRunning; ++i)
            QTest::qWait(50);
        QCOMPARE(talker.exitCode(), 0);
        QCOMPARE(shown, 0);
        QCOMPARE(LaterStart("tarnwick-test"), int(SingleInstance::State::HandedOver));
        QTRY_COMPARE(shown, 1);
    }

private:
    QTemporaryDir runtime_;
};

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() == 4 && arguments[1] == QLatin1String("--claim")) {
        SingleInstance later(arguments[2].toStdString(), nullptr,
                             std::chrono::milliseconds(arguments[3].toInt()));
        return int(later.state());
    }
    if (arguments.size() == 3 && arguments[1] == QLatin1String("--say")) {
        // Something else on the socket: a wrong request, then gone.
        QLocalSocket socket;
        socket.connectToServer(arguments[2]);
        if (!socket.waitForConnected(5000))
            return 1;
        socket.write("hello\n");
        socket.waitForBytesWritten(5000);
        socket.waitForDisconnected(5000);
        return 0;
    }
    SingleInstanceTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "SingleInstanceTest.moc"
