// SPDX-License-Identifier: GPL-3.0-or-later
// The baseline of the benchmarks: the least a program in Tempovox's place must do. It has the
// main window's five timers at their intervals doing nothing, listens where Tempovox listens,
// and plays one clip through the same player when asked by DTMF or at a quarter hour, releasing
// the transmitter after it: no settings, no composer, no sequencer. What Tempovox costs beyond
// this is its own.
//
//   minimal_station [--headless] [--clip STEM]
//
// It reads the voice folder and the sink from Tempovox.ini, as Tempovox does.

#include "MediaRuntime.h"
#include "Profile.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QLabel>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

QString profilePath() {
    const QString config =
        qEnvironmentVariable("XDG_CONFIG_HOME", QDir::homePath() + QStringLiteral("/.config"));
    return config + QStringLiteral("/Tempovox.ini");
}

QString profileValue(const char* section, const char* key) {
    return QString::fromStdString(GetPrivateProfileString(section, key, "", profilePath().toStdString()));
}

class MinimalStation : public QObject {
public:
    MinimalStation(std::unique_ptr<GraphFactory> graphs, QString clip)
        : graphs_(std::move(graphs))
        , clip_(std::move(clip)) {
        for (QTimer* timer : {&timer1_, &timer2_, &timer3_, &timer5_, &beacon8_})
            connect(timer, &QTimer::timeout, this, [this] { ++ticks_; });
        timer1_.setTimerType(Qt::PreciseTimer);
        timer1_.start(10);
        timer2_.setTimerType(Qt::PreciseTimer);
        timer2_.setInterval(1); // stopped, as in Tempovox between announcements
        timer3_.setTimerType(Qt::PreciseTimer);
        timer3_.setSingleShot(true);
        connect(&timer3_, &QTimer::timeout, this, &MinimalStation::tick);
        armTick();
        timer5_.start(100);
        connect(&beacon8_, &QTimer::timeout, this, &MinimalStation::release);
        beacon8_.start(1000);
    }

    bool listen(QString* error) {
        const QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/tempovox");
        QDir().mkpath(folder);
        QLocalServer::removeServer(folder + QStringLiteral("/link.sock"));
        connect(&server_, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* peer = server_.nextPendingConnection()) {
                peer->write("INFO minimal station\n");
                connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                    while (peer->canReadLine()) {
                        if (peer->readLine().startsWith("DTMF "))
                            announce(peer);
                    }
                });
                connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
                peer_ = peer;
            }
        });
        if (!server_.listen(folder + QStringLiteral("/link.sock"))) {
            *error = server_.errorString();
            return false;
        }
        return true;
    }

private:
    // The next second boundary, a few milliseconds late, as Tempovox's clock tick.
    void armTick() { timer3_.start(int(1000 - QDateTime::currentMSecsSinceEpoch() % 1000) + 2); }

    void tick() {
        armTick();
        const QTime now = QTime::currentTime();
        if (now.second() == 0 && now.minute() % 15 == 0 && peer_)
            announce(peer_);
    }

    // As Tempovox's watchdog, once a second: the transmitter goes once the clip has been heard.
    void release() {
        if (keyed_ && peer_ && graph_ && graph_->CurrentPosition() == graph_->Duration() &&
            !graph_->StillSounding()) {
            peer_->write("PTT 0\n");
            peer_->flush();
            keyed_ = false;
        }
    }

    void announce(QLocalSocket* peer) {
        peer->write("PTT 1\n");
        peer->flush();
        keyed_ = true;
        graph_ = graphs_->CreateGraph();
        const QString path = profileValue("SETTINGS", "FILELOCATION") + clip_ + QStringLiteral(".wav");
        QString error;
        if (!graph_->RenderFile(path, &error) || !graph_->Run())
            std::fprintf(stderr, "minimal_station: %s\n", qUtf8Printable(error));
    }

    std::unique_ptr<GraphFactory> graphs_;
    QString clip_;
    std::shared_ptr<FilterGraph> graph_;
    QLocalServer server_;
    QLocalSocket* peer_ = nullptr;
    QTimer timer1_, timer2_, timer3_, timer5_, beacon8_;
    quint64 ticks_ = 0;
    bool keyed_ = false;
};

} // namespace

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const bool headless = args.contains(QStringLiteral("--headless"));
    if (headless)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const qsizetype clipAt = args.indexOf(QStringLiteral("--clip"));
    const QString clip = clipAt >= 0 ? args.value(clipAt + 1) : QStringLiteral("TheTimeIs");

    QString error;
    if (!initMediaRuntime(&error)) {
        std::fprintf(stderr, "minimal_station: %s\n", qUtf8Printable(error));
        return 1;
    }
    MinimalStation station(createPlatformGraphFactory(profileValue("AUDIO", "SINK")), clip);
    if (!station.listen(&error)) {
        std::fprintf(stderr, "minimal_station: %s\n", qUtf8Printable(error));
        return 1;
    }
    QLabel window(QStringLiteral("minimal station"));
    if (!headless)
        window.show();
    return app.exec();
}
