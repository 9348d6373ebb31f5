#include "LinkFactory.h"

#include "SocketLink.h"

#ifdef TEMPOVOX_HAVE_HAMLIB
#include "HamlibLink.h"
#endif

using namespace Qt::StringLiterals;

std::unique_ptr<Link> createLink(const LinkSettings& settings, QString* error) {
    const QString backend = settings.backend.trimmed();
    if (backend.isEmpty() || backend.compare(u"socket"_s, Qt::CaseInsensitive) == 0) {
        const QString path = settings.socketPath.isEmpty() ? defaultLinkSocketPath() : settings.socketPath;
        return SocketLink::listen(path, settings.info, error);
    }
    if (backend.compare(u"hamlib"_s, Qt::CaseInsensitive) == 0) {
#ifdef TEMPOVOX_HAVE_HAMLIB
        return HamlibLink::open(settings, error);
#else
        if (error != nullptr)
            *error =
                u"link back-end 'hamlib' is not built into this Tempovox (it needs libhamlib-dev at build "
                u"time and the CMake option TEMPOVOX_WITH_HAMLIB=ON)"_s;
        return nullptr;
#endif
    }
    if (error != nullptr)
        *error =
            u"unknown link back-end '%1' in [LINK] BACKEND (known: socket, hamlib)"_s.arg(settings.backend);
    return nullptr;
}
