// SPDX-License-Identifier: GPL-3.0-or-later
#include "LogRing.h"
#include "PlatformSettings.h"
#include "Profile.h"
#include "Station.h"
#include "WebJson.h"
#include "WebStation.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct PageStation {
    explicit PageStation(Station::Options options = {})
        : station(std::move(options))
        , web(station.window(), LogRing::install(), {u"1.0.1"_s, u"pt"_s, true, u"socket"_s}) {
        station.clock.time = QDateTime(QDate(2026, 12, 7), QTime(14, 10));
    }
    QString saved(const char* key) const {
        return QString::fromStdString(ProfileFile::load(station.dir.file(u"Tempovox.ini"_s).toStdString())
                                          .read("SETTINGS", key, "(missing)"));
    }
    Station station;
    WebStation web;
};

// What became of an announcement, however it started and ended, as the page lists it.
TEST(StationPage, EveryAnnouncementEndsInTheHistory) {
    // What may happen to an announcement, by name.
    const struct {
        std::function<void(Station&)> run;
        const char* name;
    } act[] = {
        {[](Station& s) { s.window().announceFromPage(); }, "page"},
        {[](Station& s) { s.window().hora_rf_Click(); }, "button"},
        {[](Station& s) { s.link->sendDtmf(u"123"_s); }, "dtmf"},
        {[](Station& s) { s.tickAt(QTime(14, 15)); }, "mark"},
        {[](Station& s) { s.link->busy = true; }, "busy"},
        {[](Station& s) { s.fakes.missing << s.dir.file(u"WavFiles/brasil/GoodEvening.wav"_s); }, "missing"},
        {[](Station& s) { s.step(); }, "step"},
        {[](Station& s) { s.playOut(); }, "play"},
        {[](Station& s) { s.window().releaseNow(); }, "release"},
        {[](Station& s) { s.clock.monotonic += 5000; }, "late"},
        {[](Station& s) { s.window().Beacon8_Timer(); }, "watchdog"},
    };
    const struct {
        const char* name;
        const char* settings;
        const char* actions; // in order, from `act`
        const char *cause, *outcome;
        bool heard; // a clip went out
    } cases[] = {
        {"the page's button, played", "", "page play", "page", "played", true},
        {"the window's button, played", "", "button play", "button", "played", true},
        {"a DTMF request, played", "", "dtmf play", "dtmf", "played", true},
        {"released from the page", "", "page step step release", "page", "stopped", true},
        {"a mark while the link is busy", "QUARTERHOUR=1", "busy mark", "schedule", "skipped-busy", false},
        {"a mark on a free link", "QUARTERHOUR=1", "mark play", "schedule", "played", true},
        {"a missing clip", "", "missing page step", "page", "failed", false},
        {"a transmitter held too long", "", "page step step late watchdog", "page", "tx-timeout", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PageStation page({.settings = QString::fromLatin1(c.settings).split(u' ', Qt::SkipEmptyParts),
                          .txTimeoutSeconds = 2});
        QList<AnnouncementRecord> ended;
        QObject::connect(&page.web, &StationModel::announcementEnded,
                         [&](const AnnouncementRecord& r) { ended << r; });
        for (const QString& action : QString::fromLatin1(c.actions).split(u' '))
            for (const auto& [run, name] : act)
                if (action == QLatin1String(name))
                    run(page.station);
        const QList<AnnouncementRecord> records = page.web.announcements();
        ASSERT_EQ(records.size(), 1);
        EXPECT_EQ(records[0].cause.toStdString(), c.cause);
        EXPECT_EQ(records[0].outcome.toStdString(), c.outcome) << records[0].reason.toStdString();
        EXPECT_EQ(records[0].outcome == u"failed"_s, !records[0].reason.isEmpty());
        EXPECT_EQ(!records[0].clips.isEmpty(), c.heard);
        EXPECT_EQ(ended.size(), 1);
        // Nothing stays under way, and nothing stays keyed.
        EXPECT_FALSE(page.web.status().announcement.has_value());
        EXPECT_FALSE(page.station.link->keyed);
        const StationCounters counters = page.web.counters();
        EXPECT_EQ(counters.announcements.value({QLatin1String(c.cause), QLatin1String(c.outcome)}), 1);
        EXPECT_EQ(counters.lastHeard.has_value(), c.heard);
    }
}

// The clips a played announcement lists are the ones heard, and the next mark says what it will say.
TEST(StationPage, StatusAndHistoryTellWhatIsSaid) {
    PageStation page({.settings = {u"QUARTERHOUR=1"_s, u"HALFHOUR=1"_s, u"CHECK1=0"_s, u"OPTION5=True"_s,
                                   u"OPTION9=False"_s}});
    const StationStatus before = page.web.status();
    ASSERT_TRUE(before.next.has_value());
    EXPECT_EQ(before.next->text, u"14:15"_s);
    page.station.clock.time = QDateTime(QDate(2026, 12, 7), QTime(14, 15));
    ASSERT_TRUE(page.web.status().next.has_value());
    EXPECT_EQ(page.web.status().next->text, u"14:30"_s);
    Q_EMIT page.station.link->DTMFString(u"123"_s);
    EXPECT_TRUE(page.web.status().keyed);
    ASSERT_TRUE(page.web.status().announcement.has_value());
    const QStringList heard = page.station.playOut();
    EXPECT_EQ(page.web.announcements().value(0).clips, heard);
    EXPECT_EQ(page.web.status().next->clips,
              QStringList({u"DingDong.wav"_s, u"TheTimeIs.wav"_s, u"14.wav"_s, u"30.wav"_s, u"Blank.wav"_s}));
    EXPECT_EQ(heard.mid(1), QStringList({u"TheTimeIs.wav"_s, u"14.wav"_s, u"15.wav"_s, u"Blank.wav"_s}));
    // The metrics count it, and every other cause and outcome from 0.
    const QByteArray metrics = WebJson::metrics(page.web.counters(), false);
    EXPECT_TRUE(metrics.contains("\ntempovox_announcements_total{cause=\"dtmf\",outcome=\"played\"} 1\n"));
    EXPECT_TRUE(metrics.contains("\ntempovox_announcements_total{cause=\"page\",outcome=\"failed\"} 0\n"));
    EXPECT_TRUE(metrics.contains("\ntempovox_last_announcement_heard_timestamp_seconds " +
                                 QByteArray::number(page.station.clock.time.toSecsSinceEpoch()) + '\n'));

    PageStation none({.settings = {u"QUARTERHOUR=0"_s, u"HALFHOUR=0"_s, u"ONHOUR=2"_s}});
    EXPECT_FALSE(none.web.status().next.has_value());
}

// Settings from the page: by the window's rules, whole or not at all, saved as "Salvar" saves.
TEST(StationPage, SettingsApplyWholeOrNotAtAll) {
    const struct {
        const char* name;
        QMap<QString, QString> values;
        bool applied;
        const char* key = ""; // applied: the key whose saved value ends in `saved`
        QString saved = {};
    } cases[] = {
        {"a language, its voice", {{u"OPTION4"_s, u"True"_s}}, true, "FILELOCATION", u"/WavFiles/Español/"_s},
        {"options of a group clear each other", {{u"OPTION4"_s, u"True"_s}}, true, "OPTION7", u"False"_s},
        {"the volume moves its bar", {{u"VOLSET"_s, u"-1200"_s}}, true, "VOLSET", u"-1200"_s},
        {"an unknown key", {{u"DTMFTIME"_s, u"9"_s}, {u"NOPE"_s, u"1"_s}}, false},
        {"the window's place is not a setting", {{u"LEFT"_s, u"0"_s}}, false},
        {"a value a control cannot take", {{u"DTMFTIME"_s, u"9"_s}, {u"OPTION3"_s, u"maybe"_s}}, false},
        {"a check box beyond greyed", {{u"CHECK1"_s, u"3"_s}}, false},
        {"a volume above 0", {{u"VOLSET"_s, u"10"_s}}, false},
        {"a line break that would write a section of its own", {{u"DTMFTIME"_s, u"1\n[LINK]"_s}}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PageStation page;
        const StationSettings before = page.web.settings();
        QString error;
        bool saveFailed = true;
        EXPECT_EQ(page.web.applySettings(c.values, &error, &saveFailed), c.applied) << error.toStdString();
        EXPECT_FALSE(saveFailed);
        if (c.applied) {
            EXPECT_TRUE(page.saved(c.key).endsWith(c.saved)) << page.saved(c.key).toStdString();
        } else {
            EXPECT_FALSE(error.isEmpty());
            EXPECT_EQ(page.web.settings().values, before.values);
            for (const QString& key : c.values.keys())
                EXPECT_EQ(page.saved(key.toUtf8().constData()), u"(missing)"_s) << key.toStdString();
        }
        EXPECT_FALSE(page.web.settings().values.contains(u"LEFT"_s));
        if (c.values.contains(u"VOLSET"_s) && c.applied) {
            EXPECT_EQ(page.web.status().volume, -1200);
        }
    }

    // A save that fails leaves the window as it was.
    PageStation page;
    const StationSettings before = page.web.settings();
    QFile::remove(page.station.dir.file(u"Tempovox.ini"_s));
    QDir(page.station.dir.path()).mkdir(u"Tempovox.ini"_s);
    QString error;
    bool saveFailed = false;
    EXPECT_FALSE(page.web.applySettings({{u"DTMFTIME"_s, u"77"_s}}, &error, &saveFailed));
    EXPECT_TRUE(saveFailed);
    EXPECT_EQ(page.web.settings().values, before.values);
}

// [WEB] as the operator writes it: what the page listens on, and what a bad value falls back to.
TEST(StationPage, WebSettingsRead) {
    const struct {
        const char* name;
        QByteArray section; // the [WEB] lines
        bool enabled;
        QString address;
        int port;
        const char* hosts = ""; // as a list, blank-separated
    } cases[] = {
        {"no section: loopback", "", true, u"127.0.0.1"_s, 8073},
        {"empty LISTEN: off", "LISTEN=\n", false, {}, 0},
        {"another port", "LISTEN=127.0.0.1:9000\n", true, u"127.0.0.1"_s, 9000},
        {"IPv6", "LISTEN=[::1]:8080\n", true, u"::1"_s, 8080},
        {"localhost is loopback", "LISTEN=localhost:8073\n", true, u"127.0.0.1"_s, 8073},
        {"every interface, as asked", "LISTEN=0.0.0.0:8073\n", true, u"0.0.0.0"_s, 8073},
        {"no port: the default", "LISTEN=192.168.1.5\n", true, u"127.0.0.1"_s, 8073},
        {"a port too high: the default", "LISTEN=127.0.0.1:70000\n", true, u"127.0.0.1"_s, 8073},
        {"a host name: the default", "LISTEN=example.org:8073\n", true, u"127.0.0.1"_s, 8073},
        {"hosts by commas and blanks", "HOSTS=Repeater1.example.net, proxy.lan  other\n", true,
         u"127.0.0.1"_s, 8073, "repeater1.example.net proxy.lan other"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.write(u"Tempovox.ini"_s, "[WEB]\n" + c.section);
        const WebSettings web = readWebSettings(dir.file(u"Tempovox.ini"_s));
        EXPECT_EQ(web.enabled, c.enabled);
        if (!c.enabled)
            continue;
        EXPECT_EQ(web.address.toString(), c.address);
        EXPECT_EQ(web.port, c.port);
        EXPECT_EQ(web.hosts.join(u' ').toStdString(), c.hosts);
    }
}

} // namespace
