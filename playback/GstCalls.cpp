// SPDX-License-Identifier: GPL-3.0-or-later
#include "GstCalls.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

using namespace Qt::StringLiterals;

namespace {
// The Debian package that ships each element we build, for the "missing" message.
const char* packageOf(const char* factoryName) {
    static constexpr std::pair<const char*, const char*> packages[] = {
        {"filesrc", "libgstreamer1.0-0"},
        {"fakesink", "libgstreamer1.0-0"},
        {"decodebin", "gstreamer1.0-plugins-base"},
        {"appsrc", "gstreamer1.0-plugins-base"},
        {"appsink", "gstreamer1.0-plugins-base"},
        {"audioconvert", "gstreamer1.0-plugins-base"},
        {"audioresample", "gstreamer1.0-plugins-base"},
        {"scaletempo", "gstreamer1.0-plugins-good"},
        {"autoaudiosink", "gstreamer1.0-plugins-good"},
    };
    for (const auto& [name, package] : packages) {
        if (std::strcmp(name, factoryName) == 0)
            return package;
    }
    return nullptr;
}
} // namespace

GstRef<GstElement> makeElement(const char* factoryName, QString* error) {
    auto element = GstRef<GstElement>::take(gst_element_factory_make(factoryName, nullptr));
    if (!element) {
        const char* package = packageOf(factoryName);
        *error = u"GStreamer element '%1' is missing"_s.arg(QString::fromUtf8(factoryName));
        if (package)
            *error += u" (install %1)"_s.arg(QString::fromUtf8(package));
    }
    return element;
}

bool finishesWithin(int timeoutMs, std::function<void()> work) {
    struct Done {
        std::mutex mutex;
        std::condition_variable changed;
        bool done = false;
    };
    const auto state = std::make_shared<Done>();
    std::thread([state, work = std::move(work)] {
        work();
        const std::lock_guard lock(state->mutex);
        state->done = true;
        state->changed.notify_all();
    }).detach();
    std::unique_lock lock(state->mutex);
    return state->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return state->done; });
}

std::optional<GstStateChangeReturn> changeState(GstElement* element, GstState state, int timeoutMs) {
    const auto result = std::make_shared<std::atomic<GstStateChangeReturn>>(GST_STATE_CHANGE_FAILURE);
    if (!finishesWithin(timeoutMs, [result, held = GST_ELEMENT(gst_object_ref(element)), state] {
            *result = gst_element_set_state(held, state);
            gst_object_unref(held);
        }))
        return std::nullopt;
    return result->load();
}
