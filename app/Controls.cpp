// SPDX-License-Identifier: GPL-3.0-or-later
#include "Controls.h"

#include <QCheckBox>
#include <QRadioButton>

int checkValue(const QCheckBox* box) {
    switch (box->checkState()) {
    case Qt::Unchecked:
        return 0;
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    }
    return 0;
}

void setCheckValue(QCheckBox* box, int value) {
    // Only a greyed box needs the third state; Form1 drops it again on the operator's first click.
    box->setTristate(value == 2);
    box->setCheckState(value == 1 ? Qt::Checked : value == 2 ? Qt::PartiallyChecked : Qt::Unchecked);
}

void setOptionSelected(QRadioButton* option, bool selected) {
    if (selected || !option->isChecked()) {
        option->setChecked(selected);
        return;
    }
    // An exclusive group never lets its checked button go; step outside the group to clear it.
    const bool exclusive = option->autoExclusive();
    option->setAutoExclusive(false);
    option->setChecked(false);
    option->setAutoExclusive(exclusive);
}
