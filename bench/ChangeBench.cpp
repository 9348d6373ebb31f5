// SPDX-License-Identifier: GPL-3.0-or-later
// How soon a change is heard, and how soon after its last sample a clip lets the transmitter
// go, for the three kinds of voice clip: 44.1 kHz WAV, MP3 and 8 kHz WAV. The output is a fake
// sink that plays in real time and buffers nothing, so every figure is the player's own part;
// a real output adds what it buffers. Prints Markdown.
//
//   build/bench/change_bench [repetitions]

#include "GstGraph.h"
#include "GstLaunch.h"
#include "MediaRuntime.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {
constexpr float Loud = 0.1F; // the clips' tone peaks at 0.5; forty decibels down is 0.005

// What the sink renders, as it renders it: the first buffer of the awaited kind after a change.
struct Ear {
    std::atomic<int> awaited{0}; // 0: nothing, 1: quiet, 2: loud
    std::atomic<gint64> heardUs{0};
    std::atomic<gint64> lastLoudUs{0};
};

void onRendered(GstElement*, GstBuffer* buffer, GstPad*, gpointer data) {
    auto* ear = static_cast<Ear*>(data);
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ))
        return;
    float peak = 0;
    for (gsize i = 0; i + sizeof(float) <= map.size; i += sizeof(float))
        peak = std::max(peak, std::abs(*reinterpret_cast<const float*>(map.data + i)));
    gst_buffer_unmap(buffer, &map);
    const gint64 now = g_get_monotonic_time();
    if (peak > Loud)
        ear->lastLoudUs = now;
    const int awaited = ear->awaited;
    if (awaited != 0 && (peak > Loud) == (awaited == 2)) {
        ear->heardUs = now;
        ear->awaited = 0;
    }
}

void pump(int ms) {
    const gint64 until = g_get_monotonic_time() + gint64(ms) * 1000;
    while (g_get_monotonic_time() < until) {
        QCoreApplication::processEvents();
        QThread::msleep(2);
    }
}

// Milliseconds from the change to the first rendered buffer of the awaited kind, or -1.
double heardAfter(Ear& ear, int awaited, const std::function<void()>& change) {
    ear.heardUs = 0;
    ear.awaited = awaited;
    const gint64 at = g_get_monotonic_time();
    change();
    for (int i = 0; i < 1000 && ear.awaited != 0; ++i)
        pump(2);
    return ear.awaited != 0 ? -1 : double(ear.heardUs - at) / 1000.0;
}

QString spread(std::vector<double> ms) {
    std::erase(ms, -1.0);
    if (ms.empty())
        return u"–"_s;
    std::sort(ms.begin(), ms.end());
    return u"%1 / %2 / %3"_s.arg(ms[ms.size() / 2], 0, 'f', 0)
        .arg(ms[(ms.size() - 1) * 99 / 100], 0, 'f', 0)
        .arg(ms.back(), 0, 'f', 0);
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int repetitions = app.arguments().value(1, u"10"_s).toInt();
    QString error;
    if (!initMediaRuntime(&error)) {
        std::fprintf(stderr, "change_bench: %s\n", qUtf8Printable(error));
        return 1;
    }
    // Two seconds of silence, then two of tone, at each rate the voices come in.
    QTemporaryDir dir;
    const auto clip = [&](int rate, const QString& name) {
        const QString part = u"audiotestsrc wave=%1 num-buffers=%2 samplesperbuffer=%3 ! "
                             "audio/x-raw,rate=%3,channels=1,format=S16LE ! c. "_s;
        return runLaunchLine(
            u"concat name=c ! audioconvert ! wavenc ! filesink location=\"%1\" "_s.arg(dir.filePath(name)) +
                part.arg(u"silence"_s).arg(2).arg(rate) + part.arg(u"sine volume=0.5"_s).arg(2).arg(rate),
            &error);
    };
    if (!clip(44100, u"voice.wav"_s) || !clip(8000, u"phone.wav"_s) ||
        QProcess::execute(u"lame"_s,
                          {u"--quiet"_s, dir.filePath(u"voice.wav"_s), dir.filePath(u"voice.mp3"_s)})) {
        std::fprintf(stderr, "change_bench: cannot make the clips: %s\n", qUtf8Printable(error));
        return 1;
    }

    const QString output = u"fakesink name=ear sync=true signal-handoffs=true"_s;
    Ear ear;
    GstElement* heard = nullptr; // the stream the ear listens to
    std::printf(
        "| clip | changes | volume change heard after, median / p99 / worst ms | seek heard after, ms | "
        "release after the last sample, ms |\n|---|---|---|---|---|\n");
    for (const auto& [label, name] : {std::pair{"44.1 kHz WAV", u"voice.wav"_s},
                                      {"MP3 (44.1 kHz)", u"voice.mp3"_s},
                                      {"8 kHz WAV", u"phone.wav"_s}}) {
        std::vector<double> volume, seek, release;
        for (int round = 0; round < repetitions; ++round) {
            auto graph = std::make_shared<GstGraph>(output);
            if (!graph->RenderFile(dir.filePath(name), &error)) {
                std::fprintf(stderr, "change_bench: %s\n", qUtf8Printable(error));
                return 1;
            }
            GstElement* stream = AudioOutput::forSink(output)->pipeline();
            if (stream != heard) {
                GstElement* sink = gst_bin_get_by_name(GST_BIN(stream), "ear");
                g_signal_connect(sink, "handoff", G_CALLBACK(&onRendered), &ear);
                gst_object_unref(sink);
                heard = stream;
            }
            graph->Run();
            pump(200);
            seek.push_back(heardAfter(ear, 2, [&] { graph->SetCurrentPosition(2.2); }));
            pump(100);
            volume.push_back(heardAfter(ear, 1, [&] { graph->SetVolume(-4000); }));
            pump(100);
            volume.push_back(heardAfter(ear, 2, [&] { graph->SetVolume(0); }));
            pump(100);
            seek.push_back(heardAfter(ear, 1, [&] { graph->SetCurrentPosition(0.5); }));
            pump(100);
            seek.push_back(heardAfter(ear, 2, [&] { graph->SetCurrentPosition(3.0); }));
            // The clip's last sample is the tone's; then the moment nothing is sounding any more.
            for (int i = 0;
                 i < 2000 && !(graph->CurrentPosition() == graph->Duration() && !graph->StillSounding()); ++i)
                pump(1);
            release.push_back(double(g_get_monotonic_time() - ear.lastLoudUs) / 1000.0);
        }
        std::printf("| %s | %zu | %s | %s | %s |\n", label, volume.size() + seek.size(),
                    qUtf8Printable(spread(volume)), qUtf8Printable(spread(seek)),
                    qUtf8Printable(spread(release)));
    }
    return 0;
}
