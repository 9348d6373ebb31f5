// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "PlatformSettings.h"
#include "WebServer.h"
#include "WebStation.h"

#include <memory>

class Form1;
class LogRing;

// The station page of a running program: its server over the main window.
class StationPage {
public:
    // Starts the page as [WEB] asks and says on stderr where to open it. Any failure costs one
    // line there and the program runs on without the page: nullptr.
    static std::unique_ptr<StationPage> start(Form1& window, LogRing& log, const WebSettings& settings,
                                              WebStation::Info info);

    WebServer& server() { return server_; }

private:
    StationPage(Form1& window, LogRing& log, WebStation::Info info, WebServerOptions options)
        : station_(window, log, std::move(info))
        , server_(station_, std::move(options)) {}

    WebStation station_;
    WebServer server_;
};
