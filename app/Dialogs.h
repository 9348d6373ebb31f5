// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

class QWidget;

// The modal boxes the program shows. A window system shows real message boxes; a headless
// run writes one line each on stderr and answers every question with Yes.
class Dialogs {
public:
    enum class DefaultButton { Yes, No };

    virtual ~Dialogs() = default;
    // A question with Yes and No and a question-mark icon; true when Yes was chosen.
    virtual bool askYesNo(QWidget* owner, const QString& text, const QString& title, DefaultButton def) = 0;
    // An error with an exclamation icon and OK; `detail` says what exactly failed.
    virtual void showError(QWidget* owner, const QString& text, const QString& title,
                           const QString& detail) = 0;
};

class MessageBoxDialogs : public Dialogs {
public:
    bool askYesNo(QWidget* owner, const QString& text, const QString& title, DefaultButton def) override;
    void showError(QWidget* owner, const QString& text, const QString& title, const QString& detail) override;
};

class ConsoleDialogs : public Dialogs {
public:
    bool askYesNo(QWidget* owner, const QString& text, const QString& title, DefaultButton def) override;
    void showError(QWidget* owner, const QString& text, const QString& title, const QString& detail) override;

    // Told of every line printed, for the station page's log.
    std::function<void(const QString& line)> printed;

    // A box's text on one line: its lines joined, the blanks that lay it out dropped.
    static QString oneLine(const QString& text);
    // An error as one line: the first line of its text, then what exactly failed.
    static QString errorLine(const QString& text, const QString& detail);
};
