#include "PlatformSettings.h"

#include "Profile.h"

#include <QDir>

LinkSettings readLinkSettings(const QString& profilePath) {
    const ProfileFile profile = ProfileFile::load(profilePath.toStdString());
    const auto read = [&](const char* key, const QString& fallback) {
        return QString::fromStdString(profile.read("LINK", key, fallback.toStdString())).trimmed();
    };
    LinkSettings settings;
    settings.backend = read("BACKEND", settings.backend);
    settings.socketPath = read("SOCKET", {});
    settings.info = read("INFO", {});
    return settings;
}

QString readAudioSink(const QString& profilePath) {
    const ProfileFile profile = ProfileFile::load(profilePath.toStdString());
    return QString::fromStdString(profile.read("AUDIO", "SINK", "")).trimmed();
}

QString defaultProfilePath() {
    QString folder = qEnvironmentVariable("XDG_CONFIG_HOME");
    // Relative values are invalid for XDG folders and are ignored, as other programs do.
    if (folder.isEmpty() || QDir::isRelativePath(folder))
        folder = QDir::homePath() + QStringLiteral("/.config");
    return folder + QStringLiteral("/Tempovox.ini");
}
