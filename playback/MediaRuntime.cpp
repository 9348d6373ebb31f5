#include "MediaRuntime.h"

#include <gst/gst.h>

bool initMediaRuntime(QString* error) {
    GError* gerror = nullptr;
    if (gst_init_check(nullptr, nullptr, &gerror))
        return true;
    *error = QString::fromUtf8(gerror ? gerror->message : "unknown error");
    g_clear_error(&gerror);
    return false;
}

namespace {
// Clip playback arrives with the player; until then every load fails with a clear reason.
class UnavailableGraph : public FilterGraph {
public:
    bool RenderFile(const QString&, QString* error) override {
        *error = QStringLiteral("clip playback is not built into this version");
        return false;
    }
    bool Run() override { return false; }
    bool Stop() override { return false; }
    bool SetVolume(int) override { return false; }
    std::optional<double> Duration() const override { return std::nullopt; }
    std::optional<double> CurrentPosition() const override { return std::nullopt; }
    bool SetCurrentPosition(double) override { return false; }
    bool SetRate(double) override { return false; }
};

class UnavailableGraphFactory : public GraphFactory {
public:
    std::shared_ptr<FilterGraph> CreateGraph() override { return std::make_shared<UnavailableGraph>(); }
};
} // namespace

std::unique_ptr<GraphFactory> createPlatformGraphFactory() {
    return std::make_unique<UnavailableGraphFactory>();
}
