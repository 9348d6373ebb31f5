// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QCheckBox;
class QRadioButton;

// Check boxes hold 0 (unchecked), 1 (checked) or 2 (greyed), as the settings file stores them.
int checkValue(const QCheckBox* box);
void setCheckValue(QCheckBox* box, int value);

// Selecting an option clears the others of its group; clearing one selects nothing else, so
// a group can be left with nothing selected.
void setOptionSelected(QRadioButton* option, bool selected);
