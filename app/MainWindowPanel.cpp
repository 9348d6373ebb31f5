// SPDX-License-Identifier: GPL-3.0-or-later
#include "MainWindowPanel.h"

#include "Clock.h"
#include "Controls.h"
#include "Dialogs.h"
#include "ui_Form1.h"

#include <QCoreApplication>
#include <QTimer>

int MainWindowPanel::Check1() const {
    return checkValue(ui_.Check1);
}

int MainWindowPanel::Check2() const {
    return checkValue(ui_.Check2);
}

int MainWindowPanel::V1() const {
    return ui_.V1->value();
}

int MainWindowPanel::V2() const {
    return ui_.V2->value();
}

int MainWindowPanel::AMPM() const {
    return checkValue(ui_.AMPM);
}

bool MainWindowPanel::Option5() const {
    return ui_.Option5->isChecked();
}

bool MainWindowPanel::Option6() const {
    return ui_.Option6->isChecked();
}

bool MainWindowPanel::Option9() const {
    return ui_.Option9->isChecked();
}

bool MainWindowPanel::OptionWAV() const {
    return ui_.OptionWAV->isChecked();
}

QString MainWindowPanel::FileLocation() const {
    return ui_.FileLocation->text();
}

QString MainWindowPanel::HH() const {
    return ui_.HH->text();
}

QString MainWindowPanel::MM() const {
    return ui_.MM->text();
}

QString MainWindowPanel::AM_PM() const {
    return ui_.AM_PM->text();
}

int MainWindowPanel::LocalHour() const {
    return clock_.now().time().hour();
}

void MainWindowPanel::SetTimer2Enabled(bool enabled) {
    if (enabled)
        timer2_.start();
    else
        timer2_.stop();
}

void MainWindowPanel::SelectOption3() {
    ui_.Option3->setChecked(true);
}

void MainWindowPanel::SetFileLocation(const QString& folder) {
    ui_.FileLocation->setText(folder);
}

void MainWindowPanel::SelectOptionWAV() {
    ui_.OptionWAV->setChecked(true);
}

void MainWindowPanel::ShowRenderError(const QString& text, const QString& clipPath, const QString& reason) {
    if (renderFailed)
        renderFailed(clipPath + QStringLiteral(": ") + reason);
    dialogs_.showError(&window_, text, QCoreApplication::translate("Form1", "Error"),
                       clipPath + QStringLiteral(": ") + reason);
}

QString MainWindowPanel::Text2() const {
    return ui_.Text2->text();
}

QString MainWindowPanel::Text3() const {
    return ui_.Text3->text();
}

// The progress refresh writes these every 10 ms, mostly the same text again; a line edit
// given its own text would still reset its cursor and repaint.
void MainWindowPanel::SetText1(const QString& text) {
    if (ui_.Text1->text() != text)
        ui_.Text1->setText(text);
}

void MainWindowPanel::SetText2(const QString& text) {
    if (ui_.Text2->text() != text)
        ui_.Text2->setText(text);
}

void MainWindowPanel::SetText3(const QString& text) {
    ui_.Text3->setText(text);
}

void MainWindowPanel::SetH1Max(int seconds) {
    ui_.H1->setMaximum(seconds);
}

void MainWindowPanel::SetH1Value(int seconds) {
    ui_.H1->setValue(seconds);
}

bool MainWindowPanel::Option1() const {
    return ui_.Option1->isChecked();
}

int MainWindowPanel::OnHour() const {
    return checkValue(ui_.OnHour);
}

int MainWindowPanel::QuarterHour() const {
    return checkValue(ui_.QuarterHour);
}

int MainWindowPanel::HalfHour() const {
    return checkValue(ui_.HalfHour);
}

void MainWindowPanel::SetShowTheTime(const QString& text) {
    ui_.ShowTheTime->setText(text);
}

void MainWindowPanel::SetHH(const QString& text) {
    if (ui_.HH->text() != text)
        ui_.HH->setText(text);
}

void MainWindowPanel::SetMM(const QString& text) {
    if (ui_.MM->text() != text)
        ui_.MM->setText(text);
}

void MainWindowPanel::SetAM_PM(const QString& text) {
    if (ui_.AM_PM->text() != text)
        ui_.AM_PM->setText(text);
}

void MainWindowPanel::showPtt(bool on) {
    if (pttShown)
        pttShown(on);
    const QColor colour = on ? QColor(255, 0, 0) : QColor(0, 128, 0);
    // The window's context, where the form's own "PTT OFF" is translated too.
    const QString text =
        on ? QCoreApplication::translate("Form1", "PTT ON") : QCoreApplication::translate("Form1", "PTT OFF");
    // The watchdog releases again every second while idle: an unchanged indicator is left alone,
    // so that an idle window is not painted for it.
    if (ui_.PTT->text() == text && ui_.PTT->palette().color(QPalette::WindowText) == colour)
        return;
    QPalette palette = ui_.PTT->palette();
    palette.setColor(QPalette::WindowText, colour);
    ui_.PTT->setPalette(palette);
    ui_.PTT->setText(text);
}
