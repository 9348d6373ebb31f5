// SPDX-License-Identifier: GPL-3.0-or-later
#include "PageTexts.h"

#include <QCoreApplication>
#include <QTranslator>

namespace {

struct Text {
    const char* key;
    const char* source;
};

// The settings keep the window's captions, so that the page and the window read alike.
constexpr Text Texts[] = {
    {"now", QT_TRANSLATE_NOOP("Web", "Agora")},
    {"clock", QT_TRANSLATE_NOOP("Web", "Hora da estação")},
    {"transmitter", QT_TRANSLATE_NOOP("Web", "Transmissor")},
    {"on-air", QT_TRANSLATE_NOOP("Web", "no ar")},
    {"standing-by", QT_TRANSLATE_NOOP("Web", "em espera")},
    {"since", QT_TRANSLATE_NOOP("Web", "desde %1")},
    {"next", QT_TRANSLATE_NOOP("Web", "Próximo anúncio")},
    {"next-in", QT_TRANSLATE_NOOP("Web", "em %1")},
    {"next-none", QT_TRANSLATE_NOOP("Web", "nenhum horário marcado")},
    {"station", QT_TRANSLATE_NOOP("Web", "Estação")},
    {"link", QT_TRANSLATE_NOOP("Web", "Link")},
    {"link-free", QT_TRANSLATE_NOOP("Web", "livre")},
    {"link-busy", QT_TRANSLATE_NOOP("Web", "ocupado")},
    {"link-unknown", QT_TRANSLATE_NOOP("Web", "desconhecido")},
    {"peers", QT_TRANSLATE_NOOP("Web", "conexões: %1")},
    {"under-way", QT_TRANSLATE_NOOP("Web", "Anúncio em curso")},
    {"none-under-way", QT_TRANSLATE_NOOP("Web", "nenhum")},
    {"position", QT_TRANSLATE_NOOP("Web", "%1 de %2 s")},
    {"announce-now", QT_TRANSLATE_NOOP("Web", "Envia hora (RF)")},
    {"release-now", QT_TRANSLATE_NOOP("Web", "Parar e liberar o PTT")},
    {"refused", QT_TRANSLATE_NOOP("Web", "Recusado: %1")},
    {"volume", QT_TRANSLATE_NOOP("Web", "Volume")},
    {"speed", QT_TRANSLATE_NOOP("Web", "Velocidade")},
    {"settings", QT_TRANSLATE_NOOP("Web", "Configuração")},
    {"frame-times", QT_TRANSLATE_NOOP("Web", "Horários")},
    {"ONHOUR", QT_TRANSLATE_NOOP("Web", "toda hora cheia")},
    {"QUARTERHOUR", QT_TRANSLATE_NOOP("Web", "cada meia hora")},
    {"HALFHOUR", QT_TRANSLATE_NOOP("Web", "cada quinze minutos")},
    {"OPTION1", QT_TRANSLATE_NOOP("Web", "12 hora")},
    {"OPTION2", QT_TRANSLATE_NOOP("Web", "24 hora")},
    {"frame-language", QT_TRANSLATE_NOOP("Web", "Idioma")},
    {"OPTION3", QT_TRANSLATE_NOOP("Web", "Inglês")},
    {"OPTION4", QT_TRANSLATE_NOOP("Web", "Español")},
    {"OPTION7", QT_TRANSLATE_NOOP("Web", "Português")},
    {"OPTION8", QT_TRANSLATE_NOOP("Web", "Outro (Inglês, wav)")},
    {"OPTION10", QT_TRANSLATE_NOOP("Web", "Outro (Inglês, wav ou mp3)")},
    {"frame-add", QT_TRANSLATE_NOOP("Web", "Igualmente adicione")},
    {"AMPM", QT_TRANSLATE_NOOP("Web", "AM/PM")},
    {"CHECK1", QT_TRANSLATE_NOOP("Web", "Hr / Min")},
    {"CHECK2", QT_TRANSLATE_NOOP("Web", "Bell 1 - 2  or  Preâmbulo")},
    {"OPTION5", QT_TRANSLATE_NOOP("Web", "Bell 1")},
    {"OPTION6", QT_TRANSLATE_NOOP("Web", "Bell 2")},
    {"OPTION9", QT_TRANSLATE_NOOP("Web", "Preâmbulo")},
    {"frame-format", QT_TRANSLATE_NOOP("Web", "wav - mp3")},
    {"OPTIONWAV", QT_TRANSLATE_NOOP("Web", "wav")},
    {"OPTIONMP3", QT_TRANSLATE_NOOP("Web", "mp3")},
    {"frame-dtmf", QT_TRANSLATE_NOOP("Web", "DTMF - Horas locais")},
    {"DTMFTIME", QT_TRANSLATE_NOOP("Web", "DTMF Código")},
    {"frame-folder", QT_TRANSLATE_NOOP("Web", "direção do áudio")},
    {"FILELOCATION", QT_TRANSLATE_NOOP("Web", "Pasta")},
    {"save", QT_TRANSLATE_NOOP("Web", "Salvar")},
    {"saving", QT_TRANSLATE_NOOP("Web", "Salvando…")},
    {"saved", QT_TRANSLATE_NOOP("Web", "Salvo às %1")},
    {"save-failed", QT_TRANSLATE_NOOP("Web", "Nada foi salvo: %1")},
    {"history", QT_TRANSLATE_NOOP("Web", "Últimos anúncios")},
    {"history-empty", QT_TRANSLATE_NOOP("Web", "Nenhum anúncio desde a partida.")},
    {"col-time", QT_TRANSLATE_NOOP("Web", "Hora")},
    {"col-cause", QT_TRANSLATE_NOOP("Web", "Causa")},
    {"col-outcome", QT_TRANSLATE_NOOP("Web", "Resultado")},
    {"col-length", QT_TRANSLATE_NOOP("Web", "Duração")},
    {"col-clips", QT_TRANSLATE_NOOP("Web", "Clipes")},
    {"cause-schedule", QT_TRANSLATE_NOOP("Web", "horário")},
    {"cause-dtmf", QT_TRANSLATE_NOOP("Web", "DTMF")},
    {"cause-button", QT_TRANSLATE_NOOP("Web", "botão")},
    {"cause-page", QT_TRANSLATE_NOOP("Web", "página")},
    {"outcome-played", QT_TRANSLATE_NOOP("Web", "tocado")},
    {"outcome-skipped-busy", QT_TRANSLATE_NOOP("Web", "pulado, link ocupado")},
    {"outcome-failed", QT_TRANSLATE_NOOP("Web", "falhou")},
    {"outcome-tx-timeout", QT_TRANSLATE_NOOP("Web", "tempo de transmissão esgotado")},
    {"outcome-stopped", QT_TRANSLATE_NOOP("Web", "interrompido")},
    {"log", QT_TRANSLATE_NOOP("Web", "Mensagens")},
    {"auth-error",
     QT_TRANSLATE_NOOP("Web",
                       "Acesso recusado. Abra o endereço com o token, como o Tempovox o mostrou ao partir.")},
    {"disconnected", QT_TRANSLATE_NOOP("Web", "Sem contato com a estação; tentando de novo…")},
};

} // namespace

QJsonObject pageTexts() {
    QJsonObject texts;
    for (const Text& text : Texts)
        texts.insert(QLatin1String(text.key), QCoreApplication::translate("Web", text.source));
    return texts;
}

QJsonObject pageTexts(const QString& language) {
    QTranslator translator;
    const bool translated = (language == QLatin1String("en") || language == QLatin1String("es")) &&
                            translator.load(QStringLiteral(":/i18n/tempovox_") + language);
    QJsonObject texts;
    for (const Text& text : Texts) {
        const QString translation = translated ? translator.translate("Web", text.source) : QString();
        texts.insert(QLatin1String(text.key),
                     translation.isEmpty() ? QString::fromUtf8(text.source) : translation);
    }
    return texts;
}
