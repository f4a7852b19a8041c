// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/about_box.h"

#include <QDesktopServices>
#include <QEvent>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QUrl>

#include "app/decoration.h"
#include "desktop/language_switch.h"
#include "i18n/message.h"
#include "i18n/window_translation.h"

namespace velmora {

namespace {

QFont PixelFont(const char* family, int pixels, bool bold = false) {
    QFont f(QString::fromLatin1(family));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

// The strip below the header and the line above the button are drawn, not loaded: a soft blue
// gradient that fits any of the header backgrounds.
QPixmap Strip(int w, int h, QColor top, QColor bottom) {
    QPixmap p(w, h);
    QPainter painter(&p);
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    painter.fillRect(0, 0, w, h, g);
    return p;
}

}  // namespace

void OpenWebsite() {
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kWebsiteUrl)));
}

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName("AboutBox");
    setFixedSize(369, 266);
    setModal(true);
    setFont(PixelFont("Tahoma", 11));

    header_ = new QLabel(this);
    header_->setObjectName("Image1");
    header_->setGeometry(0, 0, 425, 57);
    header_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    maker_ = new QLabel(this);
    maker_->setObjectName("Label4");
    maker_->move(64, 24);
    maker_->setFont(PixelFont("Verdana", 19, true));
    maker_->setStyleSheet("color: white; background: transparent;");

    header_strip_ = new QLabel(this);
    header_strip_->setObjectName("Image3");
    header_strip_->setGeometry(0, 57, 425, 9);
    header_strip_->setPixmap(Strip(425, 9, QColor(0x9c, 0xb8, 0xdc), QColor(0xe8, 0xf0, 0xfa)));

    product_name_ = new QLabel(this);
    product_name_->setObjectName("ProductName");
    product_name_->move(64, 80);
    product_name_->setFont(PixelFont("Tahoma", 13, true));
    product_name_->setStyleSheet("color: blue;");

    version_ = new QLabel(this);
    version_->setObjectName("Version");
    version_->move(64, 97);

    copyright_ = new QLabel(this);
    copyright_->setObjectName("Copyright");
    copyright_->move(64, 120);

    terms_ = new QLabel(this);
    terms_->setObjectName("Label2");
    terms_->setGeometry(64, 144, 242, 54);
    terms_->setWordWrap(true);
    terms_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    website_caption_ = new QLabel(this);
    website_caption_->setObjectName("Label1");
    website_caption_->move(64, 204);
    website_caption_->setFont(PixelFont("Tahoma", 11, true));

    website_link_ = new QLabel(this);
    website_link_->setObjectName("Label3");
    website_link_->move(128, 204);
    website_link_->setCursor(Qt::PointingHandCursor);
    website_link_->setStyleSheet("color: blue; text-decoration: underline;");
    website_link_->installEventFilter(this);

    footer_strip_ = new QLabel(this);
    footer_strip_->setObjectName("Image2");
    footer_strip_->setGeometry(64, 224, 289, 9);
    footer_strip_->setPixmap(Strip(289, 9, QColor(0xff, 0xff, 0xff), QColor(0x9c, 0xb8, 0xdc)));

    ok_ = new QPushButton(this);
    ok_->setObjectName("BitBtn1");
    ok_->setGeometry(280, 232, 75, 25);
    ok_->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

    // Clicks on the labels would otherwise stop at them; the header and background close the box.
    for (QLabel* l : {header_, maker_, header_strip_, product_name_, version_, copyright_, terms_,
                      website_caption_, footer_strip_}) {
        l->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    maker_->raise();
    for (QLabel* l : {header_, header_strip_, footer_strip_}) MarkAsDecoration(l);

    {
        const EnglishTexts english;
        SetEnglishTexts();
    }
    // Names, and the version line that is put together at each showing.
    for (QLabel* l : {maker_, version_, website_link_}) ExcludeFromTranslation(l);
    TranslateWindow(this);
    FitLabels();
}

void AboutBox::SetLanguageName(std::function<QString()> language_name) {
    language_name_ = std::move(language_name);
}

void AboutBox::SetEnglishTexts() {
    setWindowTitle(Msg("About..."));
    maker_->setText(QStringLiteral("Kestrin"));
    product_name_->setText(QStringLiteral("Velmora"));
    copyright_->setText(Msg("Copyright (C) 2006-2026 Kestrin Software"));
    terms_->setText(
        Msg("Free software under the GNU GPL, version 3 or later: free to use, change and pass "
            "on under its terms."));
    website_caption_->setText(Msg("Website:"));
    website_link_->setText(QString::fromLatin1(kWebsiteText));
    ok_->setText(Msg("OK"));
}

void AboutBox::FitLabels() {
    version_->setText(Msg("Version") + QStringLiteral(" 2.4.5.1"));
    for (QLabel* l :
         {maker_, product_name_, version_, copyright_, website_caption_, website_link_}) {
        l->adjustSize();
    }
}

void AboutBox::SetHeaderPicture(const QPixmap& header) {
    header_->setPixmap(header);
}

int AboutBox::ShowWithHeader(const QPixmap& header) {
    SetHeaderPicture(header);
    return exec();
}

void AboutBox::showEvent(QShowEvent* event) {
    // Centred on the screen, not on the main window.
    if (QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
    ReapplyLanguage(this, language_name_ ? language_name_() : QString());
    FitLabels();
    QDialog::showEvent(event);
}

void AboutBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        accept();
        return;
    }
    QDialog::mousePressEvent(event);
}

bool AboutBox::eventFilter(QObject* watched, QEvent* event) {
    // The link takes its own clicks, so opening the website does not also close the box.
    if (watched == website_link_ && event->type() == QEvent::MouseButtonPress) return true;
    if (watched == website_link_ && event->type() == QEvent::MouseButtonRelease) {
        OpenWebsite();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace velmora
