// SPDX-License-Identifier: GPL-3.0-or-later
#include "Dialogs.h"

#include <QMessageBox>
#include <QRegularExpression>

#include <cstdio>

bool MessageBoxDialogs::askYesNo(QWidget* owner, const QString& text, const QString& title,
                                 DefaultButton def) {
    const auto defaultButton = def == DefaultButton::Yes ? QMessageBox::Yes : QMessageBox::No;
    return QMessageBox::question(owner, title, text, QMessageBox::Yes | QMessageBox::No, defaultButton) ==
           QMessageBox::Yes;
}

void MessageBoxDialogs::showError(QWidget* owner, const QString& text, const QString& title,
                                  const QString& detail) {
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, owner);
    box.setDetailedText(detail);
    box.exec();
}

QString ConsoleDialogs::oneLine(const QString& text) {
    QStringList parts;
    for (const QString& line : text.split(QRegularExpression(QStringLiteral("[\r\n]+")))) {
        if (!line.trimmed().isEmpty())
            parts << line.simplified();
    }
    return parts.join(QLatin1Char(' '));
}

bool ConsoleDialogs::askYesNo(QWidget*, const QString& text, const QString& title, DefaultButton) {
    const QString line = title + QStringLiteral(": ") + oneLine(text) + QStringLiteral(" [answered Yes]");
    std::fprintf(stderr, "%s\n", qUtf8Printable(line));
    std::fflush(stderr);
    if (printed)
        printed(line);
    return true;
}

QString ConsoleDialogs::errorLine(const QString& text, const QString& detail) {
    const QString first = oneLine(text.section(QLatin1Char('\n'), 0, 0));
    return detail.isEmpty() ? first : first + QStringLiteral(": ") + detail;
}

void ConsoleDialogs::showError(QWidget*, const QString& text, const QString&, const QString& detail) {
    const QString line = errorLine(text, detail);
    std::fprintf(stderr, "%s\n", qUtf8Printable(line));
    std::fflush(stderr);
    if (printed)
        printed(line);
}
