// SPDX-License-Identifier: GPL-3.0-or-later
#include "EndToEndRun.h"

#include "RecordingTimes.h"

#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace e2e {

namespace {

// libfaketime, preloaded directly rather than through the faketime wrapper, which would stand
// between the test and the program's process id, signals and exit status.
QString fakeTimeLibrary() {
    QStringList folders = {QStringLiteral("/usr/lib/faketime"), QStringLiteral("/usr/local/lib/faketime")};
    const QDir lib(QStringLiteral("/usr/lib"));
    for (const QString& arch : lib.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        folders << lib.filePath(arch) + QStringLiteral("/faketime");
    for (const QString& folder : folders) {
        const QString path = folder + QStringLiteral("/libfaketimeMT.so.1");
        if (QFileInfo::exists(path))
            return path;
    }
    return {};
}

QString relative(qint64 ms, qint64 origin) {
    return QStringLiteral("+%1 ms").arg(ms - origin);
}

} // namespace

TempovoxRun::TempovoxRun(RunOptions options)
    : options_(std::move(options)) {
    clock_.start();
}

TempovoxRun::~TempovoxRun() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
    stop_ = true;
    if (monitor_.joinable())
        monitor_.join();
    for (const int fd : {link_, pipeRead_, pipeKeep_}) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool TempovoxRun::start(QString* error) {
    if (!writeTestVoice(dir_.file(QStringLiteral("voice")), options_.mp3, error))
        return false;

    // filesink truncates a seekable file at every flushing seek, and the program seeks each clip
    // as it applies volume and rate; a pipe cannot be truncated, and it is read as it is played.
    const QString pipePath = dir_.file(QStringLiteral("audio.pipe"));
    if (::mkfifo(QFile::encodeName(pipePath).constData(), 0600) != 0) {
        *error = QStringLiteral("mkfifo: ") + QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    pipeRead_ = ::open(QFile::encodeName(pipePath).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    pipeKeep_ = ::open(QFile::encodeName(pipePath).constData(), O_WRONLY | O_CLOEXEC);
    if (pipeRead_ < 0 || pipeKeep_ < 0) {
        *error = QStringLiteral("cannot open the recording pipe");
        return false;
    }

    QByteArray ini = "[SETTINGS]\nFILELOCATION=" + voiceFolder().toUtf8() + "\n";
    // No language chosen: the voice folder is FILELOCATION.
    for (const char* key : {"OPTION3", "OPTION4", "OPTION7", "OPTION8", "OPTION10"})
        ini += QByteArray(key) + "=False\n";
    ini += options_.mp3 ? "OPTIONWAV=False\nOPTIONMP3=True\n" : "OPTIONWAV=True\nOPTIONMP3=False\n";
    for (const auto& [key, value] : options_.settings)
        ini += key.toUtf8() + '=' + value.toUtf8() + '\n';
    // Real time (sync) and unbuffered, so that audio reaches the pipe when it is played.
    ini += "[AUDIO]\nSINK=audioconvert ! audioresample ! audio/x-raw,format=S16LE,rate=" +
           QByteArray::number(RecordRate) + ",channels=1 ! filesink location=" + QFile::encodeName(pipePath) +
           " sync=true buffer-mode=unbuffered\n";
    ini += options_.extraSettings;
    dir_.write(QStringLiteral("config/Tempovox.ini"), ini);

    const QString runtime = dir_.file(QStringLiteral("runtime"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_.file(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
    if (!options_.window) {
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    }
    if (!options_.fakeStart.isEmpty() || options_.fakeOffsetSeconds) {
        const QString library = fakeTimeLibrary();
        if (library.isEmpty()) {
            *error = QStringLiteral("libfaketime is missing (install the Debian package faketime)");
            return false;
        }
        const QString preload = env.value(QStringLiteral("LD_PRELOAD"));
        env.insert(QStringLiteral("LD_PRELOAD"),
                   preload.isEmpty() ? library : preload + QLatin1Char(':') + library);
        env.insert(QStringLiteral("FAKETIME"),
                   options_.fakeOffsetSeconds
                       ? QStringLiteral("%1%2").arg(*options_.fakeOffsetSeconds < 0 ? QString()
                                                                                    : QStringLiteral("+"),
                                                    QString::number(*options_.fakeOffsetSeconds))
                       : QLatin1Char('@') + options_.fakeStart);
        // Timers and the media clock keep real monotonic time.
        env.insert(QStringLiteral("FAKETIME_DONT_FAKE_MONOTONIC"), QStringLiteral("1"));
        // File times stay true, or the media framework would take its plugin cache for stale.
        env.insert(QStringLiteral("NO_FAKE_STAT"), QStringLiteral("1"));
    }
    process_.setProcessEnvironment(env);
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.setStandardErrorFile(dir_.file(QStringLiteral("stderr.txt")));
    startedUs_ = nowUs();
    if (!options_.program.isEmpty())
        process_.start(options_.program, options_.arguments);
    else
        process_.start(QStringLiteral(TEMPOVOX_BINARY),
                       options_.window ? QStringList() : QStringList{QStringLiteral("--headless")});
    if (!process_.waitForStarted(5000)) {
        *error = QStringLiteral("cannot start the program: ") + process_.errorString();
        return false;
    }
    if (!connectLink(error))
        return false;
    monitor_ = std::thread([this] { monitor(); });
    if (!waitFor([&] { return !linesSince({}).isEmpty(); }, 5000)) {
        *error = QStringLiteral("no INFO line on the link");
        return false;
    }
    for (const Event& event : eventsSince({})) {
        if (event.kind == Event::Kind::Line) {
            readyMs_ = event.ms;
            break;
        }
    }
    return true;
}

bool TempovoxRun::connectLink(QString* error) {
    const QByteArray path = QFile::encodeName(dir_.file(QStringLiteral("runtime/tempovox/link.sock")));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof address.sun_path) {
        *error = QStringLiteral("socket path too long");
        return false;
    }
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    // The first start of the media framework may build its plugin cache: allow for it.
    const qint64 deadline = nowMs() + 30000;
    while (nowMs() < deadline) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            link_ = fd;
            listeningUs_ = nowUs();
            return true;
        }
        if (fd >= 0)
            ::close(fd);
        // Often enough for start-up to be timed by it.
        if (process_.waitForFinished(1)) {
            *error = QStringLiteral("the program ended at start-up: ") + errorLines().join(QLatin1Char('\n'));
            return false;
        }
    }
    *error = QStringLiteral("the link socket did not answer: ") + errorLines().join(QLatin1Char('\n'));
    return false;
}

void TempovoxRun::monitor() {
    std::vector<char> buffer(1 << 16);
    QByteArray partial;
    int link = link_;
    while (!stop_) {
        pollfd fds[2] = {{pipeRead_, POLLIN, 0}, {link, POLLIN, 0}};
        ::poll(fds, link >= 0 ? 2 : 1, 20);
        // The link first: a line that was sent before some audio is recorded before it.
        while (link >= 0) {
            const ssize_t n = ::read(link, buffer.data(), buffer.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EAGAIN)
                break;
            if (n <= 0) {
                addEvent(Event::Kind::LinkClosed, {});
                link = -1;
                break;
            }
            partial.append(buffer.data(), n);
            for (qsizetype end; (end = partial.indexOf('\n')) >= 0;) {
                QByteArray line = partial.left(end);
                partial.remove(0, end + 1);
                if (line.endsWith('\r'))
                    line.chop(1);
                addEvent(Event::Kind::Line, line);
            }
        }
        for (;;) {
            const ssize_t n = ::read(pipeRead_, buffer.data(), buffer.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            const qint64 us = nowUs();
            const std::lock_guard lock(mutex_);
            Event event{Event::Kind::Audio, us / 1000, {}, audio_.size(), audio_.size() + n, us};
            audio_.append(buffer.data(), n);
            events_.push_back(std::move(event));
        }
    }
}

void TempovoxRun::addEvent(Event::Kind kind, QByteArray line) {
    const qint64 us = nowUs();
    const std::lock_guard lock(mutex_);
    events_.push_back({kind, us / 1000, std::move(line), 0, 0, us});
}

void TempovoxRun::send(const QByteArray& line) {
    addEvent(Event::Kind::Sent, line);
    const QByteArray data = line + '\n';
    // Short lines on a local socket that the program reads: written whole or not at all.
    if (::send(link_, data.constData(), size_t(data.size()), MSG_NOSIGNAL) != data.size())
        addEvent(Event::Kind::Sent, "(the line above could not be sent)");
}

void TempovoxRun::terminate() {
    addEvent(Event::Kind::Sent, "(SIGTERM)");
    ::kill(pid_t(process_.processId()), SIGTERM);
}

Mark TempovoxRun::mark() const {
    const std::lock_guard lock(mutex_);
    return {events_.size(), nowMs()};
}

bool TempovoxRun::waitFor(const std::function<bool()>& condition, int timeoutMs) {
    return QTest::qWaitFor(condition, timeoutMs);
}

std::vector<Event> TempovoxRun::eventsSince(const Mark& from) const {
    const std::lock_guard lock(mutex_);
    return {events_.begin() + qsizetype(std::min(from.event, events_.size())), events_.end()};
}

QStringList TempovoxRun::linesSince(const Mark& from) const {
    QStringList lines;
    for (const Event& event : eventsSince(from)) {
        if (event.kind == Event::Kind::Line)
            lines << QString::fromUtf8(event.line);
    }
    return lines;
}

QString TempovoxRun::logSince(const Mark& from) const {
    const std::vector<Event> events = eventsSince(from);
    QStringList log = {
        QStringLiteral("times after the mark; the program started %1").arg(relative(startedMs(), from.ms))};
    // Lines as they came, a run of one line repeated (PTT 1 while speaking) as one entry.
    const Event* repeated = nullptr;
    qint64 repeatedUntil = 0;
    const auto closeRepeat = [&] {
        if (!repeated)
            return;
        QString entry = QStringLiteral("  %1 got %2")
                            .arg(relative(repeated->ms, from.ms), QString::fromUtf8(repeated->line));
        if (repeatedUntil != repeated->ms)
            entry += QStringLiteral(" (repeated until %1)").arg(relative(repeatedUntil, from.ms));
        log << entry;
        repeated = nullptr;
    };
    for (const Event& event : events) {
        switch (event.kind) {
        case Event::Kind::Line:
            if (!repeated || repeated->line != event.line) {
                closeRepeat();
                repeated = &event;
            }
            repeatedUntil = event.ms;
            break;
        case Event::Kind::Sent:
            closeRepeat();
            log << QStringLiteral("  %1 sent %2")
                       .arg(relative(event.ms, from.ms), QString::fromUtf8(event.line));
            break;
        case Event::Kind::LinkClosed:
            closeRepeat();
            log << QStringLiteral("  %1 link closed").arg(relative(event.ms, from.ms));
            break;
        case Event::Kind::Audio:
            break;
        }
    }
    closeRepeat();
    const std::vector<Chunk> chunks = chunksOf(events);
    if (!chunks.empty()) {
        const qint64 begin = chunks.front().begin & ~qint64(1);
        const QByteArray recording = audio(begin).left(chunks.back().end - begin);
        log << QStringLiteral("  audio read from %1 (%2 s recorded)")
                   .arg(relative(events.front().ms, from.ms))
                   .arg(double(recording.size()) / RecordBytesPerSecond, 0, 'f', 2);
        log << QStringLiteral("  heard: ") + describe(identifyClips(recording));
    } else {
        log << QStringLiteral("  no audio");
    }
    return log.join(QLatin1Char('\n'));
}

QStringList TempovoxRun::errorLines() const {
    return QString::fromUtf8(dir_.read(QStringLiteral("stderr.txt")))
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QByteArray TempovoxRun::audio(qint64 from) const {
    const std::lock_guard lock(mutex_);
    // A copy of the part asked for: sharing the whole would make the next append copy it all.
    return from == 0 ? audio_ : QByteArray(audio_.constData() + from, audio_.size() - from);
}

QString TempovoxRun::programFolder() {
    return QFileInfo(QStringLiteral(TEMPOVOX_BINARY)).absolutePath();
}

} // namespace e2e
