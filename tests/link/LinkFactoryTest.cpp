#include "LinkFactory.h"
#include "SocketLink.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

TEST(LinkFactory, SocketBackEndByAnyCaseOrByDefault) {
    TempDir dir;
    for (const QString& backend : {u"socket"_s, u"SOCKET"_s, QString()}) {
        LinkSettings settings;
        settings.backend = backend;
        settings.socketPath = dir.file(u"link.sock"_s);
        QString error;
        std::unique_ptr<Link> link = createLink(settings, &error);
        ASSERT_TRUE(link) << qPrintable(backend) << ": " << qPrintable(error);
        EXPECT_NE(dynamic_cast<SocketLink*>(link.get()), nullptr);
        EXPECT_EQ(link->InfoObject().InfoText(), u"socket "_s + settings.socketPath);
    }

    LinkSettings named;
    named.socketPath = dir.file(u"link.sock"_s);
    named.info = u"PY2XYZ repetidora"_s;
    QString error;
    std::unique_ptr<Link> link = createLink(named, &error);
    ASSERT_TRUE(link) << qPrintable(error);
    EXPECT_EQ(link->InfoObject().InfoText(), named.info);
}

TEST(LinkFactory, DefaultPathFollowsTheRuntimeFolder) {
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    const QString fallback = u"/tmp/tempovox-%1/link.sock"_s.arg(::getuid());
    for (const QByteArray& unusable : {QByteArray(), QByteArray("relative/dir")}) {
        qputenv("XDG_RUNTIME_DIR", unusable);
        EXPECT_EQ(defaultLinkSocketPath(), fallback);
    }
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(defaultLinkSocketPath(), fallback);

    TempDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    QString error;
    std::unique_ptr<Link> link = createLink(LinkSettings{}, &error);
    ASSERT_TRUE(link) << qPrintable(error);
    const QString expected = runtime.file(u"tempovox/link.sock"_s);
    EXPECT_EQ(link->InfoObject().InfoText(), u"socket "_s + expected);
    EXPECT_TRUE(QFileInfo::exists(expected));
    struct stat st {};
    ::stat(QFile::encodeName(runtime.file(u"tempovox"_s)).constData(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    qputenv("XDG_RUNTIME_DIR", saved);
}

TEST(LinkFactory, FailuresComeBackAsErrorText) {
    TempDir dir;
    LinkSettings settings;
    settings.backend = u"carrier-pigeon"_s;
    settings.socketPath = dir.file(u"link.sock"_s);
    QString error;
    EXPECT_EQ(createLink(settings, &error), nullptr);
    EXPECT_TRUE(error.startsWith(u"unknown link back-end 'carrier-pigeon' in [LINK] BACKEND (known: socket"_s))
        << error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(settings.socketPath));

    settings.backend = u"socket"_s;
    settings.socketPath = dir.write(u"taken"_s, "a plain file");
    EXPECT_EQ(createLink(settings, &error), nullptr);
    EXPECT_TRUE(error.contains(settings.socketPath)) << qPrintable(error);
}

} // namespace
