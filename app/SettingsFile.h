// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

class QWidget;
namespace Ui {
class Form1;
}

// The operator's settings: the keys of the [SETTINGS] section, read into the window's controls
// at start-up and written back by "Salvar". Other sections of the file are left as they are.
namespace SettingsFile {

inline const char* const Section = "SETTINGS";

// Reads every key, in the table's order, straight into its control. A missing file or key
// gives the key's default, and so does a value that does not convert or that its control
// cannot take (logged). FILELOCATION's default is the program's folder followed by "/WavFiles/".
void load(const QString& path, Ui::Form1& ui, QWidget& window, const QString& programFolder);

// Writes every key from the controls in one atomic replacement of the file. On failure the
// old file is kept, the reason is logged and returned.
bool save(const QString& path, const Ui::Form1& ui, const QWidget& window, QString* error);

// The keys the operator sets, as the save writes them; LEFT and TOP, the window's place, are left out.
QMap<QString, QString> values(const Ui::Form1& ui);

// The keys whose controls the window greys.
QStringList disabledKeys(const Ui::Form1& ui);

// Checks every value first, then applies them all in the table's order, by the rules of the
// load. Nothing changes when one key is unknown or one value cannot be used; *error says which.
bool applyValues(const QMap<QString, QString>& values, Ui::Form1& ui, QString* error);

} // namespace SettingsFile
