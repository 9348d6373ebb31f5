// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmarks of the station page, against the built program run headless:
//
//   web_bench latency COUNT   transmitter keyed and released on the link to the page's event
//   web_bench idle SECONDS    CPU and wake-ups with no page, one page and 50 pages open
//   web_bench rps SECONDS     answers a second to GET /api/status, four clients at once
//
// Each prints Markdown table rows. The pages are plain sockets read by threads of their own, so
// that an event is timed when it arrives, not when this program's event loop comes round.

#include "EndToEndRun.h"
#include "ProcessUsage.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTest>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

using e2e::Event;
using e2e::RunOptions;
using e2e::TempovoxRun;

namespace {

[[noreturn]] void fail(const QString& why) {
    std::fprintf(stderr, "web_bench: %s\n", qUtf8Printable(why));
    std::exit(1);
}

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// The program with its page on a port of its own, and the page's token.
struct PageRun {
    PageRun()
        : port(freePort())
        , run([this] {
            RunOptions o;
            for (const char* key : {"ONHOUR", "HALFHOUR", "QUARTERHOUR"})
                o.settings.append({QString::fromLatin1(key), QStringLiteral("0")});
            o.extraSettings = "[WEB]\nLISTEN=127.0.0.1:" + QByteArray::number(port) + '\n';
            return o;
        }()) {
        QString error;
        if (!run.start(&error))
            fail(error);
        QFile file(run.runtimeFolder() + QStringLiteral("/tempovox/web-token"));
        if (!file.open(QIODevice::ReadOnly))
            fail(QStringLiteral("no token file"));
        token = file.readAll().trimmed();
    }
    quint16 port;
    TempovoxRun run;
    QByteArray token;
};

int connectTo(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        fail(QStringLiteral("cannot connect to the page"));
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

QByteArray request(const PageRun& page, const char* path) {
    return QByteArray("GET ") + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(page.port) +
           "\r\nAuthorization: Bearer " + page.token + "\r\n\r\n";
}

// One open page: its event stream read by a thread, each change of the transmitter timed.
class Page {
public:
    Page(const PageRun& page, TempovoxRun& run)
        : fd_(connectTo(page.port)) {
        const QByteArray get = request(page, "/api/events");
        if (::write(fd_, get.constData(), size_t(get.size())) != get.size())
            fail(QStringLiteral("cannot ask for the events"));
        reader_ = std::thread([this, &run] {
            QByteArray buffer;
            char chunk[65536];
            std::optional<bool> keyed;
            for (;;) {
                const ssize_t n = ::read(fd_, chunk, sizeof chunk);
                if (n <= 0)
                    return;
                const qint64 us = run.nowUs();
                buffer.append(chunk, n);
                for (qsizetype end; (end = buffer.indexOf("\n\n")) >= 0; buffer.remove(0, end + 2)) {
                    const QByteArray block = buffer.left(end);
                    if (!block.startsWith("event: status\ndata: "))
                        continue;
                    const bool now = QJsonDocument::fromJson(block.mid(20))
                                         .object()[QStringLiteral("transmitter")][QStringLiteral("keyed")]
                                         .toBool();
                    ++events;
                    if (keyed != now) {
                        const std::lock_guard lock(mutex_);
                        changes_.push_back({us, now});
                    }
                    keyed = now;
                }
            }
        });
    }
    ~Page() {
        ::shutdown(fd_, SHUT_RDWR);
        reader_.join();
        ::close(fd_);
    }
    // When the page first showed the transmitter as `keyed` at or after `fromUs`; 0: not yet.
    qint64 shown(bool keyed, qint64 fromUs) const {
        const std::lock_guard lock(mutex_);
        for (const auto& [us, state] : changes_) {
            if (us >= fromUs && state == keyed)
                return us;
        }
        return 0;
    }
    std::atomic<int> events{0};

private:
    int fd_;
    std::thread reader_;
    mutable std::mutex mutex_;
    std::vector<std::pair<qint64, bool>> changes_;
};

void printSummary(const char* what, std::vector<double> values) {
    std::sort(values.begin(), values.end());
    if (values.empty())
        fail(QStringLiteral("nothing measured"));
    std::printf("| %s | %zu | %.1f | %.1f |\n", what, values.size(), values[values.size() / 2],
                values.back());
}

// From the link peer reading "PTT 1" (and "PTT 0") to the page's event showing it.
int latency(int count) {
    PageRun page;
    Page reader(page, page.run);
    if (!page.run.waitFor([&] { return reader.events > 0; }, 5000))
        fail(QStringLiteral("no status event"));
    std::vector<double> keyed, released;
    for (int i = 0; i < count; ++i) {
        const e2e::Mark mark = page.run.mark();
        page.run.send("DTMF 123");
        qint64 onUs = 0, offUs = 0;
        const bool done = page.run.waitFor(
            [&] {
                for (const Event& e : page.run.eventsSince(mark)) {
                    if (e.kind == Event::Kind::Line && e.line == "PTT 1" && onUs == 0)
                        onUs = e.us;
                    if (e.kind == Event::Kind::Line && e.line == "PTT 0" && onUs != 0 && offUs == 0)
                        offUs = e.us;
                }
                return offUs != 0 && reader.shown(false, offUs - 200'000) != 0;
            },
            30000);
        if (!done)
            fail(QStringLiteral("announcement %1 did not end on the page").arg(i));
        // The page may show a change a little before the peer has read its line: both are told
        // at once, and either may be read first.
        keyed.push_back(double(reader.shown(true, onUs - 200'000) - onUs) / 1000.0);
        released.push_back(double(reader.shown(false, offUs - 200'000) - offUs) / 1000.0);
        QTest::qWait(300);
    }
    std::printf("\n| link to page, ms | n | median | worst |\n|---|---|---|---|\n");
    printSummary("transmitter keyed", keyed);
    printSummary("transmitter released", released);
    return 0;
}

// Idle with 0, 1 and 50 pages open: each page costs an event a second, the clock.
int idle(int seconds) {
    std::printf("\n| pages open | CPU s | %% of one core | wake-ups/s | of which waited | RSS MB |\n"
                "|---|---|---|---|---|---|\n");
    for (const int pages : {0, 1, 50}) {
        PageRun page;
        std::vector<std::unique_ptr<Page>> open;
        for (int i = 0; i < pages; ++i)
            open.push_back(std::make_unique<Page>(page, page.run));
        QTest::qWait(3000);
        const e2e::Usage from = e2e::usageOf(page.run.processId());
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < qint64(seconds) * 1000)
            QTest::qWait(500);
        const e2e::Usage to = e2e::usageOf(page.run.processId());
        const double cpu = to.cpuSeconds - from.cpuSeconds;
        const double ms = double(timer.elapsed());
        std::printf("| %d | %.3f | %.3f | %.1f | %.1f | %.1f |\n", pages, cpu, 100.0 * cpu * 1000.0 / ms,
                    double(to.switches - from.switches) * 1000.0 / ms,
                    double(to.voluntary - from.voluntary) * 1000.0 / ms, double(to.rssKb) / 1024.0);
    }
    return 0;
}

// Keep-alive clients asking for the status one request after the other.
int rps(int seconds) {
    PageRun page;
    constexpr int Clients = 4;
    std::atomic<bool> stop{false};
    std::vector<std::vector<double>> times(Clients);
    std::vector<std::thread> clients;
    const QByteArray get = request(page, "/api/status");
    for (int c = 0; c < Clients; ++c) {
        clients.emplace_back([&, c] {
            const int fd = connectTo(page.port);
            char chunk[65536];
            QElapsedTimer clock;
            while (!stop) {
                clock.start();
                if (::write(fd, get.constData(), size_t(get.size())) != get.size())
                    break;
                QByteArray answer;
                qsizetype wanted = -1;
                while (wanted < 0 || answer.size() < wanted) {
                    const ssize_t n = ::read(fd, chunk, sizeof chunk);
                    if (n <= 0)
                        return;
                    answer.append(chunk, n);
                    const qsizetype end = answer.indexOf("\r\n\r\n");
                    const qsizetype at = answer.indexOf("Content-Length: ");
                    if (end >= 0 && at >= 0)
                        wanted =
                            end + 4 + answer.mid(at + 16, answer.indexOf('\r', at) - at - 16).toLongLong();
                }
                times[c].push_back(double(clock.nsecsElapsed()) / 1e6);
            }
            ::close(fd);
        });
    }
    QTest::qWait(seconds * 1000);
    stop = true;
    for (std::thread& t : clients)
        t.join();
    std::vector<double> all;
    for (const auto& list : times)
        all.insert(all.end(), list.begin(), list.end());
    std::printf("\n| GET /api/status, %d keep-alive clients | answers | per second | median ms | worst ms |\n"
                "|---|---|---|---|---|\n",
                Clients);
    std::sort(all.begin(), all.end());
    std::printf("| over %d s | %zu | %.0f | %.2f | %.2f |\n", seconds, all.size(),
                double(all.size()) / seconds, all.empty() ? 0.0 : all[all.size() / 2],
                all.empty() ? 0.0 : all.back());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString command = args.value(1);
    const int number = args.value(2).toInt();
    if (number <= 0)
        fail(QStringLiteral("usage: web_bench latency|idle|rps NUMBER"));
    e2e::scaleTestVoice(0.5);
    if (command == QLatin1String("latency"))
        return latency(number);
    if (command == QLatin1String("idle"))
        return idle(number);
    if (command == QLatin1String("rps"))
        return rps(number);
    fail(QStringLiteral("unknown benchmark ") + command);
}
