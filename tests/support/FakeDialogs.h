#pragma once

#include "Dialogs.h"

#include <QStringList>

// Answers every question as the test says and records what was shown, default button included.
class FakeDialogs : public Dialogs {
public:
    bool askYesNo(QWidget*, const QString& text, const QString& title, DefaultButton def) override {
        shown << QStringLiteral("question|%1|%2|%3")
                     .arg(title, text,
                          def == DefaultButton::Yes ? QStringLiteral("Yes") : QStringLiteral("No"));
        return answer;
    }
    void showError(QWidget*, const QString& text, const QString& title, const QString& detail) override {
        shown << QStringLiteral("error|%1|%2|%3").arg(title, text, detail);
    }

    bool answer = true;
    QStringList shown;
};
