// Reads any bytes as a settings file, changes a few keys and checks what the settings file
// promises: the file comes back byte for byte, writes touch only their own line, what was
// written reads back, and a saved file reads exactly as the profile it was saved from.
#include "FuzzInput.h"
#include "Profile.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// No value read from a file can hold an LF, so this default shows a key was not found.
constexpr std::string_view Absent = "\n(absent)\n";
constexpr size_t MaxNames = 16;
constexpr size_t MaxPairs = 24;

std::string_view trimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    }
    return true;
}

struct Line {
    std::string_view text;
    std::string_view ending;
    bool operator==(const Line&) const = default;
};

// Cut where a file is cut: at each LF, a CR before it going with the ending.
std::vector<Line> linesOf(std::string_view data) {
    std::vector<Line> lines;
    while (!data.empty()) {
        const size_t newline = data.find('\n');
        const size_t end = newline == std::string_view::npos ? data.size() : newline + 1;
        std::string_view text = data.substr(0, end);
        size_t ending = 0;
        if (text.ends_with("\r\n"))
            ending = 2;
        else if (text.ends_with('\n') || text.ends_with('\r'))
            ending = 1;
        lines.push_back({text.substr(0, text.size() - ending), text.substr(text.size() - ending)});
        data.remove_prefix(end);
    }
    return lines;
}

// Section and key names as the file spells them, so that writes and reads mostly hit.
struct Names {
    std::vector<std::string_view> sections;
    std::vector<std::string_view> keys;
    std::vector<std::pair<std::string, std::string>> pairs;
};

Names namesIn(const std::vector<Line>& lines) {
    Names names;
    std::string_view section;
    bool inSection = false;
    for (const Line& line : lines) {
        const std::string_view text = trimBlanks(line.text);
        if (text.starts_with('[')) {
            const auto close = text.rfind(']');
            if (close != std::string_view::npos) {
                section = trimBlanks(text.substr(1, close - 1));
                inSection = true;
                if (names.sections.size() < MaxNames)
                    names.sections.push_back(section);
            }
            continue;
        }
        const auto equals = text.find('=');
        const std::string_view key = trimBlanks(text.substr(0, equals));
        if (equals == std::string_view::npos || key.empty())
            continue;
        if (names.keys.size() < MaxNames)
            names.keys.push_back(key);
        if (inSection && names.pairs.size() < MaxPairs)
            names.pairs.emplace_back(section, key);
    }
    return names;
}

std::string pickName(FuzzChoices& choices, const std::vector<std::string_view>& known) {
    static constexpr std::string_view Typical[] = {"SETTINGS", "FileLocation", "VOLSET", "DTMFTIME",
                                                   "Option1"};
    std::string name;
    switch (choices.below(4)) {
    case 0:
    case 1:
        name = known.empty() ? std::string(Typical[0]) : std::string(known[choices.below(known.size())]);
        break;
    case 2:
        name = std::string(choices.slice(24));
        break;
    default:
        name = std::string(Typical[choices.below(std::size(Typical))]);
    }
    // Names match without regard to ASCII case, so a write may spell one differently.
    if (choices.flag()) {
        for (char& c : name)
            c = c >= 'a' && c <= 'z' ? char(c - 32) : lowerAscii(c);
    }
    return name;
}

std::string pickValue(FuzzChoices& choices) {
    switch (choices.below(4)) {
    case 0:
        return "\"" + std::string(choices.slice(40)) + "\"";
    case 1:
        return " \t" + std::string(choices.slice(40)) + "  ";
    case 2:
        return std::string(choices.slice(700));
    default:
        return std::string(choices.slice(60));
    }
}

// What the profile promises to refuse; everything else must be stored.
bool acceptable(std::string_view section, std::string_view key) {
    for (const std::string_view name : {section, key}) {
        if (name.empty() || trimBlanks(name).size() != name.size() ||
            name.find_first_of("\r\n") != std::string_view::npos)
            return false;
    }
    return key.find('=') == std::string_view::npos && key.find_first_of(";#[") != 0;
}

// The first `count` UTF-8 characters, a character being every byte but a continuation byte.
std::string_view firstCharacters(std::string_view text, size_t count) {
    size_t characters = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && characters++ == count)
            return text.substr(0, i);
    }
    return text;
}

size_t characterCount(std::string_view text) {
    size_t count = 0;
    for (const char c : text)
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

// How a written value reads: its first line, without blanks around it or one pair of enclosing
// quotes, cut to 255 characters.
std::string_view readsAs(std::string_view value) {
    value = trimBlanks(value.substr(0, value.find_first_of("\r\n")));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return firstCharacters(value, 255);
}

// A successful write either replaces one line (the key existed), or adds the key's line, or adds
// a section header and the key's line; the line before an addition may only gain its missing
// line ending. Every other line is left byte for byte.
void checkOneChange(std::string_view before, std::string_view after, bool keyExisted,
                    std::string_view newline, std::string_view section, std::string_view key,
                    std::string_view storedValue) {
    const std::vector<Line> old = linesOf(before);
    const std::vector<Line> now = linesOf(after);
    size_t prefix = 0;
    while (prefix < old.size() && prefix < now.size() && old[prefix] == now[prefix])
        ++prefix;
    size_t suffix = 0;
    while (suffix < old.size() - prefix && suffix < now.size() - prefix &&
           old[old.size() - 1 - suffix] == now[now.size() - 1 - suffix])
        ++suffix;
    const size_t changedOld = old.size() - prefix - suffix;
    const size_t changedNew = now.size() - prefix - suffix;
    if (changedOld > 1 || changedNew < changedOld)
        fuzzFailure("a write changed lines that were not its own", after);
    const size_t added = changedNew - changedOld;
    if (keyExisted != (added == 0) || added > 2)
        fuzzFailure("a write added lines for a key it should have replaced, or the reverse", after);

    const std::string expectedLine = std::string(key) + "=" + std::string(storedValue);
    if (added == 0) {
        if (changedOld == 0)
            return; // the same line written again
        const Line& replaced = now[prefix];
        const auto equals = replaced.text.find('=');
        if (replaced.ending != old[prefix].ending || equals == std::string_view::npos ||
            !sameName(replaced.text.substr(0, equals), key) ||
            replaced.text.substr(equals + 1) != storedValue)
            fuzzFailure("a replaced key line is not the key with its new value", replaced.text);
        return;
    }
    if (changedOld == 1) {
        const Line& was = old[prefix];
        const Line& is = now[prefix];
        const bool completed =
            (was.ending.empty() && is.ending == newline) || (was.ending == "\r" && is.ending == "\r\n");
        if (was.text != is.text || !completed)
            fuzzFailure("the line before an addition changed more than its ending", is.text);
    }
    const size_t first = prefix + changedOld;
    for (size_t i = first; i < prefix + changedNew; ++i) {
        if (now[i].ending != newline)
            fuzzFailure("an added line does not end like the file's first line", now[i].text);
    }
    if (now[prefix + changedNew - 1].text != expectedLine)
        fuzzFailure("an added key line is not the key with its value", now[prefix + changedNew - 1].text);
    if (added == 2 && (suffix != 0 || now[first].text != "[" + std::string(section) + "]"))
        fuzzFailure("a new section was not added at the end", after);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    ProfileFile profile = ProfileFile::parse(input);
    if (profile.text() != input)
        fuzzFailure("an unchanged profile does not give back its file", profile.text());

    const std::vector<Line> inputLines = linesOf(input);
    const std::string_view newline =
        !inputLines.empty() && inputLines.front().ending == "\r\n" ? std::string_view("\r\n") : "\n";
    const Names names = namesIn(inputLines);

    std::vector<std::pair<std::string, std::string>> probes = names.pairs;
    for (size_t i = 0; i < names.sections.size() && i < 4; ++i) {
        for (size_t j = 0; j < names.keys.size() && j < 4; ++j)
            probes.emplace_back(names.sections[i], names.keys[j]);
    }
    std::vector<std::string> before;
    for (const auto& [section, key] : probes)
        before.push_back(profile.read(section, key, Absent));

    FuzzChoices choices(input);
    std::vector<std::pair<std::string, std::string>> written;
    for (size_t writes = choices.below(6); writes > 0; --writes) {
        const std::string section = pickName(choices, names.sections);
        const std::string key = pickName(choices, names.keys);
        const std::string value = pickValue(choices);
        const std::string textBefore = profile.text();
        const bool keyExisted = profile.read(section, key, Absent) != Absent;

        const bool stored = profile.write(section, key, value);
        if (stored != acceptable(section, key))
            fuzzFailure(stored ? "stored a name that cannot read back" : "refused a name that reads back",
                        "[" + section + "] " + key);
        if (!stored) {
            if (profile.text() != textBefore)
                fuzzFailure("a refused write changed the profile", profile.text());
            continue;
        }
        const std::string_view storedValue = std::string_view(value).substr(0, value.find_first_of("\r\n"));
        checkOneChange(textBefore, profile.text(), keyExisted, newline, section, key, storedValue);
        if (profile.read(section, key, Absent) != readsAs(value))
            fuzzFailure("a written value does not read back", value);
        written.emplace_back(section, key);
        probes.emplace_back(section, key);
        before.push_back({});
    }

    // The saved bytes must load as the very profile they came from.
    const std::string saved = profile.text();
    const ProfileFile reloaded = ProfileFile::parse(saved);
    if (reloaded.text() != saved)
        fuzzFailure("a saved profile does not give back its file", saved);
    for (size_t i = 0; i < probes.size(); ++i) {
        const auto& [section, key] = probes[i];
        const std::string value = profile.read(section, key, Absent);
        if (reloaded.read(section, key, Absent) != value)
            fuzzFailure("a key reads differently once saved and loaded again", "[" + section + "] " + key);
        if (value != Absent && characterCount(value) > 255)
            fuzzFailure("a value read is longer than 255 characters", value);
        bool touched = false;
        for (const auto& [writtenSection, writtenKey] : written)
            touched = touched || (sameName(section, writtenSection) && sameName(key, writtenKey));
        if (!touched && value != before[i])
            fuzzFailure("a key that was not written reads differently", "[" + section + "] " + key);
    }
    return 0;
}
