// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Link.h"
#include "LinkSettings.h"

#include <QString>

#include <memory>

// The link back-end named in [LINK] BACKEND. Returns nullptr and sets *error when the name is
// unknown or the back-end cannot start.
std::unique_ptr<Link> createLink(const LinkSettings& settings, QString* error);

// Releases the transmitter through the back-end named in [LINK] BACKEND, for a program that has
// ended without doing so itself. False with *error set when it cannot.
bool releaseTransmitter(const LinkSettings& settings, QString* error);
