#pragma once

#include "ClipPlayer.h"
#include "Composer.h"
#include "FakeGraph.h"
#include "FakeLink.h"
#include "FakePanel.h"
#include "TransmitKeying.h"

// The composer over doubles: a voice folder "/v/" where every clip lasts 2 s unless a test
// says otherwise, a fake link, and the window as plain values.
struct ComposerHarness {
    ComposerHarness() { link.calls.clear(); }

    // The clip left loaded has played to its end: the display shows its final position.
    void finishClip() {
        graphs.current()->finish();
        RefreshProgress(player, panel);
    }

    QStringList stems() const {
        QStringList names;
        for (const QString& path : graphs.rendered)
            names << path.mid(3).section(QLatin1Char('.'), 0, 0);
        return names;
    }

    FakePanel panel;
    FakeGraphFactory graphs;
    FakeLink link;
    AnnouncementState state;
    ClipPlayer player{graphs};
    TransmitKeying keying{link, panel};
    Composer composer{Composer::Parts{state, panel, player, panel, keying, QStringLiteral("/opt/tempovox"),
                                      QStringLiteral("file:///opt/tempovox/docs/voices.md")}};
};
