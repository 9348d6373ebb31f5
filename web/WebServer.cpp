// SPDX-License-Identifier: GPL-3.0-or-later
#include "WebServer.h"

#include "PageTexts.h"
#include "StationModel.h"
#include "WebJson.h"
#include "WebToken.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHttpServerRequest>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>

#include <unistd.h>

namespace {

using Method = QHttpServerRequest::Method;

const QByteArray ContentSecurityPolicy =
    "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data:; connect-src 'self'; "
    "frame-ancestors 'none'; base-uri 'none'; form-action 'self'";
const QByteArray JsonType = "application/json; charset=utf-8";
const QByteArray CookieName = "tempovox_token";
// A page that reads too slowly for its events is dropped rather than buffered without end.
constexpr qint64 MaxStreamBacklog = 512 * 1024;

// What the server keeps per connection; a child of its socket, so it goes with it.
class Connection : public QObject {
    Q_OBJECT
public:
    Connection(QTcpSocket* socket, int timeoutMs, std::function<void()> gone)
        : QObject(socket)
        , gone_(std::move(gone)) {
        deadline.setSingleShot(true);
        deadline.setInterval(timeoutMs);
        // The server library forgets a socket it could not parse, signals and all: the
        // deadline is what frees it then.
        QObject::connect(&deadline, &QTimer::timeout, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        deadline.start();
    }
    ~Connection() override { gone_(); }

    qint64 requestBytes = 0; // of the request under way
    bool closing = false;    // its last answer is given or on its way
    QTimer deadline;         // a request must be complete before it runs out

private:
    std::function<void()> gone_;
};

Connection* connectionOf(QTcpSocket* socket) {
    return socket->findChild<Connection*>(QString(), Qt::FindDirectChildrenOnly);
}

void closeSoon(QTcpSocket* socket) {
    // Not at once: the server library may still be inside its read handler for this socket.
    QMetaObject::invokeMethod(socket, &QTcpSocket::disconnectFromHost, Qt::QueuedConnection);
}

// The first value of a header, any case; `count` tells how many there were.
QByteArray header(const QHttpServerRequest& request, QByteArrayView name, int* count = nullptr) {
    QByteArray value;
    int found = 0;
    for (const auto& [key, text] : request.headers()) {
        if (QByteArrayView(key).compare(name, Qt::CaseInsensitive) == 0 && found++ == 0)
            value = text.trimmed();
    }
    if (count)
        *count = found;
    return value;
}

QByteArray cookie(const QHttpServerRequest& request, const QByteArray& name) {
    for (const auto& [key, text] : request.headers()) {
        if (QByteArrayView(key).compare("cookie", Qt::CaseInsensitive) != 0)
            continue;
        for (const QByteArray& pair : text.split(';')) {
            const qsizetype equals = pair.indexOf('=');
            if (equals > 0 && pair.left(equals).trimmed() == name)
                return pair.mid(equals + 1).trimmed();
        }
    }
    return {};
}

// The host name of a Host header, without its port, lower case; IPv6 without its brackets.
QString hostName(const QByteArray& host) {
    QString text = QString::fromLatin1(host).trimmed().toLower();
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype end = text.indexOf(QLatin1Char(']'));
        return end < 0 ? QString() : text.mid(1, end - 1);
    }
    if (text.count(QLatin1Char(':')) == 1)
        text = text.left(text.indexOf(QLatin1Char(':')));
    return text;
}

QByteArray reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 202:
        return "Accepted";
    case 303:
        return "See Other";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Content Too Large";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    }
    return "Status";
}

QByteArray contentType(const QString& name) {
    const QString suffix = QFileInfo(name).suffix().toLower();
    if (suffix == QLatin1String("html"))
        return "text/html; charset=utf-8";
    if (suffix == QLatin1String("css"))
        return "text/css; charset=utf-8";
    if (suffix == QLatin1String("js"))
        return "text/javascript; charset=utf-8";
    if (suffix == QLatin1String("svg"))
        return "image/svg+xml";
    if (suffix == QLatin1String("png"))
        return "image/png";
    if (suffix == QLatin1String("json"))
        return JsonType;
    return "application/octet-stream";
}

QByteArray sseEvent(const char* name, const QJsonObject& data) {
    return QByteArray("event: ") + name + "\ndata: " + QJsonDocument(data).toJson(QJsonDocument::Compact) +
           "\n\n";
}

// A whole number from JSON, or nothing.
std::optional<int> wholeNumber(const QJsonValue& value) {
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (number != std::floor(number) || std::abs(number) > 1e9)
        return std::nullopt;
    return static_cast<int>(number);
}

// The routes. Every one but the page's own files and texts needs the token.
enum class Route {
    Page,
    Texts,
    Status,
    Announcements,
    Log,
    Settings,
    Playback,
    Announce,
    Release,
    Events,
    Metrics
};

struct RouteEntry {
    const char* path;
    Route route;
    QHttpServerRequest::Methods methods;
    bool needsToken;
};

const RouteEntry Routes[] = {
    {"/api/texts", Route::Texts, Method::Get, false},
    {"/api/status", Route::Status, Method::Get, true},
    {"/api/announcements", Route::Announcements, Method::Get, true},
    {"/api/log", Route::Log, Method::Get, true},
    {"/api/settings", Route::Settings, Method::Get | Method::Put, true},
    {"/api/playback", Route::Playback, Method::Put, true},
    {"/api/announce", Route::Announce, Method::Post, true},
    {"/api/release", Route::Release, Method::Post, true},
    {"/api/events", Route::Events, Method::Get, true},
    {"/metrics", Route::Metrics, Method::Get, true},
};

QByteArray allowed(QHttpServerRequest::Methods methods) {
    QByteArrayList names;
    if (methods & Method::Get)
        names << "GET";
    if (methods & Method::Put)
        names << "PUT";
    if (methods & Method::Post)
        names << "POST";
    return names.join(", ");
}

QLoggingCategory::CategoryFilter previousFilter = nullptr;

// The server library warns once per refused upgrade or unreadable request: any client could
// fill the log with them. Its refusals are answered here instead.
void quietServerLibrary(QLoggingCategory* category) {
    if (previousFilter)
        previousFilter(category);
    if (qstrncmp(category->categoryName(), "qt.httpserver", 13) == 0)
        category->setEnabled(QtWarningMsg, false);
}

} // namespace

struct WebServer::Answer {
    int status = 200;
    QByteArray type;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
    bool authenticated = false; // never kept in a cache
    bool close = false;
    int delayMs = 0;

    static Answer make(int status, const QByteArray& type, const QByteArray& body) {
        Answer answer;
        answer.status = status;
        answer.type = type;
        answer.body = body;
        return answer;
    }
    static Answer json(int status, const QJsonObject& object) {
        Answer answer = make(status, JsonType, QJsonDocument(object).toJson(QJsonDocument::Compact));
        answer.authenticated = true;
        return answer;
    }
    static Answer error(int status, const QString& text) {
        Answer answer = json(status, {{QStringLiteral("error"), text}});
        answer.close = status != 404 && status != 405 && status != 400;
        return answer;
    }
};

class WebServer::Listener : public QTcpServer {
public:
    Listener(const WebServerOptions& options, WebServer* server)
        : QTcpServer(server)
        , options_(options)
        , server_(server) {}

protected:
    void incomingConnection(qintptr descriptor) override {
        if (live_ >= options_.maxConnections) {
            ::close(static_cast<int>(descriptor));
            return;
        }
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        ++live_;
        // The connections outlive the listener's own destructor, which deletes them as its children.
        auto* connection = new Connection(socket, options_.requestTimeoutMs, [self = QPointer(this)] {
            if (self)
                --self->live_;
        });
        // Room for one request too many, so that an oversized one is seen and refused.
        socket->setReadBufferSize(options_.maxRequestBytes + 1);
        // Connected before the server library's own handler, so it sees every byte first.
        connect(socket, &QTcpSocket::readyRead, connection, [this, socket, connection] {
            connection->requestBytes += socket->bytesAvailable();
            if (connection->requestBytes > options_.maxRequestBytes && !connection->closing)
                server_->send(socket, Answer::error(413, QStringLiteral("request too large")), true);
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        addPendingConnection(socket);
    }

private:
    const WebServerOptions& options_;
    WebServer* server_;
    int live_ = 0;
};

WebServer::WebServer(StationModel& station, WebServerOptions options, QObject* parent)
    : QAbstractHttpServer(parent)
    , station_(station)
    , options_(std::move(options)) {
    // The page's files sit in a static library, whose resources are not registered by themselves.
    Q_INIT_RESOURCE(page);
    static const bool quiet = [] {
        previousFilter = QLoggingCategory::installFilter(quietServerLibrary);
        return true;
    }();
    Q_UNUSED(quiet);
    for (QString& host : options_.hosts)
        host = host.trimmed().toLower();

    coalesce_.setSingleShot(true);
    coalesce_.setInterval(options_.coalesceMs);
    connect(&coalesce_, &QTimer::timeout, this, &WebServer::sendStatus);
    clockTick_.setSingleShot(true);
    clockTick_.setTimerType(Qt::PreciseTimer);
    connect(&clockTick_, &QTimer::timeout, this, [this] {
        sendStatus();
        scheduleClockTick();
    });
    connect(&station_, &StationModel::statusChanged, this, [this] {
        if (!streams_.isEmpty() && !coalesce_.isActive())
            coalesce_.start();
    });
    connect(&station_, &StationModel::settingsChanged, this, [this] {
        if (!streams_.isEmpty())
            broadcast(sseEvent("settings", WebJson::settings(station_.settings())));
    });
    connect(&station_, &StationModel::announcementEnded, this, [this](const AnnouncementRecord& record) {
        broadcast(sseEvent("announcement", WebJson::announcement(record)));
    });
    connect(&station_, &StationModel::logLineAdded, this,
            [this](const LogLine& line) { broadcast(sseEvent("log", WebJson::logLine(line))); });
}

WebServer::~WebServer() = default;

bool WebServer::start(QString* error) {
    listener_ = new Listener(options_, this);
    if (!listener_->listen(options_.address, options_.port)) {
        *error = listener_->errorString();
        delete listener_;
        listener_ = nullptr;
        return false;
    }
    bind(listener_);
    return true;
}

quint16 WebServer::port() const {
    return listener_ ? listener_->serverPort() : 0;
}

bool WebServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    Connection* connection = connectionOf(socket);
    if (!connection || connection->closing)
        return true;
    connection->requestBytes = 0;
    bool streaming = false;
    const Answer answer = route(request, socket, &streaming);
    if (streaming)
        return true;
    const bool close =
        answer.close || header(request, "connection").compare("close", Qt::CaseInsensitive) == 0;
    if (answer.delayMs > 0) {
        connection->closing = true;
        QTimer::singleShot(answer.delayMs, socket, [this, socket, answer] { send(socket, answer, true); });
        return true;
    }
    send(socket, answer, close);
    connection->deadline.start();
    return true;
}

void WebServer::missingHandler(const QHttpServerRequest&, QTcpSocket* socket) {
    // The library's own fallback: every request is taken above, so this answers only what the
    // library sets aside itself, a protocol upgrade.
    if (Connection* connection = connectionOf(socket); connection && !connection->closing) {
        connection->closing = true;
        send(socket, Answer::error(400, QStringLiteral("protocol upgrades are not offered")), true);
    }
}

WebServer::Answer WebServer::route(const QHttpServerRequest& request, QTcpSocket* socket, bool* streaming) {
    // Every rule that refuses a request is here, before any route runs; the routes themselves
    // check nothing but their own input.
    int hostCount = 0;
    const QByteArray host = header(request, "host", &hostCount);
    if (request.headers().size() > options_.maxHeaders)
        return Answer::error(431, QStringLiteral("too many header fields"));
    const QString name = hostName(host);
    const bool hostKnown =
        !name.isEmpty() &&
        (name == QLatin1String("localhost") || name == options_.address.toString().toLower() ||
         name == options_.hostName.toLower() || options_.hosts.contains(name));
    if (hostCount != 1 || !hostKnown)
        return Answer::error(403, QStringLiteral("this station does not answer to the host name %1; "
                                                 "list it in [WEB] HOSTS")
                                      .arg(QString::fromLatin1(host.left(100))));

    if (!header(request, "upgrade").isEmpty())
        return Answer::error(400, QStringLiteral("protocol upgrades are not offered"));

    const QString path = request.url().path();
    const Method method = request.method();
    const RouteEntry* entry = nullptr;
    for (const RouteEntry& candidate : Routes) {
        if (path == QLatin1String(candidate.path))
            entry = &candidate;
    }
    QString file;
    if (!entry) {
        file = path == QLatin1String("/") ? QStringLiteral("index.html") : path.mid(1);
        const bool known = !file.contains(QLatin1Char('/')) &&
                           QDir(QStringLiteral(":/web")).entryList(QDir::Files).contains(file);
        if (!known)
            return Answer::error(404, QStringLiteral("no such page: %1").arg(path.left(200)));
        static const RouteEntry page{"/", Route::Page, Method::Get, false};
        entry = &page;
    }
    if (!(entry->methods & method)) {
        Answer answer = Answer::error(
            405, QStringLiteral("%1 takes %2").arg(path, QString::fromLatin1(allowed(entry->methods))));
        answer.headers.emplaceBack("Allow", allowed(entry->methods));
        return answer;
    }

    const QByteArray authorization = header(request, "authorization");
    const QByteArray queryToken =
        entry->route == Route::Page && path == QLatin1String("/")
            ? QUrlQuery(request.url()).queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded).toUtf8()
            : QByteArray();
    const bool hasQueryToken = QUrlQuery(request.url()).hasQueryItem(QStringLiteral("token"));
    if (entry->needsToken || (entry->route == Route::Page && hasQueryToken)) {
        QByteArray given;
        bool viaCookie = false;
        if (!authorization.isEmpty()) {
            if (authorization.left(7).compare("bearer ", Qt::CaseInsensitive) == 0)
                given = authorization.mid(7).trimmed();
        } else if (hasQueryToken) {
            given = queryToken;
        } else {
            given = cookie(request, CookieName);
            viaCookie = true;
        }
        if (given.isEmpty() || !WebToken::matches(options_.token, given)) {
            Answer answer = Answer::error(
                401, given.isEmpty() ? QStringLiteral("a token is needed: open the address printed at start")
                                     : QStringLiteral("wrong token: open the address printed at start"));
            answer.headers.emplaceBack("WWW-Authenticate", "Bearer");
            answer.delayMs = given.isEmpty() ? 0 : options_.failureDelayMs;
            return answer;
        }
        if (hasQueryToken) {
            Answer answer = Answer::make(303, {}, {});
            answer.authenticated = true;
            answer.headers.emplaceBack("Location", "/");
            answer.headers.append(
                {"Set-Cookie", CookieName + '=' + options_.token + "; HttpOnly; SameSite=Strict; Path=/"});
            return answer;
        }
        // A browser sends the cookie with any request to this address, whichever page asked.
        const bool changes = method != Method::Get;
        if (viaCookie && changes) {
            const QUrl origin(QString::fromLatin1(header(request, "origin")));
            const QString originAuthority =
                origin.host().toLower() +
                (origin.port() < 0 ? QString() : QStringLiteral(":%1").arg(origin.port()));
            const bool sameOrigin =
                (origin.scheme() == QLatin1String("http") || origin.scheme() == QLatin1String("https")) &&
                originAuthority == QString::fromLatin1(host).toLower();
            if (header(request, "x-tempovox-request") != "1" || !sameOrigin)
                return Answer::error(403,
                                     QStringLiteral("a change needs the header X-Tempovox-Request: 1 and "
                                                    "an Origin of this station"));
        }
    }

    return respond(static_cast<int>(entry->route), file, request, socket, streaming);
}

WebServer::Answer WebServer::respond(int route, const QString& file, const QHttpServerRequest& request,
                                     QTcpSocket* socket, bool* streaming) {
    const Method method = request.method();
    QJsonObject body;
    if (method == Method::Put) {
        QJsonParseError parseError{};
        const QJsonDocument document = QJsonDocument::fromJson(request.body(), &parseError);
        if (!document.isObject())
            return Answer::error(400, QStringLiteral("the body must be a JSON object"));
        body = document.object();
    }

    switch (static_cast<Route>(route)) {
    case Route::Page: {
        QFile resource(QStringLiteral(":/web/") + file);
        resource.open(QIODevice::ReadOnly);
        Answer answer = Answer::make(200, contentType(file), resource.readAll());
        answer.headers.emplaceBack("Cache-Control", "no-cache");
        return answer;
    }
    case Route::Texts: {
        const QString language = station_.status().language;
        return Answer::json(
            200, {{QStringLiteral("language"), language}, {QStringLiteral("texts"), pageTexts(language)}});
    }
    case Route::Status:
        return Answer::json(200, WebJson::status(station_.status()));
    case Route::Announcements: {
        QJsonArray list;
        for (const AnnouncementRecord& record : station_.announcements())
            list.append(WebJson::announcement(record));
        return Answer::json(200, {{QStringLiteral("announcements"), list}});
    }
    case Route::Log: {
        QJsonArray list;
        for (const LogLine& line : station_.logLines())
            list.append(WebJson::logLine(line));
        return Answer::json(200, {{QStringLiteral("lines"), list}});
    }
    case Route::Settings: {
        if (method == Method::Put) {
            const QJsonValue values = body.value(QStringLiteral("values"));
            if (!values.isObject())
                return Answer::error(400, QStringLiteral("the body must be {\"values\": {...}}"));
            QMap<QString, QString> changes;
            const QJsonObject object = values.toObject();
            for (auto it = object.begin(); it != object.end(); ++it) {
                if (it.value().isString())
                    changes.insert(it.key(), it.value().toString());
                else if (it.value().isDouble())
                    changes.insert(it.key(), QString::number(it.value().toDouble()));
                else if (it.value().isBool())
                    changes.insert(it.key(),
                                   it.value().toBool() ? QStringLiteral("True") : QStringLiteral("False"));
                else
                    return Answer::error(400, QStringLiteral("%1 must be a text").arg(it.key()));
            }
            QString error;
            bool saveFailed = false;
            if (!station_.applySettings(changes, &error, &saveFailed)) {
                Answer answer = Answer::error(saveFailed ? 500 : 400, error);
                answer.close = false;
                return answer;
            }
        }
        return Answer::json(200, WebJson::settings(station_.settings()));
    }
    case Route::Playback: {
        std::optional<int> volume;
        std::optional<int> speed;
        for (auto it = body.begin(); it != body.end(); ++it) {
            const auto number = wholeNumber(it.value());
            if (it.key() == QLatin1String("volume") && number && *number >= MinVolume && *number <= MaxVolume)
                volume = number;
            else if (it.key() == QLatin1String("speed") && number && *number >= MinSpeed &&
                     *number <= MaxSpeed)
                speed = number;
            else
                return Answer::error(
                    400, QStringLiteral("volume takes a whole number from %1 to %2, speed from %3 to %4")
                             .arg(MinVolume)
                             .arg(MaxVolume)
                             .arg(MinSpeed)
                             .arg(MaxSpeed));
        }
        if (!volume && !speed)
            return Answer::error(400, QStringLiteral("give volume, speed or both"));
        if (volume)
            station_.setVolume(*volume);
        if (speed)
            station_.setSpeed(*speed);
        const StationStatus now = station_.status();
        return Answer::json(200,
                            {{QStringLiteral("volume"), now.volume}, {QStringLiteral("speed"), now.speed}});
    }
    case Route::Announce:
        station_.announce();
        return Answer::json(202, {{QStringLiteral("started"), true}});
    case Route::Release:
        station_.release();
        return Answer::json(200, {{QStringLiteral("released"), true}});
    case Route::Events:
        *streaming = true;
        startStream(socket);
        return {};
    case Route::Metrics: {
        Answer answer = Answer::make(200, "text/plain; version=0.0.4; charset=utf-8",
                                     WebJson::metrics(station_.counters(), station_.status().keyed));
        answer.authenticated = true;
        return answer;
    }
    }
    return Answer::error(404, QStringLiteral("no such page"));
}

void WebServer::send(QTcpSocket* socket, const Answer& answer, bool close) {
    // A client that hung up while its answer was held back gets none.
    if (socket->state() != QAbstractSocket::ConnectedState)
        return;
    QByteArray out =
        "HTTP/1.1 " + QByteArray::number(answer.status) + ' ' + reasonPhrase(answer.status) + "\r\n";
    if (!answer.type.isEmpty())
        out += "Content-Type: " + answer.type + "\r\n";
    out += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
    out += "Content-Security-Policy: " + ContentSecurityPolicy + "\r\n";
    out += "X-Frame-Options: DENY\r\nX-Content-Type-Options: nosniff\r\nReferrer-Policy: no-referrer\r\n";
    if (answer.authenticated)
        out += "Cache-Control: no-store\r\n";
    for (const auto& [name, value] : answer.headers)
        out += name + ": " + value + "\r\n";
    if (close)
        out += "Connection: close\r\n";
    out += "\r\n" + answer.body;
    socket->write(out);
    if (close) {
        if (Connection* connection = connectionOf(socket))
            connection->closing = true;
        closeSoon(socket);
    }
}

void WebServer::startStream(QTcpSocket* socket) {
    if (Connection* connection = connectionOf(socket)) {
        connection->deadline.stop();
        // Anything a page sends on its stream is a request too many.
        connection->closing = true;
    }
    socket->write(
        "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream; charset=utf-8\r\nCache-Control: no-store\r\n"
        "Content-Security-Policy: " +
        ContentSecurityPolicy +
        "\r\nX-Frame-Options: DENY\r\nX-Content-Type-Options: nosniff\r\nConnection: close\r\n\r\n"
        "retry: 2000\n\n" +
        sseEvent("status", WebJson::status(station_.status())));
    streams_.append(socket);
    if (!clockTick_.isActive())
        scheduleClockTick();
}

void WebServer::broadcast(const QByteArray& data) {
    streams_.removeIf(
        [](const QPointer<QTcpSocket>& s) { return !s || s->state() != QAbstractSocket::ConnectedState; });
    for (const QPointer<QTcpSocket>& socket : std::as_const(streams_)) {
        if (socket->bytesToWrite() > MaxStreamBacklog) {
            socket->abort();
            continue;
        }
        socket->write(data);
        // Written now, in this wake-up, rather than one more wake-up per page to flush it.
        socket->flush();
    }
}

void WebServer::sendStatus() {
    coalesce_.stop();
    broadcast(sseEvent("status", WebJson::status(station_.status())));
}

void WebServer::scheduleClockTick() {
    streams_.removeIf(
        [](const QPointer<QTcpSocket>& s) { return !s || s->state() != QAbstractSocket::ConnectedState; });
    if (streams_.isEmpty())
        return;
    // Just after the second turns, as the window's clock does.
    const int msec = QTime::currentTime().msec();
    clockTick_.start(1000 - msec + 5);
}

#include "WebServer.moc"
