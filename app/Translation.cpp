// SPDX-License-Identifier: GPL-3.0-or-later
#include "Translation.h"

#include "AppLog.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {
const QStringList Translated = {QStringLiteral("en"), QStringLiteral("es")};
} // namespace

namespace Translation {

QString choose(const QStringList& uiLanguages) {
    for (const QString& name : uiLanguages) {
        const QLocale::Language language = QLocale(name).language();
        if (language == QLocale::Portuguese)
            return {};
        // "C" and names Qt does not know come out as C or AnyLanguage, which have no code here.
        const QString code = QLocale::languageToCode(language);
        if (Translated.contains(code))
            return code;
    }
    return {};
}

QString install(QCoreApplication& app, const QStringList& uiLanguages) {
    const QString language = choose(uiLanguages);
    if (language.isEmpty())
        return {};
    auto* own = new QTranslator(&app);
    // Compiled in by the build (qt_add_translations, under :/i18n).
    if (!own->load(QStringLiteral(":/i18n/tempovox_") + language)) {
        qCWarning(lcApp).noquote() << "cannot load the" << language
                                   << "translation; the captions stay Portuguese";
        delete own;
        return {};
    }
    QCoreApplication::installTranslator(own);
    // Yes, No, OK and Show Details... of the message boxes. English needs none, and without
    // Qt's translations installed those buttons simply stay English.
    auto* qt = new QTranslator(&app);
    if (language != QLatin1String("en") &&
        qt->load(QStringLiteral("qtbase_") + language, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
    else
        delete qt;
    return language;
}

} // namespace Translation
