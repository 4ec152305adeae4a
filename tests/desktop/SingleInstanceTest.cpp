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

#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

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

    // Anyone of this user may connect and say nothing; such peers cannot keep a later start
    // out, and a request that arrives in pieces still counts.
    void silentPeersDoNotShutLaterStartsOut() {
        int shown = 0;
        SingleInstance first("tarnwick-test", [&] { ++shown; });
        const QByteArray path = runtime_.filePath("tarnwick-test.socket").toLocal8Bit();
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()) + 1);
        // Non-blocking, the first copy's loop running between them: it accepts them all.
        std::vector<int> silent;
        for (int i = 0, tries = 0; i < 40 && tries < 2000; ++tries) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            QVERIFY(fd >= 0);
            if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
                silent.push_back(fd);
                ++i;
            } else {
                ::close(fd);
            }
            QTest::qWait(1);
        }
        QCOMPARE(silent.size(), std::size_t{40});
        QTest::qWait(100);
        QCOMPARE(LaterStart("tarnwick-test"), int(SingleInstance::State::HandedOver));
        QTRY_COMPARE(shown, 1);

        const int halting = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        QCOMPARE(::connect(halting, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        QCOMPARE(::send(halting, "sh", 2, 0), ssize_t{2});
        QTest::qWait(100);
        QCOMPARE(shown, 1);
        QCOMPARE(::send(halting, "ow\n", 3, 0), ssize_t{3});
        QTRY_COMPARE(shown, 2);
        char reply[8] = {};
        QCOMPARE(::recv(halting, reply, sizeof reply, 0), ssize_t{3});
        QCOMPARE(QByteArray(reply), QByteArray("ok\n"));
        ::close(halting);
        for (int fd : silent)
            ::close(fd);
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
