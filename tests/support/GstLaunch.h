// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "GstGraph.h"

#include <QFile>
#include <QString>

#include <gst/gst.h>

#include <fcntl.h>
#include <sys/stat.h>

// Runs a gst-launch line to its end, as tests make their clips; false, with the reason in
// *error, when it cannot be parsed or does not end within 10 s.
inline bool runLaunchLine(const QString& launch, QString* error) {
    GError* raw = nullptr;
    auto pipeline = GstRef<GstElement>::take(gst_parse_launch(launch.toUtf8().constData(), &raw));
    if (raw) {
        *error = QString::fromUtf8(raw->message);
        g_error_free(raw);
        return false;
    }
    const auto bus = GstRef<GstBus>::take(gst_element_get_bus(pipeline.get()));
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    GstMessage* message = gst_bus_timed_pop_filtered(bus.get(), 10 * GST_SECOND,
                                                     GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    const bool ended = message && GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS;
    if (message)
        gst_message_unref(message);
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    if (!ended)
        *error = QStringLiteral("this did not run to its end: ") + launch;
    return ended;
}

// A named pipe at `path` as an output. With `reader`, the pipe is also opened here for reading,
// with a one-page buffer, and the descriptor handed back: read from it, or leave it unread as a
// hung sound server does.
inline QString pipeOutput(const QString& path, int* reader = nullptr) {
    const QByteArray name = QFile::encodeName(path);
    ::mkfifo(name.constData(), 0600);
    if (reader) {
        *reader = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        ::fcntl(*reader, F_SETPIPE_SZ, 4096);
    }
    return QStringLiteral("filesink location=\"%1\"").arg(path);
}
