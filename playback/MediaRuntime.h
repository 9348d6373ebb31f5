#pragma once

#include "FilterGraph.h"

#include <QString>

#include <memory>

// The media framework behind the player: initialised once per process, before any graph.
bool initMediaRuntime(QString* error);

// The graphs of the platform's media framework, playing on the configured audio output.
std::unique_ptr<GraphFactory> createPlatformGraphFactory();
