// SPDX-License-Identifier: GPL-3.0-or-later
#include "Composer.h"

#include "ClipPlayer.h"
#include "ProgressDisplay.h"
#include "TransmitKeying.h"
#include "VoiceLibrary.h"

#include <QCoreApplication>

bool Composer::LoadFile() {
    QString error;
    const bool loaded = p_.panel.Check1() == 0 ? ShortChain(&error) : LongChain(&error);
    if (!loaded)
        FailurePath(error);
    return loaded;
}

// Every short-chain call keys the transmitter and loads the preamble before the step's own
// clip, whose load then drops the preamble at once.
bool Composer::ShortChain(QString* error) {
    AnnouncementState& s = p_.state;
    if (p_.panel.Check2() == 0 && s.ClipStep == Step::Preamble) {
        s.ClipStep = Step::TheTimeIs;
        s.SequenceStep = Step::TheTimeIs;
    } else if (!LoadWithKeying(PreambleStem(true), Step::Preamble, error)) {
        return false;
    }
    if (s.ClipStep == Step::TheTimeIs && !LoadWithKeying(VoiceLibrary::TheTimeIs, Step::TheTimeIs, error))
        return false;
    if (s.ClipStep == Step::HourNumber && !PlainLoad(p_.panel.HH(), Step::HourNumber, error))
        return false;
    if (s.ClipStep == Step::MinuteNumber && !PlainLoad(p_.panel.MM(), Step::MinuteNumber, error))
        return false;
    if (s.ClipStep == Step::Final)
        return FinalStep(error);
    return true;
}

// A long-chain call loads only its own step; with no step (0 or empty) it loads nothing.
bool Composer::LongChain(QString* error) {
    AnnouncementState& s = p_.state;
    if (s.ClipStep == Step::Preamble && !LoadWithKeying(PreambleStem(false), Step::Preamble, error))
        return false;
    if (s.ClipStep == Step::TheTimeIs && !LoadWithKeying(VoiceLibrary::TheTimeIs, Step::TheTimeIs, error))
        return false;
    if (s.ClipStep == Step::HourNumber && !PlainLoad(p_.panel.HH(), Step::HourNumber, error))
        return false;
    if (s.ClipStep == Step::HourWord && !PlainLoad(VoiceLibrary::Hour, Step::HourWord, error))
        return false;
    if (s.ClipStep == Step::MinuteNumber && !PlainLoad(p_.panel.MM(), Step::MinuteNumber, error))
        return false;
    if (s.ClipStep == Step::MinuteWord && !PlainLoad(VoiceLibrary::Minutes, Step::MinuteWord, error))
        return false;
    if (s.ClipStep == Step::Final)
        return FinalStep(error);
    return true;
}

bool Composer::FinalStep(QString* error) {
    p_.panel.SetTimer2Enabled(false);
    p_.state.ClipPath = PathOf(p_.panel.AMPM() == 0 ? VoiceLibrary::Blank : p_.panel.AM_PM());
    if (!Load(error))
        return false;
    // The clip just loaded already counts as played to its end: it must not be heard.
    if (p_.progress.ClipEnded())
        p_.player.stop();
    p_.state.ClipStep = RestingStep();
    p_.state.SequenceStep = RestingStep();
    p_.state.AnnounceBusy = 0;
    return true;
}

// Without a preamble choice the path is left as it was, which after the sequencer's reset
// is empty, so that the load fails.
bool Composer::LoadWithKeying(const std::optional<QString>& stem, int step, QString* error) {
    p_.state.AnnounceBusy = 1;
    if (stem)
        p_.state.ClipPath = PathOf(*stem);
    if (!p_.keying.PttOn()) {
        *error = QStringLiteral("the transmitter could not be keyed");
        return false;
    }
    if (!Load(error))
        return false;
    Advance(step);
    return true;
}

bool Composer::PlainLoad(const QString& stem, int step, QString* error) {
    p_.state.ClipPath = PathOf(stem);
    if (!Load(error))
        return false;
    Advance(step);
    return true;
}

bool Composer::Load(QString* error) {
    return p_.player.LoadClip(p_.state.ClipPath, p_.progress, error);
}

// A reloaded clip whose length equals the position the finished one ended at moves the
// chain to the next step; a fresh clip (position "00:00:00") does not.
void Composer::Advance(int loadedStep) {
    if (!p_.progress.ClipEnded())
        return;
    const bool longChain = p_.panel.Check1() != 0;
    switch (loadedStep) {
    case Step::Preamble:
        p_.state.SequenceStep = Step::TheTimeIs;
        break;
    case Step::TheTimeIs:
        p_.state.SequenceStep = Step::HourNumber;
        break;
    case Step::HourNumber:
        p_.state.SequenceStep = longChain ? Step::HourWord : Step::MinuteNumber;
        break;
    case Step::HourWord:
        p_.state.SequenceStep = Step::MinuteNumber;
        break;
    case Step::MinuteNumber:
        p_.state.SequenceStep = longChain ? Step::MinuteWord : Step::Final;
        break;
    case Step::MinuteWord:
        p_.state.SequenceStep = Step::Final;
        break;
    }
}

std::optional<QString> Composer::PreambleStem(bool shortChain) const {
    if (shortChain && p_.panel.Check2() == 0)
        return VoiceLibrary::Blank;
    std::optional<QString> stem;
    if (p_.panel.Option5())
        stem = VoiceLibrary::DingDong;
    if (p_.panel.Option6())
        stem = VoiceLibrary::DingDong2;
    if (p_.panel.Option9())
        stem = Greeting();
    return stem;
}

// Each range reads the clock afresh, so a greeting loaded on the stroke of an hour may
// come from either side of it, never from none.
QString Composer::Greeting() const {
    QString stem;
    for (const QString& greeting :
         {VoiceLibrary::GoodMorning, VoiceLibrary::GoodEvening, VoiceLibrary::GoodAfternoon}) {
        if (VoiceLibrary::GreetingFor(p_.panel.LocalHour()) == greeting)
            stem = greeting;
    }
    return stem;
}

QString Composer::PathOf(const QString& stem) const {
    return p_.panel.FileLocation() + stem +
           (p_.panel.OptionWAV() ? QStringLiteral(".wav") : QStringLiteral(".mp3"));
}

int Composer::RestingStep() const {
    return p_.panel.Check2() == 1 ? Step::Preamble : Step::TheTimeIs;
}

QString Composer::RenderErrorText() const {
    // Translated in the window's catalogue; without a translation installed it is this text.
    return QCoreApplication::translate(
               "Composer", "          Render error no rendering device found. (Voice File Missing)\r\n"
                           "\r\n"
                           "                               US Paul, UK Audrey & UK Charles \r\n"
                           " Get these free voices files for Tempovox from ") +
           p_.voicesHelp;
}

// Nothing may stay keyed or half-started behind the modal message: the transmitter is
// released and the announcement ended before the operator is told.
void Composer::FailurePath(const QString& reason) {
    p_.panel.SelectOption3();
    p_.panel.SetFileLocation(p_.programFolder + VoiceLibrary::EnglishFolder);
    p_.panel.SelectOptionWAV();
    EndAnnouncement();
    p_.panel.ShowRenderError(RenderErrorText(), p_.state.ClipPath, reason);
}

void Composer::EndAnnouncement() {
    p_.keying.PttOff();
    p_.state.AnnounceBusy = 0;
    p_.panel.SetTimer2Enabled(false);
    p_.state.ClipStep = RestingStep();
    p_.state.SequenceStep = RestingStep();
    p_.player.CleanUp();
}
