// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as a settings file: it reads back byte for byte, and a key written reads back as
// written while every other key keeps its value.
#include "Fuzz.h"
#include "Profile.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ProfileFile profile = ProfileFile::parse(text);
    FUZZ_CHECK(profile.text() == text);

    // The section, key and value come from the input's first bytes, as plain words.
    const auto word = [&](size_t at, size_t length) {
        std::string out;
        for (size_t i = at; i < at + length && i < size; ++i)
            out += char('A' + data[i] % 26);
        return out.empty() ? std::string("K") : out;
    };
    const std::string section = word(0, 2), key = word(2, 3), value = word(5, 300), other = word(8, 2);
    const std::string otherBefore = profile.read(section, other, "-");
    const std::string settingsBefore = profile.read("SETTINGS", "VOLSET", "-");
    FUZZ_CHECK(profile.write(section, key, value));
    FUZZ_CHECK(profile.read(section, key, "-") == value.substr(0, 255));
    FUZZ_CHECK(other == key || profile.read(section, other, "-") == otherBefore);
    FUZZ_CHECK(section == "SETTINGS" || profile.read("SETTINGS", "VOLSET", "-") == settingsBefore);
    // What was written reads the same once saved and loaded again.
    const ProfileFile again = ProfileFile::parse(profile.text());
    FUZZ_CHECK(again.read(section, key, "-") == value.substr(0, 255));
    return 0;
}
