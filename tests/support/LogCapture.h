// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>
#include <QStringList>

// The lines one logging category writes while this lives, warnings included (the suites
// otherwise keep the program's warnings quiet). One at a time.
class LogCapture {
public:
    explicit LogCapture(const char* category)
        : category_(QLatin1String(category))
        , previous_(qInstallMessageHandler(&LogCapture::handle)) {
        current() = this;
        QLoggingCategory::setFilterRules(
            QStringLiteral("tempovox.*.warning=false\n%1.warning=true").arg(category_));
    }
    ~LogCapture() {
        QLoggingCategory::setFilterRules(QStringLiteral("tempovox.*.warning=false"));
        qInstallMessageHandler(previous_);
        current() = nullptr;
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    QStringList lines() const { return lines_; }

private:
    static LogCapture*& current() {
        static LogCapture* capture = nullptr;
        return capture;
    }
    static void handle(QtMsgType, const QMessageLogContext& context, const QString& text) {
        if (LogCapture* capture = current();
            capture && context.category && capture->category_ == QLatin1String(context.category))
            capture->lines_ << text;
    }

    QString category_;
    QtMessageHandler previous_;
    QStringList lines_;
};
