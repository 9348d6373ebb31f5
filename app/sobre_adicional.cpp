// SPDX-License-Identifier: GPL-3.0-or-later
#include "sobre_adicional.h"

#include "AppLog.h"
#include "ui_sobre_adicional.h"

#include <QDesktopServices>
#include <QMovie>

sobre_adicional::sobre_adicional(const AboutPages& pages, QWidget* parent)
    : QDialog(parent)
    , pages_(pages)
    , ui_(std::make_unique<Ui::sobre_adicional>()) {
    // Both resource sets sit in a static library, whose resources are not registered by themselves.
    Q_INIT_RESOURCE(resources);
    Q_INIT_RESOURCE(about);
    ui_->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    connect(ui_->Command1, &QPushButton::clicked, this, &sobre_adicional::Command1_Click);
    connect(ui_->Command2, &QPushButton::clicked, this, &sobre_adicional::Command2_Click);
    connect(ui_->ret, &QPushButton::clicked, this, &sobre_adicional::ret_Click);

    // Drawn at build time and compiled in; see about/about.cmake.
    showPicture(QStringLiteral(":/about/about.gif"));
}

sobre_adicional::~sobre_adicional() = default;

// A page that cannot be opened is not reported: the button simply has no visible effect.
void sobre_adicional::Command1_Click() {
    QDesktopServices::openUrl(pages_.first);
}

void sobre_adicional::Command2_Click() {
    QDesktopServices::openUrl(pages_.second);
}

void sobre_adicional::ret_Click() {
    reject();
}

void sobre_adicional::showPicture(const QString& path) {
    ui_->AniGIF1->clear();
    delete movie_;
    movie_ = new QMovie(path, QByteArray(), this);
    if (!movie_->isValid()) {
        qCWarning(lcApp).noquote() << "About box: cannot read the animated picture" << path << "-"
                                   << movie_->lastErrorString();
        delete movie_;
        movie_ = nullptr;
        return;
    }
    ui_->AniGIF1->setMovie(movie_);
    movie_->start();
}
