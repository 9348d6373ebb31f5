#include "LinkFactory.h"

#include "SocketLink.h"

using namespace Qt::StringLiterals;

std::unique_ptr<Link> createLink(const LinkSettings& settings, QString* error) {
    const QString backend = settings.backend.trimmed();
    if (backend.isEmpty() || backend.compare(u"socket"_s, Qt::CaseInsensitive) == 0) {
        const QString path = settings.socketPath.isEmpty() ? defaultLinkSocketPath() : settings.socketPath;
        return SocketLink::listen(path, settings.info, error);
    }
    if (error != nullptr)
        *error = u"unknown link back-end '%1' in [LINK] BACKEND (known: socket)"_s.arg(settings.backend);
    return nullptr;
}
