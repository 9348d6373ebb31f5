// SPDX-License-Identifier: GPL-3.0-or-later
#include "Profile.h"
#include "Station.h"

#include <QFile>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// A control's state as text: a check box 0, 1 or 2, an option "True" or "False", else its text.
QString shown(Station& station, const QString& name) {
    QWidget* control = station.window().findChild<QWidget*>(name);
    if (auto* box = qobject_cast<QCheckBox*>(control))
        return QString::number(box->checkState() == Qt::PartiallyChecked ? 2 : box->isChecked() ? 1 : 0);
    if (auto* option = qobject_cast<QRadioButton*>(control))
        return option->isChecked() ? u"True"_s : u"False"_s;
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        return edit->text();
    return u"no control "_s + name;
}

// [SETTINGS] lines as the window takes them; a value it cannot use gives the key's default.
TEST(Settings, ValuesReachTheirControls) {
    const struct {
        QString line, control, value;
    } cases[] = {
        {u""_s, u"QuarterHour"_s, u"1"_s},
        {u""_s, u"OnHour"_s, u"0"_s},
        {u""_s, u"DTMFTime"_s, u"123"_s},
        {u""_s, u"Check1"_s, u"1"_s},
        {u"quarterhour=0"_s, u"QuarterHour"_s, u"0"_s},
        {u"HALFHOUR=2"_s, u"HalfHour"_s, u"2"_s},
        {u"HALFHOUR=3"_s, u"HalfHour"_s, u"0"_s},
        {u"ONHOUR=0.6"_s, u"OnHour"_s, u"1"_s},
        {u"VOLSET=-3000"_s, u"VolSet"_s, u"-3000"_s},
        {u"VOLSET=1"_s, u"VolSet"_s, u"0"_s},
        {u"VOLSET=loud"_s, u"VolSet"_s, u"0"_s},
        {u"OPTION2=false"_s, u"Option2"_s, u"False"_s},
        {u"OPTION10=-1"_s, u"Option10"_s, u"True"_s},
        {u"OPTION2=maybe"_s, u"Option2"_s, u"True"_s},
        {u"DTMFTIME=\"  9#\"  "_s, u"DTMFTime"_s, u"  9#"_s},
        {u"DTMFTIME="_s, u"DTMFTime"_s, u""_s},
        {u"DTMFTIME="_s + QString(300, u'7'), u"DTMFTime"_s, QString(255, u'7')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line.left(40).toStdString());
        Station station({.settings = {c.line}});
        EXPECT_EQ(shown(station, c.control), c.value);
    }
}

// The Windows profile functions' reading rules, on the file's text.
TEST(Settings, ProfileReadsAsTheWindowsFunctions) {
    const struct {
        const char *text, *section, *key, *value;
    } cases[] = {
        {"[settings]\r\nKey = v \r\n", "SETTINGS", "KEY", "v"},
        {"[A]\nk=1\n[B]\nk=2\n[A]\nk=3\n", "A", "k", "1"},
        {"[A]\nk=1\nk=2\n", "A", "k", "1"},
        {"[A]\n;k=1\n", "A", "k", "default"},
        {"[A]\nk='quoted'\n", "A", "k", "quoted"},
        {"[A\nk=1\n", "A", "k", "default"},
        {"k=1\n[A]\n", "A", "k", "default"},
        {"\xEF\xBB\xBF[A]\r\nk=1\r\n", "A", "k", "1"},
        {"[B]\rj=2\r[A]\rk=1\r", "A", "k", "1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ProfileFile profile = ProfileFile::parse(c.text);
        EXPECT_EQ(profile.read(c.section, c.key, "default"), c.value);
        // A key added reads back, in the file's own line ends.
        profile.write(c.section, "new", "2");
        EXPECT_EQ(ProfileFile::parse(profile.text()).read(c.section, "new", "-"), "2");
    }
    // Something other than a file is refused at once, not read until it ends.
    TempDir dir;
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.file(u"fifo"_s)).constData(), 0600), 0);
    EXPECT_TRUE(ProfileFile::load(dir.file(u"fifo"_s).toStdString()).loadFailed());
}

// Saving changes only the keys' own lines, keeps the old file when the disk refuses, and
// clears what a save killed half-way left behind.
TEST(Settings, SaveKeepsOtherLinesAndNeverLosesTheFile) {
    Station station({.settings = {u"; the operator's note"_s, u"DTMFTIME=42"_s}});
    const QString path = station.dir.file(u"Tempovox.ini"_s);
    const QString abandoned = path + u".tmp-999999999-1"_s;
    station.dir.write(u"Tempovox.ini.tmp-999999999-1"_s, "half");
    station.ui().QuarterHour->setChecked(false);
    station.window().Command1_Click();
    const QByteArray saved = station.dir.read(u"Tempovox.ini"_s);
    EXPECT_TRUE(saved.contains("; the operator's note\nDTMFTIME=42\n")) << saved.toStdString();
    EXPECT_TRUE(saved.contains("QUARTERHOUR=0\n"));
    EXPECT_FALSE(QFile::exists(abandoned));

    // A file size limit below the file's size: the save fails and the old file stays whole.
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = old;
    tight.rlim_cur = 16;
    setrlimit(RLIMIT_FSIZE, &tight);
    station.ui().DTMFTime->setText(u"999"_s);
    std::string error;
    ProfileFile profile = ProfileFile::load(path.toStdString());
    profile.write("SETTINGS", "DTMFTIME", "999");
    EXPECT_FALSE(profile.save(&error));
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_NE(error.find("File too large"), std::string::npos) << error;
    EXPECT_EQ(station.dir.read(u"Tempovox.ini"_s), saved);
}

} // namespace
