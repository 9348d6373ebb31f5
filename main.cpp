// SPDX-License-Identifier: GPL-3.0-or-later
#include "Clock.h"
#include "Dialogs.h"
#include "Form1.h"
#include "Headless.h"
#include "LinkFactory.h"
#include "LogRing.h"
#include "MediaRuntime.h"
#include "PlatformSettings.h"
#include "SocketLink.h"
#include "StationPage.h"
#include "TerminationSignals.h"
#include "Translation.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QLocale>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
bool headlessRequested(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0 || std::strcmp(argv[i], "--release") == 0)
            return true;
    }
    return false;
}

int fail(const QString& message) {
    std::fprintf(stderr, "tempovox: %s\n", qUtf8Printable(message));
    return 1;
}
} // namespace

int main(int argc, char** argv) {
    // The platform must be chosen before the application object exists.
    const bool headless = headlessRequested(argc, argv) || !displayReachable();
    if (headless)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The clock repaints a few characters every second. Through X shared memory each repaint
    // waits for the server to answer, two or three wake-ups a second more for nothing.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tempovox"));
    QApplication::setApplicationVersion(QStringLiteral(TEMPOVOX_VERSION));
    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("A talking clock for amateur-radio stations."));
    options.addHelpOption();
    options.addVersionOption();
    options.addOption(
        {QStringLiteral("headless"), QStringLiteral("Run without a display; messages go to stderr.")});
    options.addOption(
        {QStringLiteral("release"),
         QStringLiteral("Release the transmitter through the configured link back-end, and exit.")});
    options.process(app);
    if (options.isSet(QStringLiteral("release"))) {
        QString error;
        if (!releaseTransmitter(readLinkSettings(defaultProfilePath()), &error))
            return fail(QStringLiteral("cannot release the transmitter: ") + error);
        return 0;
    }
    // Every line on stderr from here on is kept for the station page.
    LogRing& log = LogRing::install();
    // A headless run's boxes are lines on stderr, and those stay English like every log line; its
    // station page still speaks the language the window would.
    const QString language = headless ? Translation::choose(QLocale::system().uiLanguages())
                                      : Translation::install(app, QLocale::system().uiLanguages());

    QString error;
    if (!initMediaRuntime(&error))
        return fail(QStringLiteral("cannot start the media framework: ") + error);

    SystemClock clock;
    const QString profilePath = defaultProfilePath();
    const QString programFolder = QCoreApplication::applicationDirPath();
    const LinkSettings linkSettings = readLinkSettings(profilePath);
    const auto graphs =
        createPlatformGraphFactory(readAudioSink(profilePath), linkSettings.txTimeoutSeconds * 1000);
    MessageBoxDialogs messageBoxes;
    ConsoleDialogs console;
    console.printed = [&log](const QString& line) {
        log.append(line);
    };
    Form1 window(Form1Services{
        .clock = clock,
        .graphs = *graphs,
        .dialogs = headless ? static_cast<Dialogs&>(console) : messageBoxes,
        .createLink = [&linkSettings](QString* linkError) { return createLink(linkSettings, linkError); },
        .profilePath = profilePath,
        .programFolder = programFolder,
        .programName = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName(),
        .voicesHelp = QUrl::fromLocalFile(programFolder + QStringLiteral("/docs/voices.md")).toString(),
        .aboutFirstPage = QUrl::fromLocalFile(programFolder + QStringLiteral("/README.md")),
        .aboutSecondPage = QUrl::fromLocalFile(programFolder + QStringLiteral("/docs/voices.md")),
        // At once, without destructors; back-ends that must release the transmitter on the
        // way out register with at_quick_exit.
        .exitProcess =
            [](int status) {
                std::fflush(nullptr);
                std::quick_exit(status);
            },
        .txTimeoutSeconds = linkSettings.txTimeoutSeconds,
    });
    if (!window.Form_Load())
        return 1;

    TerminationSignals* signals = TerminationSignals::install(&app, &releaseLinksFromSignalHandler, &error);
    if (!signals)
        return fail(QStringLiteral("cannot handle termination signals: ") + error);
    QObject::connect(signals, &TerminationSignals::received, &window, &Form1::ConfirmedExit);

    const auto page = StationPage::start(window, log, readWebSettings(profilePath),
                                         {.version = QStringLiteral(TEMPOVOX_VERSION),
                                          .language = language.isEmpty() ? QStringLiteral("pt") : language,
                                          .headless = headless,
                                          .backend = linkSettings.backend});

    // Headless, nobody sees the window: shown offscreen it would only repaint the clock every second.
    if (!headless)
        window.show();
    return app.exec();
}
