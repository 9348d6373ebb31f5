// SPDX-License-Identifier: GPL-3.0-or-later
// Measures how long a clip takes to prepare (RenderFile: build the pipeline, preroll to the
// output) for every clip of the generated voices, WAV and MP3.
//
//   build/bench/preroll_bench [voices folder] [repetitions] [sink description]

#include "MediaRuntime.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
struct Figures {
    double median, p90, worst;
};

Figures Summarise(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back()};
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString root =
        args.value(1, QCoreApplication::applicationDirPath() + QStringLiteral("/../WavFiles"));
    const int repetitions = args.value(2, QStringLiteral("5")).toInt();
    const QString sink = args.value(3, QStringLiteral("fakesink sync=true"));

    QString error;
    if (!initMediaRuntime(&error)) {
        std::fprintf(stderr, "preroll_bench: %s\n", qUtf8Printable(error));
        return 1;
    }
    const auto graphs = createPlatformGraphFactory(sink);
    std::printf("| voice | format | clips | loads | median ms | p90 ms | worst ms "
                "|\n|---|---|---|---|---|---|---|\n");
    for (const QString& voice : QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        for (const QString& format : {QStringLiteral("wav"), QStringLiteral("mp3")}) {
            const QFileInfoList clips = QDir(root + QLatin1Char('/') + voice)
                                            .entryInfoList({QStringLiteral("*.") + format}, QDir::Files);
            std::vector<double> ms;
            for (int round = 0; round < repetitions; ++round) {
                for (const QFileInfo& clip : clips) {
                    QElapsedTimer timer;
                    timer.start();
                    const auto graph = graphs->CreateGraph();
                    if (!graph->RenderFile(clip.filePath(), &error)) {
                        std::fprintf(stderr, "preroll_bench: %s\n", qUtf8Printable(error));
                        return 1;
                    }
                    ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
                }
            }
            if (ms.empty())
                continue;
            const Figures f = Summarise(ms);
            std::printf("| %s | %s | %lld | %zu | %.2f | %.2f | %.2f |\n", qUtf8Printable(voice),
                        qUtf8Printable(format), static_cast<long long>(clips.size()), ms.size(), f.median,
                        f.p90, f.worst);
        }
    }
    return 0;
}
