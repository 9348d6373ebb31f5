// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

// A settings file in the INI format of the Windows profile functions: loaded once, read and
// changed in memory, saved atomically in one go. Section and key names match without regard to
// ASCII letter case; every line the program does not change is written back byte for byte.
class ProfileFile {
public:
    // A missing file is an empty profile, not an error.
    static ProfileFile load(const std::string& path);
    // The profile a file holding `text` would load as, but without a path: it cannot be saved.
    // Lets tests and fuzzers work in memory.
    static ProfileFile parse(std::string_view text);

    bool loadFailed() const { return !loadError_.empty(); }
    const std::string& loadError() const { return loadError_; }
    const std::string& path() const { return path_; }

    // What the load passed over and the program should tell the operator once, one line each:
    // a byte-order mark, lines ending with CR alone.
    const std::vector<std::string>& loadNotes() const { return notes_; }

    static constexpr size_t MaxValueCharacters = 255;
    // The value of the first `key` in the first `section` of that name, without surrounding
    // blanks or one pair of enclosing quotes, cut to its first 255 characters; `defaultValue`
    // when the section or key is absent. A present key with an empty value reads as "". *cut
    // tells whether the value was longer.
    std::string read(std::string_view section, std::string_view key, std::string_view defaultValue,
                     bool* cut = nullptr) const;

    // Replaces the key's line, or adds it after the last key of its section, or adds the section
    // at the end. The value is cut at its first CR or LF so that it stays on one line. Returns
    // false, changing nothing, for a name that would not read back as itself: empty, with blanks
    // around it, with a line break, "=" in a key, a key starting with ";", "#" or "[".
    bool write(std::string_view section, std::string_view key, std::string_view value);

    // Replaces the file through a temporary file in the same folder, keeping an existing file's
    // permissions. On failure the file on disk is unchanged and `error` says why. Refuses to save
    // a profile whose load failed, so that an unreadable file is never replaced with defaults.
    bool save(std::string* error) const;

    // The bytes that save() writes: every line with its own ending.
    std::string text() const;

private:
    ProfileFile() = default;

    struct Line {
        std::string text;   // without its ending
        std::string ending; // "\n", "\r\n", or "" for a last line without a newline
    };
    struct SectionRange {
        size_t header;
        size_t end; // the next section's header, or the number of lines
    };

    void splitLines(std::string_view data);
    bool findSection(std::string_view section, SectionRange* range) const;
    void terminateLine(size_t index);

    std::string path_;
    std::string loadError_;
    std::vector<Line> lines_;
    std::string newline_ = "\n";
    bool bom_ = false;
    std::vector<std::string> notes_;
};

// One-call forms with the semantics of GetPrivateProfileStringA / WritePrivateProfileStringA.
// A file that cannot be read reads as absent.
std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, const std::string& path);
bool WritePrivateProfileString(std::string_view section, std::string_view key, std::string_view value,
                               const std::string& path, std::string* error);
