// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QLoggingCategory>

#include <gtest/gtest.h>

// Every test binary gets a QApplication, so that widgets, timers and sockets work.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    // The program's own warnings are expected in tests that feed it bad input.
    QLoggingCategory::setFilterRules(QStringLiteral("tempovox.*.warning=false"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
