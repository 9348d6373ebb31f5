#pragma once

#include "Profile.h"

#include <array>
#include <string>

// The keys that "Salvar" writes to [SETTINGS], all of them in one replacement of the file.
inline constexpr std::array<const char*, 23> SettingsKeys{
    "FILELOCATION", "VOLSET",    "OPTION1",   "OPTION2",  "OPTION3", "OPTION4",     "OPTION5",  "OPTION6",
    "OPTION7",      "OPTION8",   "OPTION9",   "OPTION10", "ONHOUR",  "QUARTERHOUR", "HALFHOUR", "DTMFTIME",
    "AMPM",         "OPTIONWAV", "OPTIONMP3", "CHECK1",   "CHECK2",  "LEFT",        "TOP",
};

inline constexpr const char* SettingsSection = "SETTINGS";

// Every value of one save names its generation, so that a file mixing two saves shows.
inline std::string generationValue(long generation) {
    return "g" + std::to_string(generation);
}

// What a save does to the file: load it, write every key, replace it in one go.
inline bool saveGeneration(const std::string& path, long generation, std::string* error) {
    ProfileFile profile = ProfileFile::load(path);
    for (const char* key : SettingsKeys) {
        if (!profile.write(SettingsSection, key, generationValue(generation))) {
            *error = std::string("cannot store key ") + key;
            return false;
        }
    }
    return profile.save(error);
}
