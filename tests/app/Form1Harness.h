#pragma once

#include "FakeClock.h"
#include "FakeDialogs.h"
#include "FakeGraph.h"
#include "FakeLink.h"
#include "Form1.h"
#include "TempDir.h"
#include "ui_Form1.h"

#include <QList>

#include <memory>

// A main window over doubles: a settings file in a temporary folder, a fake link, clock,
// graphs and dialogs, and an exit that only records its status.
struct Form1Harness {
    static inline const QString ProgramFolder = QStringLiteral("/opt/tempovox");

    explicit Form1Harness(const QByteArray& settings = {}) {
        if (!settings.isNull())
            dir.write(QStringLiteral("Tempovox.ini"), settings);
    }

    Form1Services services() {
        return Form1Services{
            .clock = clock,
            .graphs = graphs,
            .dialogs = dialogs,
            .createLink = [this](QString* error) -> std::unique_ptr<Link> {
                if (!linkError.isEmpty()) {
                    *error = linkError;
                    return nullptr;
                }
                auto made = std::make_unique<FakeLink>(QStringLiteral("fake link 1"));
                link = made.get();
                return made;
            },
            .profilePath = profilePath(),
            .programFolder = ProgramFolder,
            .programName = QStringLiteral("tempovox"),
            .voicesHelp = QStringLiteral("file:///opt/tempovox/docs/voices.md"),
            .aboutFirstPage = QUrl(QStringLiteral("file:///opt/tempovox/README.md")),
            .aboutSecondPage = QUrl(QStringLiteral("file:///opt/tempovox/docs/voices.md")),
            .exitProcess = [this](int status) { exits << status; },
            .txTimeoutSeconds = txTimeoutSeconds,
        };
    }

    Form1& start() {
        form = std::make_unique<Form1>(services());
        form->Form_Load();
        return *form;
    }

    QString profilePath() const { return dir.file(QStringLiteral("Tempovox.ini")); }
    Ui::Form1& ui() { return form->controls(); }

    TempDir dir;
    FakeClock clock;
    FakeGraphFactory graphs;
    FakeDialogs dialogs;
    QString linkError;
    int txTimeoutSeconds = 0;
    FakeLink* link = nullptr;
    QList<int> exits;
    std::unique_ptr<Form1> form;
};
