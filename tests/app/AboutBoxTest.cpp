#include "sobre_adicional.h"

#include <QDesktopServices>
#include <QFontInfo>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLoggingCategory>
#include <QMovie>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <utility>

using namespace Qt::StringLiterals;

// Stands in for the desktop: records each address the box asks to open.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public Q_SLOTS:
    void open(const QUrl& url) { opened.append(url); }
};

namespace {

const AboutPages Pages{QUrl::fromLocalFile(u"/opt/tempovox/README.md"_s),
                       QUrl::fromLocalFile(u"/opt/tempovox/docs/voices.md"_s)};

template <typename T>
T* control(const QWidget& box, const QString& name) {
    T* found = box.findChild<T*>(name);
    EXPECT_NE(found, nullptr) << qPrintable(name);
    return found;
}

QColor colourAt(QWidget* widget, QPoint point) {
    return widget->grab().toImage().pixelColor(point);
}

// Whether text, wrapped as the label wraps it, fits inside the label.
bool fits(const QLabel* label) {
    const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
    const QRect needed = label->fontMetrics().boundingRect(label->contentsRect(), flags, label->text());
    return label->contentsRect().contains(needed);
}

class AboutBox : public ::testing::Test {
protected:
    void SetUp() override { QDesktopServices::setUrlHandler(u"file"_s, &recorder, "open"); }
    void TearDown() override { QDesktopServices::unsetUrlHandler(u"file"_s); }

    UrlRecorder recorder;
};

TEST_F(AboutBox, IsAFixedSizeBoxTitledSobreWithoutMinimiseOrMaximise) {
    sobre_adicional box(Pages);
    box.show();
    EXPECT_EQ(box.windowTitle(), u"Sobre"_s);
    EXPECT_EQ(box.size(), QSize(312, 417)) << "4680 x 6255 twips";
    EXPECT_EQ(box.maximumSize(), box.size());
    const Qt::WindowFlags flags = box.windowFlags();
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);

    for (const QWidget* child : box.findChildren<QWidget*>())
        EXPECT_TRUE(box.rect().contains(child->geometry())) << qPrintable(child->objectName());
    int lines = 0;
    for (const QFrame* frame : box.findChildren<QFrame*>())
        lines += frame->frameShape() == QFrame::HLine ? 1 : 0;
    EXPECT_EQ(lines, 3);
}

TEST_F(AboutBox, LabelsShowProductVersionAndAuthorsInTheirFonts) {
    sobre_adicional box(Pages);
    box.show(); // style sheets set their fonts when the box is polished

    auto* title = control<QLabel>(box, u"Label1"_s);
    auto* version = control<QLabel>(box, u"Label4"_s);
    auto* heading = control<QLabel>(box, u"Label2"_s);
    auto* authors = control<QLabel>(box, u"Label5"_s);
    ASSERT_TRUE(title && version && heading && authors);

    EXPECT_EQ(title->text(), u"Tempovox"_s);
    EXPECT_TRUE(title->font().bold());
    EXPECT_DOUBLE_EQ(title->font().pointSizeF(), 21.75);
    // Debian's serif families (DejaVu, Liberation, Noto) all say so in their names.
    EXPECT_TRUE(QFontInfo(title->font()).family().contains(u"Serif"_s))
        << qPrintable(QFontInfo(title->font()).family());

    EXPECT_EQ(version->text(), u"Versão 1.0  Revisão 0  -  2/2009"_s);
    EXPECT_TRUE(version->font().bold());

    EXPECT_EQ(heading->text(), u"Criação de:"_s);
    EXPECT_TRUE(heading->font().bold());
    EXPECT_DOUBLE_EQ(heading->font().pointSizeF(), 13.5);
    EXPECT_EQ(heading->palette().color(QPalette::Active, QPalette::WindowText), QColor(0, 128, 0));

    EXPECT_EQ(authors->text(), u"Equipe Tempovox - Vozes Tempovox"_s);
    EXPECT_TRUE(authors->font().bold());
    EXPECT_DOUBLE_EQ(authors->font().pointSizeF(), 24);
    EXPECT_TRUE(QFontInfo(authors->font()).family().contains(u"Serif"_s));

    for (const QLabel* label : {title, version, heading, authors})
        EXPECT_TRUE(fits(label)) << qPrintable(label->objectName()) << " cuts its text";
}

TEST_F(AboutBox, ButtonsNameTheAuthorsAndShowTheirColoursAndPictures) {
    sobre_adicional box(Pages);
    box.show();
    auto* first = control<QPushButton>(box, u"Command1"_s);
    auto* second = control<QPushButton>(box, u"Command2"_s);
    auto* back = control<QPushButton>(box, u"ret"_s);
    ASSERT_TRUE(first && second && back);

    // Each button names one of the two authors that the authors line joins with a dash.
    const QStringList authors = control<QLabel>(box, u"Label5"_s)->text().split(u" - "_s);
    ASSERT_EQ(authors.size(), 2);
    EXPECT_EQ(first->text(), u"Visitar página  "_s + authors[0]);
    EXPECT_EQ(second->text(), u"Visitar página  "_s + authors[1]);
    EXPECT_EQ(back->text(), u"Retornar"_s);

    const QColor cyan(192, 255, 255);
    const QColor pink(255, 192, 192);
    for (auto [button, colour] : {std::pair{first, cyan}, std::pair{second, cyan}, std::pair{back, pink}}) {
        SCOPED_TRACE(qPrintable(button->objectName()));
        // Inside the border, clear of picture and caption.
        EXPECT_EQ(colourAt(button, QPoint(button->width() - 5, button->height() / 2)), colour);
        EXPECT_FALSE(button->icon().pixmap(20, 20).isNull()) << "the picture is not in the resources";
        EXPECT_LE(button->sizeHint().width(), button->width()) << "the caption is cut";
    }
}

TEST_F(AboutBox, ShowsAnAnimatedPictureOf120By263) {
    sobre_adicional box(Pages);
    box.show();
    auto* picture = control<QLabel>(box, u"AniGIF1"_s);
    ASSERT_NE(picture, nullptr);
    QMovie* movie = picture->movie();
    ASSERT_NE(movie, nullptr);
    EXPECT_TRUE(movie->isValid());
    EXPECT_GT(movie->frameCount(), 1);
    EXPECT_EQ(movie->state(), QMovie::Running);
    EXPECT_EQ(movie->frameRect().size(), QSize(120, 263));
    EXPECT_EQ(picture->size(), QSize(120, 263));
}

TEST_F(AboutBox, APictureThatCannotBeReadLeavesItEmptyWithOneWarning) {
    static QStringList warnings;
    warnings.clear();
    QLoggingCategory::setFilterRules(u"tempovox.*.warning=true"_s);
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (type == QtWarningMsg)
                warnings.append(text);
        });

    sobre_adicional box(Pages);
    box.showPicture(u"/nonexistent/about.gif"_s);

    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(u"tempovox.*.warning=false"_s);

    EXPECT_EQ(control<QLabel>(box, u"AniGIF1"_s)->movie(), nullptr);
    ASSERT_EQ(warnings.size(), 1) << qPrintable(warnings.join(u'\n'));
    EXPECT_TRUE(warnings[0].contains(u"/nonexistent/about.gif"_s)) << qPrintable(warnings[0]);
}

TEST_F(AboutBox, VisitButtonsOpenExactlyTheirOwnPages) {
    sobre_adicional box(Pages);
    box.show();
    QTest::mouseClick(control<QPushButton>(box, u"Command1"_s), Qt::LeftButton);
    EXPECT_EQ(recorder.opened, QList<QUrl>{Pages.first});
    QTest::mouseClick(control<QPushButton>(box, u"Command2"_s), Qt::LeftButton);
    EXPECT_EQ(recorder.opened, (QList<QUrl>{Pages.first, Pages.second}));
    EXPECT_TRUE(box.isVisible()) << "visiting a page leaves the box open";
}

QImage stillPicture(sobre_adicional& box) {
    // The animation runs on its own clock; freeze it on one frame so that two showings compare.
    if (QMovie* movie = box.findChild<QLabel*>(u"AniGIF1"_s)->movie()) {
        movie->setPaused(true);
        movie->jumpToFrame(0);
    }
    return box.grab().toImage();
}

constexpr int NotClosed = -1;

// Shows a fresh box modally, as the main window does, pictures it once it is up and presses
// "Retornar". Returns the picture and what the modal loop returned.
std::pair<QImage, int> showAndReturn() {
    sobre_adicional box(Pages);
    QImage seen;
    QTimer::singleShot(0, &box, [&box, &seen] {
        seen = stillPicture(box);
        QTest::mouseClick(box.findChild<QPushButton*>(u"ret"_s), Qt::LeftButton);
    });
    // A button that does not close the box fails the test instead of hanging it.
    QTimer::singleShot(2000, &box, [&box] { box.done(NotClosed); });
    const int result = box.exec();
    EXPECT_FALSE(box.isVisible());
    return {seen, result};
}

TEST_F(AboutBox, RetornarEndsTheModalShowingAndTheNextOneLooksTheSame) {
    const auto [first, result] = showAndReturn();
    ASSERT_FALSE(first.isNull()) << "the box was never up";
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_TRUE(recorder.opened.isEmpty());

    const auto [second, again] = showAndReturn();
    EXPECT_EQ(again, QDialog::Rejected);
    EXPECT_EQ(second, first);
}

} // namespace

#include "AboutBoxTest.moc"
