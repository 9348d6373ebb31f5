#include "GenerationSave.h"
#include "Profile.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <linux/fs.h>
#include <poll.h>
#include <sched.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

const std::string SettingsName = "Tempovox.ini";

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

// Everything in the folder but the settings file itself.
std::vector<std::string> leftovers(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename() != SettingsName)
            names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A settings file as an operator's might look, with lines the program must carry over unchanged:
// comments, the platform sections, and a long block of notes that makes a save take a while.
std::string initialSettings(int noteLines) {
    std::string text = "; Tempovox settings\n[LINK]\nBACKEND=socket\n\n[AUDIO]\nSINK=fakesink sync=true\n\n"
                       "[NOTES]\n";
    for (int i = 0; i < noteLines; ++i)
        text += "; note " + std::to_string(i) + ": keep this line exactly as it is, byte for byte\n";
    return text;
}

// The generation of every [SETTINGS] key in a file, as the program would read them.
std::set<std::string> generationsIn(const std::string& path) {
    const ProfileFile profile = ProfileFile::load(path);
    std::set<std::string> values;
    for (const char* key : SettingsKeys)
        values.insert(profile.read(SettingsSection, key, "(missing)"));
    return values;
}

// Runs `body` in a forked child and returns what it returned, or nothing when the child did not
// finish in time. For what must not touch the test process: namespaces, identities, limits.
std::optional<std::string> inChild(const std::function<std::string()>& body, int timeoutMs = 10000) {
    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0)
        return std::nullopt;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(channel[0]);
        const std::string result = body();
        for (size_t at = 0; at < result.size();) {
            const ssize_t written = ::write(channel[1], result.data() + at, result.size() - at);
            if (written <= 0)
                break;
            at += size_t(written);
        }
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string result;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    bool finished = false;
    while (!finished && Clock::now() < deadline) {
        pollfd readable{channel[0], POLLIN, 0};
        ::poll(&readable, 1, 50);
        char buffer[4096];
        const ssize_t got = ::read(channel[0], buffer, sizeof buffer);
        if (got > 0)
            result.append(buffer, size_t(got));
        finished = got == 0;
    }
    ::close(channel[0]);
    if (!finished)
        ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!finished || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return result;
}

// How a failed save ended, passed from a child as "<0|1>\n<reason>".
struct Outcome {
    bool saved = false;
    std::string error;
};

std::string encode(const Outcome& outcome) {
    return (outcome.saved ? "1\n" : "0\n") + outcome.error;
}

Outcome decode(const std::string& text) {
    return {text.starts_with("1"), text.size() > 2 ? text.substr(2) : std::string()};
}

Outcome saveNow(const std::string& path, long generation) {
    Outcome outcome;
    outcome.saved = saveGeneration(path, generation, &outcome.error);
    return outcome;
}

// Kills a save, in a process of its own, at random moments from its start to past its end,
// again and again: the settings file must always be one whole save, old or new.
TEST(SettingsDurability, ASaveKilledAtAnyMomentLeavesOneWholeGeneration) {
    TempDir dir;
    const std::string path = dir.file(QString::fromStdString(SettingsName)).toStdString();
    writeFile(path, initialSettings(2000));

    const auto runSave = [&](long generation, std::optional<std::chrono::nanoseconds> killAfter) {
        const std::string number = std::to_string(generation);
        char* const argv[] = {const_cast<char*>(SAVE_GENERATION_BINARY), const_cast<char*>(path.c_str()),
                              const_cast<char*>(number.c_str()), nullptr};
        const auto start = Clock::now();
        pid_t pid = 0;
        EXPECT_EQ(::posix_spawn(&pid, SAVE_GENERATION_BINARY, nullptr, nullptr, argv, environ), 0);
        if (killAfter) {
            // Spinning: a sleep would overshoot the shortest delays many times over.
            while (Clock::now() - start < *killAfter) {
            }
            ::kill(pid, SIGKILL);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return std::make_tuple(pid, status, Clock::now() - start);
    };

    // Generation 0 adds the section; from then on every save replaces the same 23 values.
    ASSERT_EQ(std::get<1>(runSave(0, std::nullopt)), 0);
    const std::string first = readFile(path);
    const auto expected = [&first](long generation) {
        std::string text = first;
        const std::string from = "=" + generationValue(0) + "\n",
                          to = "=" + generationValue(generation) + "\n";
        for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
            text.replace(at, from.size(), to);
        return text;
    };

    std::vector<double> durations;
    long generation = 0;
    for (int i = 0; i < 7; ++i) {
        const auto [pid, status, took] = runSave(++generation, std::nullopt);
        ASSERT_EQ(status, 0);
        durations.push_back(std::chrono::duration<double, std::micro>(took).count());
    }
    ASSERT_EQ(readFile(path), expected(generation));
    ASSERT_TRUE(leftovers(dir.path().toStdString()).empty());
    std::sort(durations.begin(), durations.end());
    const double typicalUs = durations[durations.size() / 2];

    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> delayUs(1.0, std::max(typicalUs * 1.25, 3000.0));
    constexpr int Runs = 200;
    long committed = generation;
    int killed = 0, completed = 0, killedAfterRename = 0, torn = 0, mixed = 0;
    std::set<pid_t> killedPids;
    for (int run = 0; run < Runs; ++run) {
        const auto delay = std::chrono::nanoseconds(long(delayUs(random) * 1000));
        const auto [pid, status, took] = runSave(++generation, delay);
        const bool wasKilled = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
        ASSERT_TRUE(wasKilled || (WIFEXITED(status) && WEXITSTATUS(status) == 0))
            << "the save failed on its own, status " << status << ", seed " << seed;
        const std::string now = readFile(path);
        if (now == expected(generation)) {
            committed = generation;
            killedAfterRename += wasKilled;
        } else if (now != expected(committed)) {
            const auto values = generationsIn(path);
            (values.size() > 1 ? mixed : torn) += 1;
            ADD_FAILURE() << "after a kill at " << delay.count() / 1000 << " us the file holds "
                          << values.size() << " generation(s), first " << *values.begin()
                          << ", and is neither " << generationValue(committed) << " nor "
                          << generationValue(generation) << " whole; seed " << seed;
        }
        if (wasKilled) {
            ++killed;
            killedPids.insert(pid);
        } else {
            ++completed;
            EXPECT_EQ(now, expected(generation)) << "a finished save is not in place";
        }
        // A killed save may leave its temporary file; nothing else may stay behind.
        for (const std::string& name : leftovers(dir.path().toStdString())) {
            const std::string prefix = SettingsName + ".tmp-";
            const pid_t owner = name.starts_with(prefix) ? pid_t(std::atol(name.c_str() + prefix.size())) : 0;
            EXPECT_TRUE(killedPids.count(owner)) << "left behind by a save that was not killed: " << name;
        }
    }
    const size_t strays = leftovers(dir.path().toStdString()).size();

    // The strays are never taken for the settings, and the next save removes them.
    EXPECT_EQ(generationsIn(path), std::set<std::string>{generationValue(committed)});
    ASSERT_TRUE(saveNow(path, ++generation).saved);
    EXPECT_EQ(readFile(path), expected(generation));
    EXPECT_TRUE(leftovers(dir.path().toStdString()).empty()) << "a save clears what killed saves left";

    std::printf("[ figures ] seed %u; a save takes %.0f us; %d runs killed at 1..%.0f us: %d killed "
                "(%d of them after the rename), %d finished first; torn files %d, mixed files %d; "
                "stray temporary files left by kills: %zu\n",
                seed, typicalUs, Runs, std::max(typicalUs * 1.25, 3000.0), killed, killedAfterRename,
                completed, torn, mixed, strays);
    EXPECT_GT(killed, Runs / 4) << "the kills came too late to test anything";
}

class FailingSave : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = dir_.file(QStringLiteral("settings")).toStdString();
        path_ = folder_ + "/" + SettingsName;
        fs::create_directory(folder_);
        writeFile(path_, initialSettings(100));
        ASSERT_TRUE(saveNow(path_, 1).saved);
        old_ = readFile(path_);
    }

    // The save failed for the expected reason, and left the old file and nothing else.
    void expectRefused(const Outcome& outcome, const std::string& reason) {
        EXPECT_FALSE(outcome.saved);
        EXPECT_NE(outcome.error.find(reason), std::string::npos) << outcome.error;
        EXPECT_EQ(readFile(path_), old_);
        EXPECT_EQ(leftovers(folder_), std::vector<std::string>{});
    }

    TempDir dir_;
    std::string folder_;
    std::string path_;
    std::string old_;
};

TEST_F(FailingSave, AFullFileSystemKeepsTheOldFile) {
    // A small file system of its own, in a mount namespace that ends with the child.
    const auto result = inChild([&]() -> std::string {
        const auto refusal = [](const char* what) {
            return "skip\n" + std::string(what) + ": " + std::strerror(errno);
        };
        if (::unshare(CLONE_NEWNS) != 0)
            return refusal("cannot make a mount namespace");
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return refusal("cannot make the mounts private");
        if (::mount("tmpfs", folder_.c_str(), "tmpfs", 0, "size=64k") != 0)
            return refusal("cannot mount a 64 KiB tmpfs");
        writeFile(path_, old_);
        const int filler = ::open((folder_ + "/filler").c_str(), O_WRONLY | O_CREAT, 0600);
        const std::string block(4096, 'f');
        while (::write(filler, block.data(), block.size()) > 0) {
        }
        const int fillError = errno;
        ::close(filler);
        if (fillError != ENOSPC)
            return "fail\nfilling did not end in ENOSPC but " + std::string(std::strerror(fillError));
        const Outcome full = saveNow(path_, 2);
        const bool kept = readFile(path_) == old_;
        std::string stray;
        for (const std::string& name : leftovers(folder_))
            stray += name != "filler" ? name + " " : "";
        ::unlink((folder_ + "/filler").c_str());
        const bool savedOnceFreed = saveNow(path_, 3).saved;
        return "ran\n" + std::to_string(kept) + std::to_string(savedOnceFreed) + "\n" + stray + "\n" +
               encode(full);
    });
    ASSERT_TRUE(result) << "the child did not report";
    std::istringstream report(*result);
    std::string verdict, flags, stray;
    std::getline(report, verdict);
    if (verdict == "skip")
        GTEST_SKIP() << result->substr(5) << " (the file size limit case still runs)";
    ASSERT_EQ(verdict, "ran") << *result;
    std::getline(report, flags);
    std::getline(report, stray);
    const Outcome outcome = decode(std::string(std::istreambuf_iterator<char>(report), {}));
    EXPECT_FALSE(outcome.saved);
    EXPECT_NE(outcome.error.find(std::strerror(ENOSPC)), std::string::npos) << outcome.error;
    EXPECT_EQ(flags, "11") << "1st: old file kept byte for byte, 2nd: saved once space was free";
    EXPECT_EQ(stray, "") << "left in the full file system";
    std::printf("[ figures ] full tmpfs: save refused with \"%s\"\n", outcome.error.c_str());
}

TEST_F(FailingSave, AFileSizeLimitKeepsTheOldFile) {
    // Whatever the machine allows, a process may limit the size of the files it writes: the
    // kernel then fails the write as it would on a full disk.
    const auto result = inChild([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{2048, 2048};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        return encode(saveNow(path_, 2));
    });
    ASSERT_TRUE(result) << "the child did not report";
    ASSERT_GT(old_.size(), 2048u) << "the new file would fit under the limit";
    expectRefused(decode(*result), std::strerror(EFBIG));
    std::printf("[ figures ] file size limit: save refused with \"%s\"\n", decode(*result).error.c_str());
}

TEST_F(FailingSave, AFolderThatCannotBeWrittenKeepsTheOldFile) {
    std::vector<std::string> ran, unavailable;

    // A read-only view of the folder, in a mount namespace that ends with the child.
    const auto readOnly = inChild([&]() -> std::string {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount(folder_.c_str(), folder_.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            ::mount(nullptr, folder_.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
            return "skip\n" + std::string(std::strerror(errno));
        return "ran\n" + encode(saveNow(path_, 2));
    });
    if (readOnly && readOnly->starts_with("ran\n")) {
        ran.push_back("read-only bind mount");
        expectRefused(decode(readOnly->substr(4)), std::strerror(EROFS));
    } else {
        unavailable.push_back("read-only bind mount: " + (readOnly ? readOnly->substr(5) : "no report"));
    }

    // An immutable folder: not even root may add a file to it.
    const int folderFd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int flags = 0;
    bool immutable = ::ioctl(folderFd, FS_IOC_GETFLAGS, &flags) == 0;
    if (immutable) {
        flags |= FS_IMMUTABLE_FL;
        immutable = ::ioctl(folderFd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    if (immutable) {
        const Outcome outcome = saveNow(path_, 3);
        flags &= ~FS_IMMUTABLE_FL;
        ::ioctl(folderFd, FS_IOC_SETFLAGS, &flags);
        ran.push_back("immutable folder");
        expectRefused(outcome, std::strerror(EPERM));
    } else {
        unavailable.push_back(std::string("immutable folder: ") + std::strerror(errno));
    }
    ::close(folderFd);

    // A folder the user may read but not write: as "nobody" when root, who may write anywhere.
    ::chmod(dir_.path().toUtf8().constData(), 0755);
    ::chmod(folder_.c_str(), 0755);
    const auto unprivileged = inChild([&]() -> std::string {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            return "skip\n" + std::string(std::strerror(errno));
        if (::geteuid() != 0)
            ::chmod(folder_.c_str(), 0555);
        return "ran\n" + encode(saveNow(path_, 4));
    });
    ::chmod(folder_.c_str(), 0755);
    if (unprivileged && unprivileged->starts_with("ran\n")) {
        ran.push_back("folder without write permission");
        expectRefused(decode(unprivileged->substr(4)), std::strerror(EACCES));
    } else {
        unavailable.push_back("folder without write permission: " +
                              (unprivileged ? unprivileged->substr(5) : "no report"));
    }

    for (const std::string& name : ran)
        std::printf("[ figures ] unwritable folder, ran: %s\n", name.c_str());
    for (const std::string& name : unavailable)
        std::printf("[ figures ] unwritable folder, not available here: %s\n", name.c_str());
    EXPECT_FALSE(ran.empty());
}

} // namespace
