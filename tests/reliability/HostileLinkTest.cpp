#include "TempDir.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Polls `done` until it holds or the time is up; the passing path never waits that long.
bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

struct Received {
    Clock::time_point at;
    std::string text;
};

// One connection to the link on a bare descriptor, so that a test can do what a well-behaved
// client would not: never read, half-write a line, send any byte.
class Peer {
public:
    static std::unique_ptr<Peer> connectTo(const std::string& path) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return nullptr;
        // Bounds a connect that waits for room in a full listen backlog.
        const timeval limit{2, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.c_str(), std::min(path.size(), sizeof address.sun_path - 1));
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            return nullptr;
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        return std::unique_ptr<Peer>(new Peer(fd));
    }
    ~Peer() { ::close(fd_); }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    int fd() const { return fd_; }

    // False once the program has closed the connection, or when it takes no byte for timeoutMs.
    bool send(std::string_view data, int timeoutMs = 3000) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!data.empty()) {
            const ssize_t sent = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
            if (sent > 0) {
                data.remove_prefix(static_cast<size_t>(sent));
                continue;
            }
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN || Clock::now() >= deadline)
                return false;
            pollfd writable{fd_, POLLOUT, 0};
            ::poll(&writable, 1, 20);
        }
        return true;
    }

    // Takes in what has arrived, without waiting; false once the connection has ended.
    bool drain() {
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
            if (got > 0) {
                take(std::string_view(buffer, static_cast<size_t>(got)));
                continue;
            }
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0 && errno == EAGAIN)
                return true;
            ended = true; // end of stream, or reset after a drop
            return false;
        }
    }

    bool waitForLines(size_t count, int timeoutMs) {
        waitUntil(
            [&] {
                drain();
                return lines.size() >= count || ended;
            },
            timeoutMs);
        return lines.size() >= count;
    }

    bool waitForEnd(int timeoutMs) {
        return waitUntil([&] { return !drain(); }, timeoutMs);
    }

    // Whether the program has closed its end, found without reading from the connection.
    bool hungUp() const {
        pollfd state{fd_, 0, 0};
        return ::poll(&state, 1, 0) == 1 && (state.revents & (POLLHUP | POLLERR)) != 0;
    }

    size_t count(std::string_view text) const {
        return size_t(
            std::count_if(lines.begin(), lines.end(), [&](const Received& r) { return r.text == text; }));
    }

    std::vector<Received> lines;
    bool ended = false;

private:
    explicit Peer(int fd)
        : fd_(fd) {}

    void take(std::string_view bytes) {
        const auto now = Clock::now();
        partial_.append(bytes);
        size_t start = 0;
        for (size_t end; (end = partial_.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back({now, partial_.substr(start, end - start)});
        partial_.erase(0, start);
    }

    int fd_;
    std::string partial_;
};

// The client that behaves: it reads on a thread of its own and notes when each line came.
class GoodClient {
public:
    explicit GoodClient(std::unique_ptr<Peer> peer)
        : peer_(std::move(peer))
        , thread_([this] { run(); }) {}
    ~GoodClient() {
        stop_ = true;
        thread_.join();
    }

    std::vector<Received> lines() const {
        const std::lock_guard lock(mutex_);
        return peer_->lines;
    }
    size_t lineCount() const {
        const std::lock_guard lock(mutex_);
        return peer_->lines.size();
    }
    bool ended() const {
        const std::lock_guard lock(mutex_);
        return peer_->ended;
    }
    // Sending and reading touch different state of the descriptor.
    bool send(std::string_view data) { return peer_->send(data); }

    // Waits for `text` among the lines from index `from` on; returns its index or -1.
    long waitForLine(std::string_view text, size_t from, int timeoutMs) const {
        long found = -1;
        waitUntil(
            [&] {
                const std::lock_guard lock(mutex_);
                for (size_t i = from; i < peer_->lines.size() && found < 0; ++i) {
                    if (peer_->lines[i].text == text)
                        found = long(i);
                }
                return found >= 0 || peer_->ended;
            },
            timeoutMs);
        return found;
    }

private:
    void run() {
        while (!stop_) {
            pollfd readable{peer_->fd(), POLLIN, 0};
            ::poll(&readable, 1, 20);
            const std::lock_guard lock(mutex_);
            if (!peer_->drain())
                return;
        }
    }

    std::unique_ptr<Peer> peer_;
    mutable std::mutex mutex_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The longest silence between two consecutive watchdog releases: "PTT 0" lines with no
// "PTT 1" between them (an announcement holds the watchdog back on purpose).
double worstWatchdogInterval(const std::vector<Received>& lines, size_t from, size_t to) {
    double worst = 0;
    const Received* previous = nullptr;
    for (size_t i = from; i < to; ++i) {
        if (lines[i].text == "PTT 1")
            previous = nullptr;
        else if (lines[i].text == "PTT 0") {
            if (previous)
                worst = std::max(worst, msBetween(previous->at, lines[i].at));
            previous = &lines[i];
        }
    }
    return worst;
}

double worstSilence(const std::vector<Received>& lines, size_t from, size_t to) {
    double worst = 0;
    for (size_t i = from + 1; i < to; ++i)
        worst = std::max(worst, msBetween(lines[i - 1].at, lines[i].at));
    return worst;
}

size_t countOf(const std::vector<Received>& lines, std::string_view text, size_t from = 0) {
    return size_t(std::count_if(lines.begin() + long(from), lines.end(),
                                [&](const Received& r) { return r.text == text; }));
}

int openDescriptors(qint64 pid) {
    int count = 0;
    if (DIR* folder = ::opendir(("/proc/" + std::to_string(pid) + "/fd").c_str())) {
        while (const dirent* entry = ::readdir(folder))
            count += entry->d_name[0] != '.';
        ::closedir(folder);
    }
    return count;
}

// The program's descriptors once closed connections have been dealt with: two equal counts
// in a row.
int settledDescriptors(qint64 pid) {
    int previous = -1, now = openDescriptors(pid);
    for (int i = 0; i < 20 && now != previous; ++i) {
        std::this_thread::sleep_for(150ms);
        previous = now;
        now = openDescriptors(pid);
    }
    return now;
}

// A line whose first word is 40 CJK characters: the program answers it with an error line of
// about 120 bytes that echoes the start of the word, the most output one line can ask for.
const std::string WideUnknownWord = [] {
    std::string word;
    for (int i = 0; i < 40; ++i)
        word += "\xe4\xb8\x80";
    return word + "\n";
}();

constexpr size_t MaxClients = 32; // the program's documented limit

// The real program, headless, with folders of its own, playing into nothing in real time and
// never announcing by the clock, so that every announcement here was asked for.
class TempovoxUnderAttack : public ::testing::Test {
protected:
    void SetUp() override {
        QDir().mkpath(dir_.file(QStringLiteral("runtime")));
        QFile::setPermissions(dir_.file(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        dir_.write(QStringLiteral("config/Tempovox.ini"),
                   "[AUDIO]\nSINK=fakesink sync=true\n"
                   "[SETTINGS]\nONHOUR=0\nQUARTERHOUR=0\nHALFHOUR=0\n");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_.file(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir_.file(QStringLiteral("runtime")));
        env.remove(QStringLiteral("DISPLAY"));
        process_.setProcessEnvironment(env);
        // A file, not a pipe: a program blocked on a full stderr pipe would look like a link fault.
        process_.setStandardOutputFile(dir_.file(QStringLiteral("tempovox.out")));
        process_.setStandardErrorFile(dir_.file(QStringLiteral("tempovox.log")));
        process_.start(QStringLiteral(TEMPOVOX_BINARY), {QStringLiteral("--headless")});
        ASSERT_TRUE(process_.waitForStarted(5000)) << process_.errorString().toStdString();
        socket_ = dir_.file(QStringLiteral("runtime/tempovox/link.sock")).toStdString();

        // The first start of the media framework may build its plugin cache: allow for it.
        std::unique_ptr<Peer> first;
        waitUntil(
            [&] {
                first = Peer::connectTo(socket_);
                return first != nullptr || process_.state() == QProcess::NotRunning;
            },
            30000);
        ASSERT_TRUE(first) << log();
        good_ = std::make_unique<GoodClient>(std::move(first));
    }

    void TearDown() override {
        good_.reset();
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }

    std::string log() const { return dir_.read(QStringLiteral("tempovox.log")).toStdString(); }
    bool running() const { return ::kill(static_cast<pid_t>(process_.processId()), 0) == 0; }

    std::unique_ptr<Peer> connect() {
        auto peer = Peer::connectTo(socket_);
        EXPECT_TRUE(peer) << "cannot connect: " << std::strerror(errno);
        return peer;
    }

    // A peer that has been taken in: the places of peers that have just left may not be free yet.
    std::unique_ptr<Peer> connectGreeted() {
        std::unique_ptr<Peer> peer;
        waitUntil(
            [&] {
                peer = Peer::connectTo(socket_);
                return peer && peer->waitForLines(2, 3000) && peer->lines.front().text.starts_with("INFO ");
            },
            5000);
        EXPECT_TRUE(peer && !peer->lines.empty() && peer->lines.front().text.starts_with("INFO "))
            << "no place for a new peer";
        return peer;
    }

    // Opens `count` peers at once; each is greeted with INFO or told that the program is full.
    std::vector<std::unique_ptr<Peer>> openBurst(size_t count, size_t* accepted, size_t* refused) {
        std::vector<std::unique_ptr<Peer>> burst;
        for (size_t i = 0; i < count; ++i) {
            if (auto peer = connect())
                burst.push_back(std::move(peer));
        }
        *accepted = *refused = 0;
        for (auto& peer : burst) {
            if (!peer->waitForLines(1, 3000)) {
                ADD_FAILURE() << "a peer of the burst heard nothing";
                continue;
            }
            if (peer->lines.front().text.starts_with("INFO ")) {
                ++*accepted;
            } else {
                EXPECT_EQ(peer->lines.front().text, "ERR too many clients");
                EXPECT_TRUE(peer->waitForEnd(3000)) << "a refused peer stays connected";
                ++*refused;
            }
        }
        return burst;
    }

    TempDir dir_;
    QProcess process_;
    std::string socket_;
    std::unique_ptr<GoodClient> good_;
};

TEST_F(TempovoxUnderAttack, KeepsServingAWellBehavedClientThroughout) {
    ASSERT_GE(good_->waitForLine("PTT 0", 1, 3000), 1) << "no greeting";
    const qint64 pid = process_.processId();
    const int descriptorsAtStart = settledDescriptors(pid);
    ASSERT_GE(good_->waitForLine("PTT 0", 2, 3000), 2) << "no watchdog tick";

    // Connections that come and go, one by one, each leaving in its own way.
    for (int i = 0; i < 100; ++i) {
        auto peer = connect();
        ASSERT_TRUE(peer) << "connection " << i;
        if (i % 4 == 1) {
            ASSERT_TRUE(peer->waitForLines(1, 3000)) << "connection " << i << " was not greeted";
            EXPECT_TRUE(peer->lines.front().text.starts_with("INFO ")) << peer->lines.front().text;
        } else if (i % 4 == 2) {
            peer->send("DTMF 123"); // cut short by the hang-up: never to be heard
        } else if (i % 4 == 3) {
            peer->send("BUSY 1\nDTMF 1\xe2\x82");
        }
    }
    // In bursts: many arrive together, then all leave together.
    size_t accepted = 0, refused = 0, refusedInBursts = 0;
    for (int burst = 0; burst < 3; ++burst) {
        const auto peers = openBurst(MaxClients - 2, &accepted, &refused);
        refusedInBursts += refused;
    }
    {
        const auto peers = openBurst(2 * MaxClients, &accepted, &refused);
        EXPECT_LE(accepted, MaxClients - 1) << "the good client holds one place";
        EXPECT_EQ(accepted + refused, 2 * MaxClients);
        std::printf("[ figures ] burst of %zu: %zu greeted, %zu refused\n", 2 * MaxClients, accepted,
                    refused);
    }
    // Every place of a peer that has gone is free again.
    const bool allPlacesFree = waitUntil(
        [&] {
            const auto peers = openBurst(MaxClients - 1, &accepted, &refused);
            return accepted == MaxClients - 1;
        },
        5000);
    EXPECT_TRUE(allPlacesFree) << "a place stays taken: only " << accepted << " of " << MaxClients - 1
                               << " greeted";
    std::printf("[ figures ] %zu refused in bursts below the limit (peers not yet forgotten)\n",
                refusedInBursts);

    // A megabyte with no end of line: told why, then dropped.
    {
        auto peer = connectGreeted();
        ASSERT_TRUE(peer);
        const std::string chunk(64 * 1024, 'x');
        size_t sent = 0;
        while (sent < 1024 * 1024 && peer->send(chunk, 2000))
            sent += chunk.size();
        EXPECT_TRUE(peer->waitForEnd(3000)) << "the peer with an endless line is still connected";
        EXPECT_EQ(peer->count("ERR line too long"), 1u);
        std::printf("[ figures ] endless line: %zu of 1048576 bytes taken before the drop\n", sent);
    }

    // Random bytes, NULs and broken UTF-8: every line that is not empty is answered with an
    // error and the peer stays, in step with the program.
    {
        auto peer = connectGreeted();
        ASSERT_TRUE(peer);
        const unsigned seed = std::random_device{}();
        std::mt19937 random(seed);
        std::string garbage;
        size_t answered = 0;
        for (int line = 0; line < 400; ++line) {
            std::string text(random() % 1000, '\0');
            for (char& c : text)
                c = static_cast<char>(random() & 0xFF);
            std::replace(text.begin(), text.end(), '\n', '\0');
            garbage += text + "\n";
            answered += !(text.empty() || text == "\r");
        }
        const std::vector<std::string> crafted = {
            std::string("DTMF 12\0"
                        "3\n",
                        10),
            "DTMF \xc0\xb1\xb2\xb3\n",
            "DTMF \xed\xa0\x80\n",
            "BUSY 1\xe2\x82\n",
            "\xef\xbb\xbf"
            "DTMF 123\n",
            "\r\n",
        };
        for (const std::string& line : crafted)
            garbage += line;
        garbage += "STILL HERE\n";
        // In slices, reading meanwhile, and well below the flood limit.
        for (size_t at = 0; at < garbage.size(); at += 8192) {
            ASSERT_TRUE(peer->send(std::string_view(garbage).substr(at, 8192))) << "seed " << seed;
            ASSERT_TRUE(peer->drain()) << "dropped for garbage, seed " << seed;
            std::this_thread::sleep_for(10ms);
        }
        const auto isError = [](const Received& r) {
            return r.text.starts_with("ERR ");
        };
        EXPECT_TRUE(waitUntil(
            [&] {
                peer->drain();
                return peer->ended || std::count_if(peer->lines.begin(), peer->lines.end(), isError) >=
                                          long(answered + crafted.size());
            },
            5000));
        ASSERT_FALSE(peer->ended) << "dropped for garbage, seed " << seed;
        std::vector<std::string> errors;
        for (const Received& r : peer->lines) {
            if (isError(r))
                errors.push_back(r.text);
        }
        ASSERT_EQ(errors.size(), answered + crafted.size()) << "seed " << seed;
        const std::vector<std::string> expectedTail = {
            "ERR NUL byte in line",
            "ERR line is not valid UTF-8",
            "ERR line is not valid UTF-8",
            "ERR line is not valid UTF-8",
            "ERR unknown command \"\xef\xbb\xbf"
            "DTMF\"",
            "ERR unknown command \"STILL\"",
        };
        EXPECT_EQ(std::vector<std::string>(errors.end() - long(expectedTail.size()), errors.end()),
                  expectedTail);
    }

    // One peer never reads and asks for error lines at over half the flood limit; another
    // never reads either and has filled its socket, yet stays below the output limit; a third
    // toggles BUSY a thousand times a second.
    auto full = connectGreeted();
    ASSERT_TRUE(full);
    constexpr size_t FillLines = 1200;
    std::string fill;
    for (size_t i = 0; i < FillLines; ++i)
        fill += WideUnknownWord;
    ASSERT_TRUE(full->send(fill));
    {
        auto silent = connectGreeted();
        auto toggler = connectGreeted();
        ASSERT_TRUE(silent && toggler);
        const auto start = Clock::now();
        double droppedAfterMs = -1;
        size_t silentLines = 0, toggles = 0;
        std::string silentSlice, toggleSlice;
        constexpr size_t SilentSlice = 12; // 1200 lines a second, well below the flood limit
        for (size_t i = 0; i < SilentSlice; ++i)
            silentSlice += WideUnknownWord;
        for (int i = 0; i < 5; ++i)
            toggleSlice += "BUSY 1\nBUSY 0\n";
        auto next = start;
        while (Clock::now() - start < 6s || (droppedAfterMs < 0 && Clock::now() - start < 10s)) {
            next += 10ms;
            ASSERT_TRUE(toggler->send(toggleSlice)) << "the toggling peer was dropped";
            toggles += 10;
            ASSERT_TRUE(toggler->drain()) << "the toggling peer was dropped";
            if (droppedAfterMs < 0) {
                if (silent->hungUp())
                    droppedAfterMs = msBetween(start, Clock::now());
                else if (silent->send(silentSlice, 1000))
                    silentLines += SilentSlice;
            }
            std::this_thread::sleep_until(next);
        }
        EXPECT_GE(droppedAfterMs, 0) << "the peer that never reads was not dropped";
        EXPECT_EQ(toggler->count("ERR flood"), 0u);
        EXPECT_TRUE(std::none_of(toggler->lines.begin(), toggler->lines.end(),
                                 [](const Received& r) { return r.text.starts_with("ERR"); }));
        EXPECT_FALSE(full->hungUp()) << "dropped below the output limit";
        // The socket took only part of the answers: the program holds the rest and must not wait.
        int queued = 0;
        ::ioctl(full->fd(), FIONREAD, &queued);
        EXPECT_LT(size_t(queued), FillLines * 100) << "the socket never filled up";
        std::printf("[ figures ] full peer: %d bytes of answers in its socket, about %zu more held by the "
                    "program\n",
                    queued, FillLines * (WideUnknownWord.size() + 1) - size_t(queued));
        std::printf("[ figures ] non-reading peer dropped after %.0f ms and %zu error-provoking lines; "
                    "%zu BUSY lines from the toggling peer\n",
                    droppedAfterMs, silentLines, toggles);
        ASSERT_TRUE(toggler->send("BUSY 0\n"));
    }

    const std::vector<Received> idle = good_->lines();
    ASSERT_FALSE(good_->ended()) << "the good client was dropped";
    EXPECT_EQ(countOf(idle, "PTT 1"), 0u) << "an unfinished or mangled DTMF request was announced";
    const double worstTick = worstWatchdogInterval(idle, 2, idle.size());
    const double idleSeconds = msBetween(idle[1].at, Clock::now()) / 1000;
    std::printf(
        "[ figures ] watchdog: %zu ticks over %.1f s, longest interval %ld ms, worst lateness %ld ms\n",
        countOf(idle, "PTT 0", 2), idleSeconds, std::lround(worstTick), std::lround(worstTick) - 1000);
    EXPECT_LE(worstTick, 3000) << "the watchdog stalled";
    EXPECT_GE(double(countOf(idle, "PTT 0", 2)), idleSeconds - 2) << "watchdog ticks went missing";

    // Only the good client and the full peer are connected now.
    const int descriptorsBeforeStorm = settledDescriptors(pid);
    EXPECT_LE(descriptorsBeforeStorm, descriptorsAtStart + 1)
        << "connections that ended left descriptors open";

    // Announcement requests, each keying the transmitter for every peer, while the full socket
    // keeps taking none of it.
    {
        auto requester = connectGreeted();
        ASSERT_TRUE(requester);
        const size_t stormStart = good_->lineCount();
        constexpr int Requests = 300;
        const auto start = Clock::now();
        auto next = start;
        for (int sent = 0; sent < Requests; sent += 3) {
            next += 20ms;
            ASSERT_TRUE(requester->send("DTMF 123\nDTMF 123\nDTMF 123\n"));
            requester->drain();
            std::this_thread::sleep_until(next);
        }
        // Lines are handled in order: the answer to this one shows the requests worked through.
        const auto lastRequest = Clock::now();
        ASSERT_TRUE(requester->send("DONE?\n"));
        const bool workedThrough = waitUntil(
            [&] {
                requester->drain();
                return requester->count("ERR unknown command \"DONE?\"") > 0 || requester->ended;
            },
            15000);
        const double backlogMs = msBetween(lastRequest, Clock::now());
        EXPECT_TRUE(workedThrough) << "the requests were not worked through";
        const long firstKey = good_->waitForLine("PTT 1", stormStart, 5000);
        ASSERT_GE(firstKey, 0) << "no announcement started";
        // Over once the transmitter has been released and no step has keyed it for longer
        // than the pause between two clips.
        std::vector<Received> storm;
        size_t lastKey = 0;
        const bool over = waitUntil(
            [&] {
                storm = good_->lines();
                lastKey = storm.size() - 1;
                while (storm[lastKey].text != "PTT 1")
                    --lastKey;
                return lastKey + 1 < storm.size() && msBetween(storm[lastKey].at, Clock::now()) > 1500;
            },
            20000);
        ASSERT_TRUE(over) << "the announcement never ended";
        std::printf("[ figures ] %d requests in %.1f s: %zu PTT 1 lines (%zu releases among them), first "
                    "after %.0f ms, all handled %.0f ms after the last was sent, longest silence %.0f ms\n",
                    Requests, msBetween(start, lastRequest) / 1000, countOf(storm, "PTT 1", stormStart),
                    size_t(std::count_if(storm.begin() + firstKey, storm.begin() + long(lastKey),
                                         [](const Received& r) { return r.text == "PTT 0"; })),
                    msBetween(start, storm[size_t(firstKey)].at), backlogMs,
                    worstSilence(storm, stormStart, storm.size()));
        EXPECT_LE(worstSilence(storm, stormStart, storm.size()), 3000);
        EXPECT_TRUE(requester->drain()) << "the requesting peer was dropped";
    }

    // Once it reads, the peer with the full socket finds every line whole and nothing missing.
    {
        EXPECT_FALSE(full->hungUp());
        waitUntil(
            [&] {
                full->drain();
                return full->count("PTT 1") >= countOf(good_->lines(), "PTT 1") || full->ended;
            },
            5000);
        size_t errors = 0, strays = 0;
        for (const Received& r : full->lines) {
            if (r.text.starts_with("ERR unknown command \"\xe4\xb8\x80"))
                ++errors;
            else if (r.text != "PTT 0" && r.text != "PTT 1" && !r.text.starts_with("INFO "))
                ++strays;
        }
        EXPECT_FALSE(full->ended);
        EXPECT_EQ(errors, FillLines);
        EXPECT_EQ(strays, 0u) << "torn or foreign lines";
        EXPECT_EQ(full->count("PTT 1"), countOf(good_->lines(), "PTT 1"));
        full.reset();
    }
    const int descriptorsAfterStorm = settledDescriptors(pid);

    // After all that, a request from the good client is still heard and answered.
    const size_t before = good_->lineCount();
    ASSERT_TRUE(good_->send("DTMF 123\n"));
    const long keyed = good_->waitForLine("PTT 1", before, 3000);
    ASSERT_GE(keyed, 0) << "the good client's request was not answered";
    EXPECT_GE(good_->waitForLine("PTT 0", size_t(keyed), 15000), 0) << "the transmitter was not released";

    // Hundreds of restarted announcements hold no more than a single one does.
    const int descriptorsAtEnd = settledDescriptors(pid);
    std::printf("[ figures ] program descriptors: %d at start, %d before the announcements, %d after %s, "
                "%d after one more\n",
                descriptorsAtStart, descriptorsBeforeStorm, descriptorsAfterStorm, "the request storm",
                descriptorsAtEnd);
    EXPECT_LE(descriptorsAfterStorm, descriptorsBeforeStorm + 8)
        << "restarted announcements left descriptors open";
    EXPECT_EQ(descriptorsAtEnd, descriptorsAfterStorm) << "an announcement left descriptors open";

    ASSERT_TRUE(running());
    ASSERT_FALSE(good_->ended()) << "the good client was dropped";
    const size_t beforeClose = good_->lineCount();
    ASSERT_TRUE(good_->send("CLOSE\n"));
    EXPECT_GE(good_->waitForLine("ACK", beforeClose, 5000), 0);
    ASSERT_TRUE(process_.waitForFinished(10000));
    EXPECT_EQ(process_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process_.exitCode(), 0);

    const std::string warnings = log();
    EXPECT_NE(warnings.find("link client dropped: not reading"), std::string::npos) << warnings;
    EXPECT_NE(warnings.find("link client dropped: line too long"), std::string::npos) << warnings;
}

// More than the flood limit of announcement requests in one write. Each request restarts the
// announcement, which takes the program milliseconds, so it must not work through them all
// before anyone else is heard.
TEST_F(TempovoxUnderAttack, ARequestFloodIsCutOffWithoutStallingOthers) {
    ASSERT_GE(good_->waitForLine("PTT 0", 1, 3000), 1);
    auto flooder = connectGreeted();
    ASSERT_TRUE(flooder);
    std::string requests;
    for (int i = 0; i < 2100; ++i)
        requests += "DTMF 123\n";
    const size_t before = good_->lineCount();
    ASSERT_TRUE(flooder->send(requests));
    std::this_thread::sleep_for(100ms);
    const auto asked = Clock::now();
    ASSERT_TRUE(good_->send("ARE YOU THERE\n"));
    long answer = -1;
    waitUntil(
        [&] {
            flooder->drain();
            answer = good_->waitForLine("ERR unknown command \"ARE\"", before, 0);
            return answer >= 0 && flooder->ended;
        },
        3000);
    const bool cutOff = flooder->ended;
    const std::vector<Received> lines = good_->lines();
    std::printf("[ figures ] good client answered %s; %zu PTT 1 lines meanwhile; flooder %s\n",
                answer >= 0
                    ? (std::to_string(long(msBetween(asked, lines[size_t(answer)].at))) + " ms later").c_str()
                    : "not within 3 s",
                countOf(lines, "PTT 1", before), cutOff ? "dropped" : "still connected");
    EXPECT_GE(answer, 0) << "another client was not heard for over 3 s";
    EXPECT_TRUE(cutOff) << "2100 lines in one write did not count as a flood";
    EXPECT_EQ(flooder->count("ERR flood"), 1u);
}

} // namespace
