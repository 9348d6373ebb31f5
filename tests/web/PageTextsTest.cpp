// SPDX-License-Identifier: GPL-3.0-or-later
#include "PageTexts.h"

#include <QFile>
#include <QRegularExpression>
#include <QTranslator>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

QString resource(const QString& name) {
    QFile file(u":/web/"_s + name);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Every text the page asks for: data-t in the HTML, t('...') in the modules, and the names the
// modules make from the API's values.
QStringList keysThePageUses() {
    QStringList keys;
    const QString html = resource(u"index.html"_s);
    EXPECT_FALSE(html.isEmpty());
    for (const auto& match : QRegularExpression(uR"re(data-t="([^"]+)")re"_s).globalMatch(html))
        keys << match.captured(1);
    for (const QString& module : {u"app.js"_s, u"views.js"_s, u"settings.js"_s})
        for (const auto& match :
             QRegularExpression(uR"re(\bt\('([a-z-]+)')re"_s).globalMatch(resource(module)))
            keys << match.captured(1);
    for (const char* cause : {"schedule", "dtmf", "button", "page"})
        keys << u"cause-"_s + QLatin1String(cause);
    for (const char* outcome : {"played", "skipped-busy", "failed", "tx-timeout", "stopped"})
        keys << u"outcome-"_s + QLatin1String(outcome);
    for (const char* state : {"free", "busy", "unknown"})
        keys << u"link-"_s + QLatin1String(state);
    keys.removeDuplicates();
    return keys;
}

// A text the page shows without a text of its own shows its key; one without a translation
// shows Portuguese in the middle of an English or Spanish page.
TEST(PageTexts, EveryTextThePageUsesIsThereInEveryLanguage) {
    const QJsonObject portuguese = pageTexts(u"pt"_s);
    for (const QString& key : keysThePageUses())
        EXPECT_TRUE(portuguese.contains(key)) << key.toStdString();
    for (const QString& language : {u"en"_s, u"es"_s}) {
        QTranslator translator;
        ASSERT_TRUE(translator.load(u":/i18n/tempovox_"_s + language));
        for (auto text = portuguese.begin(); text != portuguese.end(); ++text)
            EXPECT_FALSE(translator.translate("Web", text.value().toString().toUtf8().constData()).isEmpty())
                << language.toStdString() << ": " << text.key().toStdString();
        EXPECT_EQ(pageTexts(language).value(u"save"_s).toString(), translator.translate("Web", "Salvar"));
    }
    EXPECT_EQ(pageTexts(u"fr"_s), portuguese) << "a language without a translation reads Portuguese";
}

} // namespace
