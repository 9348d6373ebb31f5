// SPDX-License-Identifier: GPL-3.0-or-later
#include "SettingsFile.h"

#include "AppLog.h"
#include "Controls.h"
#include "Profile.h"
#include "ui_Form1.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <optional>
#include <variant>

namespace {

enum class Encoding {
    Text,    // stored unchanged
    Boolean, // True/False in any case, or a number: 0 false, anything else true
    Check,   // 0 unchecked, 1 checked, 2 greyed
    Volume,  // integer, hundredths of a decibel, -3000..0
    Twips,   // the window's left or top edge, 1/1440 inch
};

enum class Edge { Left, Top };

using Control =
    std::variant<QLineEdit * Ui::Form1::*, QRadioButton * Ui::Form1::*, QCheckBox * Ui::Form1::*, Edge>;

struct SettingKey {
    const char* name;
    const char* defaultText; // null: the program's own voice folder
    Encoding encoding;
    Control control;
};

// The order matters: later keys of an option group override earlier ones on load.
const SettingKey Keys[] = {
    {"FILELOCATION", nullptr, Encoding::Text, &Ui::Form1::FileLocation},
    {"VOLSET", "0", Encoding::Volume, &Ui::Form1::VolSet},
    {"OPTION1", "0", Encoding::Boolean, &Ui::Form1::Option1},
    {"OPTION2", "1", Encoding::Boolean, &Ui::Form1::Option2},
    {"OPTION3", "0", Encoding::Boolean, &Ui::Form1::Option3},
    {"OPTION4", "0", Encoding::Boolean, &Ui::Form1::Option4},
    {"OPTION5", "1", Encoding::Boolean, &Ui::Form1::Option5},
    {"OPTION6", "0", Encoding::Boolean, &Ui::Form1::Option6},
    {"OPTION7", "1", Encoding::Boolean, &Ui::Form1::Option7},
    {"OPTION8", "0", Encoding::Boolean, &Ui::Form1::Option8},
    {"OPTION9", "1", Encoding::Boolean, &Ui::Form1::Option9},
    {"OPTION10", "0", Encoding::Boolean, &Ui::Form1::Option10},
    {"ONHOUR", "0", Encoding::Check, &Ui::Form1::OnHour},
    {"QUARTERHOUR", "1", Encoding::Check, &Ui::Form1::QuarterHour},
    {"HALFHOUR", "0", Encoding::Check, &Ui::Form1::HalfHour},
    {"DTMFTIME", "123", Encoding::Text, &Ui::Form1::DTMFTime},
    {"AMPM", "0", Encoding::Check, &Ui::Form1::AMPM},
    {"OPTIONWAV", "1", Encoding::Boolean, &Ui::Form1::OptionWAV},
    {"OPTIONMP3", "0", Encoding::Boolean, &Ui::Form1::OptionMP3},
    {"CHECK1", "1", Encoding::Check, &Ui::Form1::Check1},
    {"CHECK2", "1", Encoding::Check, &Ui::Form1::Check2},
    {"LEFT", "300", Encoding::Twips, Edge::Left},
    {"TOP", "300", Encoding::Twips, Edge::Top},
};

constexpr double TwipsPerPixel = 15.0;

std::optional<double> parseNumber(const QString& text) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// Whole numbers as the settings have always been read: halves round to even.
std::optional<int> parseWhole(const QString& text, int min, int max) {
    const auto number = parseNumber(text);
    if (!number)
        return std::nullopt;
    const double whole = std::nearbyint(*number);
    if (whole < min || whole > max)
        return std::nullopt;
    return static_cast<int>(whole);
}

std::optional<bool> parseBoolean(const QString& text) {
    const QString word = text.trimmed();
    if (word.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (word.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    const auto number = parseNumber(word);
    if (!number)
        return std::nullopt;
    return *number != 0.0;
}

// Applies one value to its control; false when the value does not convert or does not fit.
bool apply(const SettingKey& key, const QString& text, Ui::Form1& ui, QPoint& position) {
    switch (key.encoding) {
    case Encoding::Text:
        (ui.*std::get<QLineEdit * Ui::Form1::*>(key.control))->setText(text);
        return true;
    case Encoding::Boolean: {
        const auto selected = parseBoolean(text);
        if (selected)
            setOptionSelected(ui.*std::get<QRadioButton * Ui::Form1::*>(key.control), *selected);
        return selected.has_value();
    }
    case Encoding::Check: {
        const auto value = parseWhole(text, 0, 2);
        if (value)
            setCheckValue(ui.*std::get<QCheckBox * Ui::Form1::*>(key.control), *value);
        return value.has_value();
    }
    case Encoding::Volume: {
        const auto value = parseWhole(text, -3000, 0);
        if (value)
            (ui.*std::get<QLineEdit * Ui::Form1::*>(key.control))->setText(QString::number(*value));
        return value.has_value();
    }
    case Encoding::Twips: {
        // Screen coordinates beyond this are not a window position but a corrupted value.
        const auto twips = parseNumber(text);
        if (!twips || std::abs(*twips) > 1.0e7)
            return false;
        const int pixels = static_cast<int>(std::lround(*twips / TwipsPerPixel));
        (std::get<Edge>(key.control) == Edge::Left ? position.rx() : position.ry()) = pixels;
        return true;
    }
    }
    return false;
}

// Whether apply() would take the value, without applying it.
bool usable(const SettingKey& key, const QString& text) {
    switch (key.encoding) {
    case Encoding::Text:
        // A line break would end the value in the file and start a line of its own.
        return text.size() <= int(ProfileFile::MaxValueCharacters) &&
               std::none_of(text.begin(), text.end(),
                            [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
    case Encoding::Boolean:
        return parseBoolean(text).has_value();
    case Encoding::Check:
        return parseWhole(text, 0, 2).has_value();
    case Encoding::Volume:
        return parseWhole(text, -3000, 0).has_value();
    case Encoding::Twips:
        return false; // the window's place is the window's own
    }
    return false;
}

QWidget* controlOf(const SettingKey& key, const Ui::Form1& ui) {
    return std::visit(
        [&ui](auto member) -> QWidget* {
            if constexpr (std::is_same_v<decltype(member), Edge>)
                return nullptr;
            else
                return ui.*member;
        },
        key.control);
}

QString stored(const SettingKey& key, const Ui::Form1& ui, const QWidget& window) {
    switch (key.encoding) {
    case Encoding::Text:
    case Encoding::Volume:
        return (ui.*std::get<QLineEdit * Ui::Form1::*>(key.control))->text();
    case Encoding::Boolean:
        return (ui.*std::get<QRadioButton * Ui::Form1::*>(key.control))->isChecked()
                   ? QStringLiteral("True")
                   : QStringLiteral("False");
    case Encoding::Check:
        return QString::number(checkValue(ui.*std::get<QCheckBox * Ui::Form1::*>(key.control)));
    case Encoding::Twips: {
        const QPoint pos = window.pos();
        const int pixels = std::get<Edge>(key.control) == Edge::Left ? pos.x() : pos.y();
        return QString::number(pixels * static_cast<int>(TwipsPerPixel));
    }
    }
    return {};
}

} // namespace

void SettingsFile::load(const QString& path, Ui::Form1& ui, QWidget& window, const QString& programFolder) {
    const ProfileFile profile = ProfileFile::load(path.toStdString());
    if (profile.loadFailed())
        qCWarning(lcApp).noquote() << "cannot read" << path << "("
                                   << QString::fromStdString(profile.loadError())
                                   << "); starting with the default settings";
    for (const std::string& note : profile.loadNotes())
        qCWarning(lcApp).noquote() << path << ":" << QString::fromStdString(note);

    const QByteArray folderDefault = (programFolder + QStringLiteral("/WavFiles/")).toUtf8();
    QPoint position = window.pos();
    for (const SettingKey& key : Keys) {
        const std::string defaultText = key.defaultText ? key.defaultText : folderDefault.toStdString();
        bool cut = false;
        const QString text = QString::fromStdString(profile.read(Section, key.name, defaultText, &cut));
        if (cut)
            qCWarning(lcApp).noquote()
                << QStringLiteral("%1: [%2] %3 is longer than %4 characters; cut to %5")
                       .arg(path, QLatin1String(Section), QLatin1String(key.name))
                       .arg(ProfileFile::MaxValueCharacters)
                       .arg(text);
        if (!apply(key, text, ui, position)) {
            qCWarning(lcApp).noquote()
                << QStringLiteral("%1: [%2] %3=%4 cannot be used; using the default %5")
                       .arg(path, QLatin1String(Section), QLatin1String(key.name), text,
                            QString::fromStdString(defaultText));
            apply(key, QString::fromStdString(defaultText), ui, position);
        }
        if (key.encoding == Encoding::Twips)
            window.move(position);
    }
}

bool SettingsFile::save(const QString& path, const Ui::Form1& ui, const QWidget& window, QString* error) {
    ProfileFile profile = ProfileFile::load(path.toStdString());
    for (const SettingKey& key : Keys)
        profile.write(Section, key.name, stored(key, ui, window).toStdString());

    std::string reason;
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (profile.save(&reason))
        return true;
    *error = QString::fromStdString(reason);
    qCWarning(lcApp).noquote() << "settings not saved to" << path << ":" << *error;
    return false;
}

QMap<QString, QString> SettingsFile::values(const Ui::Form1& ui) {
    QMap<QString, QString> result;
    for (const SettingKey& key : Keys) {
        if (key.encoding != Encoding::Twips)
            result.insert(QLatin1String(key.name), stored(key, ui, *ui.FileLocation));
    }
    return result;
}

QStringList SettingsFile::disabledKeys(const Ui::Form1& ui) {
    QStringList keys;
    for (const SettingKey& key : Keys) {
        if (const QWidget* control = controlOf(key, ui); control && !control->isEnabled())
            keys.append(QLatin1String(key.name));
    }
    return keys;
}

bool SettingsFile::applyValues(const QMap<QString, QString>& values, Ui::Form1& ui, QString* error) {
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const auto key = std::find_if(std::begin(Keys), std::end(Keys),
                                      [&](const SettingKey& k) { return it.key() == QLatin1String(k.name); });
        if (key == std::end(Keys) || key->encoding == Encoding::Twips) {
            *error = QStringLiteral("%1 is not a setting").arg(it.key());
            return false;
        }
        if (!usable(*key, it.value())) {
            *error = QStringLiteral("%1 cannot be %2").arg(it.key(), it.value());
            return false;
        }
    }
    QPoint unused;
    for (const SettingKey& key : Keys) {
        if (const auto value = values.find(QLatin1String(key.name)); value != values.end())
            apply(key, *value, ui, unused);
    }
    return true;
}
