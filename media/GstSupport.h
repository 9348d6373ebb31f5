// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <gst/gst.h>

#include <memory>
#include <utility>

// Owns one reference to a GStreamer object and drops it on destruction.
template <typename T>
class GstRef {
public:
    GstRef() = default;
    // Takes over a reference the caller owns; a floating one (fresh from a factory) is sunk, so
    // that the holder owns a plain reference whether or not a bin takes the object later.
    static GstRef take(T* object) {
        if (object && g_object_is_floating(object))
            gst_object_ref_sink(object);
        return GstRef(object);
    }
    // Adds a reference of its own to an object owned elsewhere.
    static GstRef share(T* object) {
        return GstRef(object ? static_cast<T*>(gst_object_ref(object)) : nullptr);
    }
    ~GstRef() { reset(); }
    GstRef(GstRef&& other) noexcept
        : object_(std::exchange(other.object_, nullptr)) {}
    GstRef& operator=(GstRef&& other) noexcept {
        if (this != &other) {
            reset();
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }
    GstRef(const GstRef&) = delete;
    GstRef& operator=(const GstRef&) = delete;

    T* get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    void reset() {
        if (object_)
            gst_object_unref(std::exchange(object_, nullptr));
    }

private:
    explicit GstRef(T* object)
        : object_(object) {}
    T* object_ = nullptr;
};

struct GstMessageUnref {
    void operator()(GstMessage* message) const { gst_message_unref(message); }
};
using MessagePtr = std::unique_ptr<GstMessage, GstMessageUnref>;

// The text of an error or warning message; its developer details go to `details` when asked for.
QString messageText(GstMessage* message, QString* details = nullptr);

// Whether `element`, or any element inside it when it is a bin, satisfies `matches`. "Auto"
// elements build their real element inside themselves, and fall back quietly to a fake one.
bool containsElement(GstElement* element, bool (*matches)(GstElement*));

// The name of the factory that made `element`, or "" when it has none.
const char* factoryName(GstElement* element);
