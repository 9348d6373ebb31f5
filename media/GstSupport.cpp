// SPDX-License-Identifier: GPL-3.0-or-later
#include "GstSupport.h"

using namespace Qt::StringLiterals;

QString messageText(GstMessage* message, QString* details) {
    GError* error = nullptr;
    gchar* debug = nullptr;
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR)
        gst_message_parse_error(message, &error, &debug);
    else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_WARNING)
        gst_message_parse_warning(message, &error, &debug);
    if (details && debug)
        *details = QString::fromUtf8(debug);
    const QString text = error ? QString::fromUtf8(error->message) : u"unknown error"_s;
    g_clear_error(&error);
    g_free(debug);
    return text;
}

bool containsElement(GstElement* element, bool (*matches)(GstElement*)) {
    if (!GST_IS_BIN(element))
        return matches(element);
    GstIterator* children = gst_bin_iterate_recurse(GST_BIN(element));
    GValue item = G_VALUE_INIT;
    bool found = false;
    bool done = false;
    while (!done) {
        switch (gst_iterator_next(children, &item)) {
        case GST_ITERATOR_OK:
            found = found || matches(GST_ELEMENT(g_value_get_object(&item)));
            g_value_reset(&item);
            break;
        case GST_ITERATOR_RESYNC:
            gst_iterator_resync(children);
            found = false;
            break;
        default:
            done = true;
            break;
        }
    }
    g_value_unset(&item);
    gst_iterator_free(children);
    return found;
}

const char* factoryName(GstElement* element) {
    GstElementFactory* factory = gst_element_get_factory(element);
    return factory ? gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)) : "";
}
