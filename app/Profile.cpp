// SPDX-License-Identifier: GPL-3.0-or-later
#include "Profile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::string_view Bom = "\xEF\xBB\xBF";

enum class Kind { Other, Section, Key };

struct Parsed {
    Kind kind = Kind::Other;
    std::string_view name;  // section or key name
    std::string_view value; // key lines only
};

std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string_view unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// Blank lines, comments, unclosed "[" lines and lines without "=" are Other: kept, never matched.
Parsed parseLine(std::string_view line) {
    const std::string_view text = trim(line);
    if (text.empty() || text.front() == ';' || text.front() == '#')
        return {};
    if (text.front() == '[') {
        const auto close = text.rfind(']');
        if (close == std::string_view::npos)
            return {};
        return {Kind::Section, trim(text.substr(1, close - 1)), {}};
    }
    const auto equals = text.find('=');
    const std::string_view name = trim(text.substr(0, equals));
    if (equals == std::string_view::npos || name.empty())
        return {};
    return {Kind::Key, name, unquote(trim(text.substr(equals + 1)))};
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    const auto lower = [](char c) {
        return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
    };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

bool readsBackAs(const std::string& line, Kind kind, std::string_view name) {
    if (name.empty() || name.find_first_of("\r\n") != std::string_view::npos)
        return false;
    const Parsed parsed = parseLine(line);
    return parsed.kind == kind && parsed.name == name;
}

// The Windows functions return at most 255 characters. Counting every byte that is not a UTF-8
// continuation byte keeps multi-byte characters whole.
std::string firstCharacters(std::string_view text, size_t count) {
    size_t characters = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && characters++ == count)
            return std::string(text.substr(0, i));
    }
    return std::string(text);
}

std::string describe(std::string_view what, const std::string& path, int error) {
    return std::string(what) + " " + path + ": " + std::system_category().message(error);
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0 && errno != EINTR)
            return false;
        if (written > 0)
            data.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

bool readAll(int fd, std::string* data) {
    char buffer[8192];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0)
            return true;
        if (got < 0 && errno != EINTR)
            return false;
        if (got > 0)
            data->append(buffer, static_cast<size_t>(got));
    }
}

// A save killed half-way leaves its temporary file behind. Those of processes that no longer
// exist are removed; the settings file itself was never touched by them.
void removeAbandonedTemporaries(const std::string& target) {
    const std::filesystem::path path(target);
    const std::string prefix = path.filename().string() + ".tmp-";
    std::error_code error;
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) != 0)
            continue;
        const std::string pid = name.substr(prefix.size(), name.find('-', prefix.size()) - prefix.size());
        if (pid.empty() || pid.size() > 9 || pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        if (::kill(static_cast<pid_t>(std::stol(pid)), 0) != 0 && errno == ESRCH)
            std::filesystem::remove(entry.path(), error);
    }
}

} // namespace

ProfileFile ProfileFile::load(const std::string& path) {
    ProfileFile profile;
    profile.path_ = path;
    if (path.empty()) {
        profile.loadError_ = "no settings file name given";
        return profile;
    }
    // Non-blocking, so that a FIFO or a device at the path is refused rather than waited on.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno != ENOENT)
            profile.loadError_ = describe("cannot open", path, errno);
        return profile;
    }
    std::string data;
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        profile.loadError_ = describe("cannot examine", path, errno);
    else if (!S_ISREG(info.st_mode))
        profile.loadError_ = "not a regular file: " + path;
    else if (!readAll(fd, &data))
        profile.loadError_ = describe("cannot read", path, errno);
    ::close(fd);
    if (profile.loadFailed())
        return profile;

    profile.splitLines(data);
    return profile;
}

ProfileFile ProfileFile::parse(std::string_view text) {
    ProfileFile profile;
    profile.splitLines(text);
    return profile;
}

void ProfileFile::splitLines(std::string_view data) {
    // Windows Notepad starts its files with a byte-order mark; it is kept for the save.
    if (data.starts_with(Bom)) {
        bom_ = true;
        data.remove_prefix(Bom.size());
        notes_.push_back("a UTF-8 byte-order mark at its start was skipped");
    }
    // LF, CR LF and CR alone all end a line; a CR LF cut short after its CR ends one too.
    for (size_t start = 0; start < data.size();) {
        const size_t stop = data.find_first_of("\r\n", start);
        const size_t endingSize = stop == std::string_view::npos ? 0 : data.substr(stop, 2) == "\r\n" ? 2 : 1;
        const size_t end = stop == std::string_view::npos ? data.size() : stop;
        lines_.push_back(
            {std::string(data.substr(start, end - start)), std::string(data.substr(end, endingSize))});
        start = end + endingSize;
    }
    if (lines_.empty())
        return;
    if (lines_.front().ending == "\r\n")
        newline_ = "\r\n";
    const bool crAlone = lines_.front().ending == "\r" && lines_.size() > 1;
    if (crAlone) {
        newline_ = "\r";
        notes_.push_back("its lines end with CR alone");
    }
}

bool ProfileFile::findSection(std::string_view section, SectionRange* range) const {
    bool found = false;
    for (size_t i = 0; i < lines_.size(); ++i) {
        const Parsed parsed = parseLine(lines_[i].text);
        if (parsed.kind != Kind::Section)
            continue;
        if (found) {
            range->end = i;
            return true;
        }
        if (equalsIgnoreCase(parsed.name, section)) {
            found = true;
            *range = {i, lines_.size()};
        }
    }
    return found;
}

std::string ProfileFile::read(std::string_view section, std::string_view key, std::string_view defaultValue,
                              bool* cut) const {
    std::string_view value = defaultValue;
    SectionRange range{};
    if (findSection(section, &range)) {
        for (size_t i = range.header + 1; i < range.end; ++i) {
            const Parsed parsed = parseLine(lines_[i].text);
            if (parsed.kind == Kind::Key && equalsIgnoreCase(parsed.name, key)) {
                value = parsed.value;
                break;
            }
        }
    }
    std::string kept = firstCharacters(value, MaxValueCharacters);
    if (cut)
        *cut = kept.size() < value.size();
    return kept;
}

void ProfileFile::terminateLine(size_t index) {
    std::string& ending = lines_[index].ending;
    if (ending.empty())
        ending = newline_;
    else if (ending == "\r" && newline_ == "\r\n")
        ending += '\n';
}

bool ProfileFile::write(std::string_view section, std::string_view key, std::string_view value) {
    const std::string sectionLine = "[" + std::string(section) + "]";
    if (!readsBackAs(sectionLine, Kind::Section, section) ||
        !readsBackAs(std::string(key) + "=", Kind::Key, key))
        return false;
    // A line break in a value would start a new line of the file; the first line is kept.
    value = value.substr(0, value.find_first_of("\r\n"));

    SectionRange range{};
    if (!findSection(section, &range)) {
        if (!lines_.empty())
            terminateLine(lines_.size() - 1);
        lines_.push_back({sectionLine, newline_});
        lines_.push_back({std::string(key) + "=" + std::string(value), newline_});
        return true;
    }
    size_t insertAfter = range.header;
    for (size_t i = range.header + 1; i < range.end; ++i) {
        const Parsed parsed = parseLine(lines_[i].text);
        if (parsed.kind != Kind::Key)
            continue;
        if (equalsIgnoreCase(parsed.name, key)) {
            // Keeps the key's spelling as the file has it.
            lines_[i].text = std::string(parsed.name) + "=" + std::string(value);
            return true;
        }
        insertAfter = i;
    }
    terminateLine(insertAfter);
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAfter) + 1,
                  {std::string(key) + "=" + std::string(value), newline_});
    return true;
}

std::string ProfileFile::text() const {
    std::string all(bom_ ? Bom : std::string_view());
    for (const Line& line : lines_)
        all += line.text + line.ending;
    return all;
}

bool ProfileFile::save(std::string* error) const {
    const auto fail = [error](std::string message) {
        if (error)
            *error = std::move(message);
        return false;
    };
    if (loadFailed())
        return fail("not saved, the file could not be read: " + loadError_);
    if (path_.empty())
        return fail("not saved, the settings have no file name");

    // Saving through a symbolic link replaces the file it points to, not the link.
    std::string target = path_;
    std::error_code ignored;
    if (std::filesystem::is_symlink(target, ignored))
        target = std::filesystem::weakly_canonical(target, ignored).string();

    removeAbandonedTemporaries(target);
    static std::atomic<unsigned> counter{0};
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = target + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return fail(describe("cannot create a temporary file", temp, errno));

    const auto abandon = [&](std::string_view what, const std::string& path) {
        const int reason = errno;
        if (fd >= 0)
            ::close(fd);
        ::unlink(temp.c_str());
        return fail(describe(what, path, reason));
    };
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0 && ::fchmod(fd, existing.st_mode & 07777) != 0)
        return abandon("cannot set the permissions of", temp);
    if (!writeAll(fd, text()))
        return abandon("cannot write", temp);
    if (::fsync(fd) != 0)
        return abandon("cannot flush", temp);
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0)
        return abandon("cannot close", temp);
    if (::rename(temp.c_str(), target.c_str()) != 0)
        return abandon("cannot replace", target);

    // Makes the rename itself durable. Best effort: the new file is already in place, and
    // reporting a failure now would tell the caller the old contents remained.
    const std::string folder = std::filesystem::path(target).parent_path().string();
    const int folderFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return true;
}

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, const std::string& path) {
    return ProfileFile::load(path).read(section, key, defaultValue);
}

bool WritePrivateProfileString(std::string_view section, std::string_view key, std::string_view value,
                               const std::string& path, std::string* error) {
    ProfileFile profile = ProfileFile::load(path);
    if (!profile.write(section, key, value)) {
        if (error)
            *error = "cannot store section \"" + std::string(section) + "\" key \"" + std::string(key) + "\"";
        return false;
    }
    return profile.save(error);
}
