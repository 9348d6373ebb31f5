// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <QTimer>

class QTcpSocket;
class StationModel;
struct LogLine;
struct AnnouncementRecord;

struct WebServerOptions {
    QHostAddress address = QHostAddress::LocalHost;
    quint16 port = 8073; // 0: any free port
    QByteArray token;    // what every request but the static files must show
    QStringList hosts;   // names the Host header may give besides the address and localhost
    QString hostName;    // the name LISTEN gave, when it was one
    int maxConnections = 128;
    qint64 maxRequestBytes = 64 * 1024; // request line, headers and body together
    int maxHeaders = 64;
    int requestTimeoutMs = 10000; // a connection must complete a request in this time
    int failureDelayMs = 1000;    // how long a wrong token waits for its answer
    int coalesceMs = 5;           // changes this close together go out as one status event
};

// The station page's server: the page's files, the JSON API, the server-sent events and the
// metrics. Every request passes the same checks before any route sees it.
class WebServer : public QAbstractHttpServer {
    Q_OBJECT
public:
    WebServer(StationModel& station, WebServerOptions options, QObject* parent = nullptr);
    ~WebServer() override;

    // Listens on the options' address; false with the reason when it cannot.
    bool start(QString* error);
    quint16 port() const;
    const QByteArray& token() const { return options_.token; }
    int eventStreams() const { return streams_.size(); }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    class Listener;
    struct Answer;

    Answer route(const QHttpServerRequest& request, QTcpSocket* socket, bool* streaming);
    Answer respond(int route, const QString& file, const QHttpServerRequest& request, QTcpSocket* socket,
                   bool* streaming);
    void send(QTcpSocket* socket, const Answer& answer, bool close);
    void startStream(QTcpSocket* socket);
    void broadcast(const QByteArray& event);
    void sendStatus();
    void scheduleClockTick();

    StationModel& station_;
    WebServerOptions options_;
    Listener* listener_ = nullptr;
    QList<QPointer<QTcpSocket>> streams_;
    QTimer coalesce_;  // a status event is due
    QTimer clockTick_; // once a second while a page is open
};
