// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QUrl>

#include <memory>

class QMovie;
namespace Ui {
class sobre_adicional;
}

// Where the About box's two buttons lead.
struct AboutPages {
    QUrl first;  // the first author's page
    QUrl second; // the distributor's page
};

// The About box: product, version, authors and an animated picture, with buttons that open the
// authors' pages. The caller creates it for each showing and discards it when it closes.
class sobre_adicional : public QDialog {
    Q_OBJECT
public:
    explicit sobre_adicional(const AboutPages& pages, QWidget* parent = nullptr);
    ~sobre_adicional() override;

    void Command1_Click();
    void Command2_Click();
    void ret_Click();

    // Shows the animated picture at path in AniGIF1. A picture that cannot be read leaves the
    // control empty and logs one warning: the box is decoration and must open regardless.
    void showPicture(const QString& path);

private:
    AboutPages pages_;
    std::unique_ptr<Ui::sobre_adicional> ui_;
    QMovie* movie_ = nullptr;
};
