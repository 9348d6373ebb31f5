// SPDX-License-Identifier: GPL-3.0-or-later
#include "Station.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString Output = u"fakesink name=out sync=true signal-handoffs=true"_s;
const QStringList Chain = {u"GoodEvening.wav"_s, u"TheTimeIs.wav"_s, u"14.wav"_s, u"Hour.wav"_s,
                           u"15.wav"_s,          u"Minutes.wav"_s,   u"Blank.wav"_s};

enum class Starter { Button, Clock, Dtmf };

void start(Station& station, Starter starter) {
    if (starter == Starter::Clock)
        station.tickAt({14, 15});
    else if (starter == Starter::Dtmf)
        station.link->sendDtmf(u"123"_s);
    else
        station.window().hora_rf_Click();
    station.clock.time.setTime({14, 15, 30});
}

// The real player under each kind of fault, met at one step of the chain: the transmitter is
// released at once or within the watchdog's second after the last sound, the operator is told
// which file failed, and once the fault is gone the next announcement plays every clip in full.
TEST(Faults, EveryFaultReleasesAndTheNextAnnouncementPlaysInFull) {
    const struct {
        const char* name;
        QString clip;                        // the clip the fault is met at
        std::function<void(Station&)> fault; // before the start
        QString during;                      // or, when given, as this clip loads
        Starter starter;
        bool told; // the operator hears of a failed load
    } cases[] = {
        {"clip missing", u"Hour.wav"_s, [](Station& s) { QFile::remove(s.voiceFolder() + u"Hour.wav"_s); }, {},
         Starter::Button, true},
        {"clip empty", u"TheTimeIs.wav"_s,
         [](Station& s) { QFile(s.voiceFolder() + u"TheTimeIs.wav"_s).resize(0); }, {}, Starter::Clock, true},
        {"clip cut short", u"15.wav"_s,
         [](Station& s) {
             QFile clip(s.voiceFolder() + u"15.wav"_s);
             clip.resize(clip.size() * 3 / 4);
         },
         {}, Starter::Dtmf, false},
        {"clip not audio", u"Minutes.wav"_s,
         [](Station& s) { s.dir.write(u"WavFiles/US_Kate/Minutes.wav"_s, "RIFF? no, text\n"); }, {},
         Starter::Button, true},
        {"voice folder deleted under a playing clip", u"14.wav"_s,
         [](Station& s) { QDir(s.voiceFolder()).removeRecursively(); }, u"14.wav"_s, Starter::Button, true},
        {"no such sound card", {}, [](Station& s) { s.output = u"alsasink device=hw:99"_s; }, {}, Starter::Button,
         true},
        {"output fails while playing", {}, [](Station& s) { s.output = u"filesink location=/dev/full"_s; }, {},
         Starter::Button, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Station station({.output = Output});
        auto fault = c.fault;
        if (c.during.isEmpty())
            std::exchange(fault, [](Station&) {})(station);
        start(station, c.starter);
        ASSERT_TRUE(Station::waitFor([&] {
            if (!c.during.isEmpty() && !station.played.empty() && station.played.back()->path.endsWith(c.during))
                std::exchange(fault, [](Station&) {})(station);
            return !station.played.empty() && !station.window().Timer2.isActive() && !station.link->keyed;
        })) << station.heardInFull().join(u' ').toStdString();
        EXPECT_EQ(!station.dialogs.shown.isEmpty(), c.told) << station.dialogs.shown.join(u'\n').toStdString();
        const qsizetype calls = station.link->calls.size();
        EXPECT_TRUE(Station::waitFor([&] { return station.link->calls.size() > calls; }, 1500))
            << "released again every second";
        if (c.told && !c.clip.isEmpty()) {
            EXPECT_TRUE(station.dialogs.shown.join(u' ').contains(c.clip));
        }

        QString error;
        ASSERT_TRUE(writeToneVoice(station.voiceFolder(), &error)) << error.toStdString();
        station.output = Output;
        station.heardInFull();
        station.window().hora_rf_Click();
        EXPECT_TRUE(Station::waitFor([&] { return !station.window().Timer2.isActive() && !station.link->keyed; }));
        EXPECT_EQ(station.heardInFull(), Chain);
    }
}

} // namespace
