#include "SecondsText.h"

#include <QLocale>

QString SecondsText(double seconds) {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(seconds, 'g', 15);
}
