#include "Profile.h"
#include "TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;

namespace {

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// Permissions do not stop root: under root the body runs in a child that has become "nobody".
template <class Body>
int runUnprivileged(const fs::path& folder, Body body) {
    if (::geteuid() != 0)
        return body();
    constexpr uid_t Nobody = 65534;
    for (const fs::path& path : {folder, folder / "Tempovox.ini"}) {
        if (::chown(path.c_str(), Nobody, Nobody) != 0)
            return 102;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(Nobody) != 0 || ::setuid(Nobody) != 0)
            ::_exit(100);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 101;
}

class ProfileTest : public ::testing::Test {
protected:
    fs::path root() const { return fs::path(dir_.path().toStdString()); }
    std::string file(const std::string& name = "Tempovox.ini") const { return (root() / name).string(); }

private:
    TempDir dir_;
};

const std::string kSample = "; KEY=in a comment\n"
                            "KEY=before any section\n"
                            "[Settings]\n"
                            "FileLocation=/home/op/Vozes/Espa\xc3\xb1ol/\n"
                            "  Volset =  -300  \n"
                            "EMPTY=\n"
                            "QUOTED=\"  spaced  \"\n"
                            "SINGLE='x'\n"
                            "MISMATCHED=\"x'\n"
                            "LONE=\"\n"
                            "EQUALS=a=b\n"
                            "DUP=first\n"
                            "DUP=second\n"
                            "#HASH=commented\n"
                            "  ;SEMI=commented\n"
                            "odd line\n"
                            "\tTAB\t=\ttabbed\t\n"
                            "[ other ]\n"
                            "KEY=other\n"
                            "[unclosed\n"
                            "STILL=other\n"
                            "[SETTINGS]\n"
                            "DUP=third\n"
                            "LATE=second section\n";

TEST_F(ProfileTest, ReadsValuesAsTheWindowsFunctionsDo) {
    struct Case {
        const char* section;
        const char* key;
        std::string expected;
    };
    const Case cases[] = {
        {"settings", "filelocation", "/home/op/Vozes/Espa\xc3\xb1ol/"},
        {"SETTINGS", "VOLSET", "-300"},
        {"Settings", "empty", ""},
        {"Settings", "quoted", "  spaced  "},
        {"Settings", "single", "x"},
        {"Settings", "mismatched", "\"x'"},
        {"Settings", "lone", "\""},
        {"Settings", "equals", "a=b"},
        {"Settings", "dup", "first"},
        {"Settings", "tab", "tabbed"},
        {"OTHER", "key", "other"},
        {"other", "still", "other"},
        {"Settings", "#hash", "default"},
        {"Settings", ";semi", "default"},
        {"Settings", "odd line", "default"},
        {"Settings", "key", "default"},
        {"Settings", "late", "default"},
        {"Settings", "missing", "default"},
        {"missing", "FileLocation", "default"},
        {"", "KEY", "default"},
    };
    EXPECT_EQ(GetPrivateProfileString("Settings", "VolSet", "default", file()), "default"); // no file yet
    for (const std::string newline : {"\n", "\r\n"}) {
        writeFile(file(), replaceAll(kSample, "\n", newline));
        const ProfileFile profile = ProfileFile::load(file());
        ASSERT_FALSE(profile.loadFailed()) << profile.loadError();
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.section) + "/" + c.key + (newline == "\n" ? " LF" : " CRLF"));
            EXPECT_EQ(profile.read(c.section, c.key, "default"), c.expected);
            EXPECT_EQ(GetPrivateProfileString(c.section, c.key, "default", file()), c.expected);
        }
    }
}

TEST_F(ProfileTest, CutsLongValuesToTheirFirst255Characters) {
    const std::string a254(254, 'a');
    const std::string enye = "\xc3\xb1";     // two bytes
    const std::string euro = "\xe2\x82\xac"; // three bytes
    std::string euros300;
    for (int i = 0; i < 300; ++i)
        euros300 += euro;
    struct Case {
        std::string value;
        std::string expected;
    };
    const Case cases[] = {
        {std::string(300, 'x'), std::string(300, 'x').substr(0, 255)},
        {std::string(255, 'x'), std::string(255, 'x')},
        {a254 + enye + "tail", a254 + enye},
        {a254 + "b" + enye, a254 + "b"},
        {euros300, euros300.substr(0, 255 * euro.size())},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value.substr(0, 8) + "... of " + std::to_string(c.value.size()) + " bytes");
        writeFile(file(), "[SETTINGS]\nFILELOCATION=" + c.value + "\n");
        EXPECT_EQ(GetPrivateProfileString("SETTINGS", "FILELOCATION", "", file()), c.expected);
        EXPECT_EQ(GetPrivateProfileString("SETTINGS", "MISSING", c.value, file()), c.expected);
    }
    // Quotes come off before the cut.
    writeFile(file(), "[SETTINGS]\nFILELOCATION=\"" + std::string(300, 'q') + "\"\n");
    EXPECT_EQ(GetPrivateProfileString("SETTINGS", "FILELOCATION", "", file()), std::string(255, 'q'));
}

TEST_F(ProfileTest, WritesChangeOnlyTheirOwnLine) {
    struct Case {
        const char* name;
        std::string before;
        const char* section;
        const char* key;
        const char* value;
        std::string after;
    };
    const Case cases[] = {
        {"replaces in place, keeping the file's spelling of the key",
         "; head \xe9\n[A]\nx=1\n  Key = old ; c\nz=3\n[B]\nkey=b\n", "a", "KEY", "new",
         "; head \xe9\n[A]\nx=1\nKey=new\nz=3\n[B]\nkey=b\n"},
        {"replaces the first of duplicate keys", "[A]\nk=1\nk=2\n", "A", "k", "9", "[A]\nk=9\nk=2\n"},
        {"appends to the first of duplicate sections", "[A]\nk=1\n[B]\n[a]\nk=2\n", "A", "j", "v",
         "[A]\nk=1\nj=v\n[B]\n[a]\nk=2\n"},
        {"appends after the last key, before blank lines and comments",
         "[A]\nk=1\nodd\n\n; about B\n[B]\nb=2\n", "A", "new", "v",
         "[A]\nk=1\nnew=v\nodd\n\n; about B\n[B]\nb=2\n"},
        {"appends right after the header of a section without keys", "[A]\n\n[B]\n", "A", "k", "v",
         "[A]\nk=v\n\n[B]\n"},
        {"adds a missing section at the end", "k=0\n[A]\nk=1\n", "B", "K", "v", "k=0\n[A]\nk=1\n[B]\nK=v\n"},
        {"creates the file", "", "SETTINGS", "VOLSET", "0", "[SETTINGS]\nVOLSET=0\n"},
        {"ends an unterminated last line before a new section", "[A]\nk=1", "B", "k", "v",
         "[A]\nk=1\n[B]\nk=v\n"},
        {"ends an unterminated last line before a new key", "[A]\nk=1", "A", "j", "v", "[A]\nk=1\nj=v\n"},
        {"keeps a missing final newline when replacing the last line", "[A]\nk=1", "A", "K", "2", "[A]\nk=2"},
        {"uses CRLF in a CRLF file", "[A]\r\nk=1\r\n\r\n[B]\r\n", "A", "j", "v",
         "[A]\r\nk=1\r\nj=v\r\n\r\n[B]\r\n"},
        {"adds a CRLF section to a CRLF file", "[A]\r\nk=1", "B", "k", "v", "[A]\r\nk=1\r\n[B]\r\nk=v\r\n"},
        {"keeps each line's own ending", "[A]\nk=1\r\n[B]\r\n", "A", "K", "2", "[A]\nk=2\r\n[B]\r\n"},
        {"takes the new line ending from the first line", "[A]\nk=1\r\n", "A", "j", "v", "[A]\nk=1\r\nj=v\n"},
        {"completes a CRLF cut after its CR", "[A]\r\nk=1\r", "A", "j", "v", "[A]\r\nk=1\r\nj=v\r\n"},
        {"keeps a value to its first line", "[A]\nk=1\n", "A", "k", "one\r\ntwo", "[A]\nk=one\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(file());
        if (!c.before.empty())
            writeFile(file(), c.before);
        std::string error;
        ASSERT_TRUE(WritePrivateProfileString(c.section, c.key, c.value, file(), &error)) << error;
        EXPECT_EQ(readFile(file()), c.after);
    }
}

TEST_F(ProfileTest, RefusesNamesThatWouldNotReadBack) {
    const std::pair<std::string, std::string> names[] = {
        {"", "KEY"}, {"S", ""},   {" S", "KEY"}, {"S", "KEY "}, {"S", "K=V"},
        {"S", ";K"}, {"S", "#K"}, {"S", "[K]"},  {"S\nT", "K"}, {"S", "K\r"},
    };
    writeFile(file(), "[S]\nKEY=1\n");
    for (const auto& [section, key] : names) {
        SCOPED_TRACE("[" + section + "] " + key);
        std::string error;
        EXPECT_FALSE(WritePrivateProfileString(section, key, "2", file(), &error));
        EXPECT_THAT(error, Not(IsEmpty()));
    }
    EXPECT_EQ(readFile(file()), "[S]\nKEY=1\n");
}

TEST_F(ProfileTest, RepeatedSavesOfAllKeysReadBackWithoutGrowingTheFile) {
    std::vector<std::string> keys = {"FILELOCATION", "VOLSET", "ONHOUR",    "QUARTERHOUR", "HALFHOUR",
                                     "DTMFTIME",     "AMPM",   "OPTIONWAV", "OPTIONMP3",   "CHECK1",
                                     "CHECK2",       "LEFT",   "TOP"};
    for (int i = 1; i <= 10; ++i)
        keys.push_back("OPTION" + std::to_string(i));
    const auto valueFor = [](const std::string& key, int round) {
        return key == "DTMFTIME" && round == 0 ? std::string()
                                               : "/Espa\xc3\xb1ol=" + key + std::to_string(round);
    };
    for (int round = 0; round < 2; ++round) {
        ProfileFile profile = ProfileFile::load(file());
        for (const std::string& key : keys) {
            // The second round spells the names differently; they must still replace, not add.
            std::string spelled = key;
            if (round == 1)
                std::transform(key.begin(), key.end(), spelled.begin(), ::tolower);
            ASSERT_TRUE(profile.write(round == 1 ? "settings" : "SETTINGS", spelled, valueFor(key, round)));
        }
        std::string error;
        ASSERT_TRUE(profile.save(&error)) << error;

        const ProfileFile reread = ProfileFile::load(file());
        for (const std::string& key : keys)
            EXPECT_EQ(reread.read("SETTINGS", key, "absent"), valueFor(key, round))
                << key << " round " << round;
        const std::string text = readFile(file());
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + static_cast<long>(keys.size()));
    }
}

TEST_F(ProfileTest, SaveCreatesOrReplacesTheFileAndLeavesNothingElse) {
    ProfileFile created = ProfileFile::load(file());
    created.write("SETTINGS", "TOP", "300");
    std::string error;
    ASSERT_TRUE(created.save(&error)) << error;
    EXPECT_THAT(namesIn(root()), ElementsAre("Tempovox.ini"));

    fs::permissions(file(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ProfileFile replaced = ProfileFile::load(file());
    replaced.write("SETTINGS", "TOP", "600");
    ASSERT_TRUE(replaced.save(&error)) << error;
    EXPECT_EQ(readFile(file()), "[SETTINGS]\nTOP=600\n");
    EXPECT_EQ(fs::status(file()).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_THAT(namesIn(root()), ElementsAre("Tempovox.ini"));
}

TEST_F(ProfileTest, SavingThroughASymbolicLinkUpdatesTheLinkedFile) {
    fs::create_directory(root() / "real");
    writeFile(root() / "real" / "Tempovox.ini", "[SETTINGS]\nTOP=1\n");
    fs::create_symlink(root() / "real" / "Tempovox.ini", file());

    std::string error;
    ASSERT_TRUE(WritePrivateProfileString("SETTINGS", "TOP", "2", file(), &error)) << error;
    EXPECT_TRUE(fs::is_symlink(file()));
    EXPECT_EQ(readFile(root() / "real" / "Tempovox.ini"), "[SETTINGS]\nTOP=2\n");
    EXPECT_THAT(namesIn(root() / "real"), ElementsAre("Tempovox.ini"));
}

TEST_F(ProfileTest, FailedSaveReportsWhyAndChangesNothing) {
    // The folder does not exist: the temporary file cannot even be created.
    std::string error;
    EXPECT_FALSE(WritePrivateProfileString("SETTINGS", "TOP", "1", file("absent/Tempovox.ini"), &error));
    EXPECT_THAT(error, Not(IsEmpty()));
    EXPECT_THAT(namesIn(root()), IsEmpty());

    // The target turns into a folder after loading: the final rename fails.
    ProfileFile profile = ProfileFile::load(file());
    profile.write("SETTINGS", "TOP", "1");
    fs::create_directory(file());
    writeFile(fs::path(file()) / "inside", "kept");
    error.clear();
    EXPECT_FALSE(profile.save(&error));
    EXPECT_THAT(error, Not(IsEmpty()));
    EXPECT_THAT(namesIn(root()), ElementsAre("Tempovox.ini"));
    EXPECT_EQ(readFile(fs::path(file()) / "inside"), "kept");
}

TEST_F(ProfileTest, RefusesToSaveOverAFileItCouldNotRead) {
    fs::create_directory(file());
    ProfileFile folder = ProfileFile::load(file());
    ASSERT_TRUE(folder.loadFailed());
    folder.write("SETTINGS", "TOP", "1");
    std::string error;
    EXPECT_FALSE(folder.save(&error));
    EXPECT_THAT(error, ::testing::HasSubstr(folder.loadError()));
    EXPECT_EQ(GetPrivateProfileString("SETTINGS", "TOP", "300", file()), "300");
    EXPECT_TRUE(fs::is_directory(file()));
    EXPECT_THAT(namesIn(root()), ElementsAre("Tempovox.ini"));
}

TEST_F(ProfileTest, PermissionsThatStopASaveKeepTheOldFile) {
    const std::string old = "[SETTINGS]\nTOP=1\n";
    writeFile(file(), old);

    // Returns which expectation failed, so that it can run in a child process.
    const auto attempt = [this] {
        std::string error;
        ProfileFile profile = ProfileFile::load(file());
        profile.write("SETTINGS", "TOP", "2");
        fs::permissions(root(), fs::perms::owner_read | fs::perms::owner_exec);
        const bool savedIntoReadOnlyFolder = profile.save(&error);
        fs::permissions(root(), fs::perms::owner_all);
        if (savedIntoReadOnlyFolder || error.empty())
            return 1;

        fs::permissions(file(), fs::perms::none); // unreadable: must not be replaced with defaults
        error.clear();
        const bool replacedUnreadable = WritePrivateProfileString("SETTINGS", "TOP", "2", file(), &error);
        fs::permissions(file(), fs::perms::owner_read | fs::perms::owner_write);
        return replacedUnreadable || error.empty() ? 2 : 0;
    };
    EXPECT_EQ(runUnprivileged(root(), attempt), 0);
    EXPECT_EQ(readFile(file()), old);
    EXPECT_THAT(namesIn(root()), ElementsAre("Tempovox.ini"));
}

TEST_F(ProfileTest, TextParsedInMemoryBehavesAsTheSameFileLoadedButIsNeverSaved) {
    for (const std::string newline : {"\n", "\r\n"}) {
        SCOPED_TRACE(newline == "\n" ? "LF" : "CRLF");
        const std::string text = replaceAll(kSample, "\n", newline) + "[Tail]\r";
        writeFile(file(), text);
        ProfileFile loaded = ProfileFile::load(file());
        ProfileFile parsed = ProfileFile::parse(text);
        EXPECT_EQ(parsed.text(), text);
        for (const char* key : {"FileLocation", "QUOTED", "DUP", "LATE"})
            EXPECT_EQ(parsed.read("Settings", key, "default"), loaded.read("Settings", key, "default"))
                << key;
        // Both pick the same line ending for what they add.
        for (ProfileFile* profile : {&loaded, &parsed}) {
            ASSERT_TRUE(profile->write("Settings", "NEW", "1"));
            ASSERT_TRUE(profile->write("Tail", "K", "2"));
        }
        EXPECT_EQ(parsed.text(), loaded.text());

        std::string error;
        EXPECT_FALSE(parsed.save(&error));
        EXPECT_THAT(error, Not(IsEmpty()));
    }
}

} // namespace
