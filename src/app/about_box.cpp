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

    image1_ = new QLabel(this);
    image1_->setObjectName("Image1");
    image1_->setGeometry(0, 0, 425, 57);
    image1_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    label4_ = new QLabel(this);
    label4_->setObjectName("Label4");
    label4_->move(64, 24);
    label4_->setFont(PixelFont("Verdana", 19, true));
    label4_->setStyleSheet("color: white; background: transparent;");

    image3_ = new QLabel(this);
    image3_->setObjectName("Image3");
    image3_->setGeometry(0, 57, 425, 9);
    image3_->setPixmap(Strip(425, 9, QColor(0x9c, 0xb8, 0xdc), QColor(0xe8, 0xf0, 0xfa)));

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

    label2_ = new QLabel(this);
    label2_->setObjectName("Label2");
    label2_->setGeometry(64, 144, 242, 54);
    label2_->setWordWrap(true);
    label2_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    label1_ = new QLabel(this);
    label1_->setObjectName("Label1");
    label1_->move(64, 204);
    label1_->setFont(PixelFont("Tahoma", 11, true));

    label3_ = new QLabel(this);
    label3_->setObjectName("Label3");
    label3_->move(128, 204);
    label3_->setCursor(Qt::PointingHandCursor);
    label3_->setStyleSheet("color: blue; text-decoration: underline;");
    label3_->installEventFilter(this);

    image2_ = new QLabel(this);
    image2_->setObjectName("Image2");
    image2_->setGeometry(64, 224, 289, 9);
    image2_->setPixmap(Strip(289, 9, QColor(0xff, 0xff, 0xff), QColor(0x9c, 0xb8, 0xdc)));

    bitbtn1_ = new QPushButton(this);
    bitbtn1_->setObjectName("BitBtn1");
    bitbtn1_->setGeometry(280, 232, 75, 25);
    bitbtn1_->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    bitbtn1_->setDefault(true);
    connect(bitbtn1_, &QPushButton::clicked, this, &QDialog::accept);

    // Clicks on the labels would otherwise stop at them; the header and background close the box.
    for (QLabel* l : {image1_, label4_, image3_, product_name_, version_, copyright_, label2_,
                      label1_, image2_}) {
        l->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    label4_->raise();

    {
        const EnglishTexts english;
        SetEnglishTexts();
    }
    // Names, and the version line that is put together at each showing.
    for (QLabel* l : {label4_, version_, label3_}) ExcludeFromTranslation(l);
    TranslateWindow(this);
    FitLabels();
}

void AboutBox::SetLanguageName(std::function<QString()> language_name) {
    language_name_ = std::move(language_name);
}

void AboutBox::SetEnglishTexts() {
    setWindowTitle(Msg("About..."));
    label4_->setText(QStringLiteral("Kestrin"));
    product_name_->setText(QStringLiteral("Velmora"));
    copyright_->setText(Msg("Copyright (C) 2006-2026 Kestrin Software"));
    label2_->setText(
        Msg("Free for private use. Copies may be passed on unchanged; selling them needs "
            "our written consent."));
    label1_->setText(Msg("Website:"));
    label3_->setText(QString::fromLatin1(kWebsiteText));
    bitbtn1_->setText(Msg("OK"));
}

void AboutBox::FitLabels() {
    version_->setText(Msg("Version") + QStringLiteral(" 2.4.5.1"));
    for (QLabel* l : {label4_, product_name_, version_, copyright_, label1_, label3_}) {
        l->adjustSize();
    }
}

void AboutBox::SetHeaderPicture(const QPixmap& header) {
    image1_->setPixmap(header);
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
    if (watched == label3_ && event->type() == QEvent::MouseButtonPress) return true;
    if (watched == label3_ && event->type() == QEvent::MouseButtonRelease) {
        OpenWebsite();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace velmora
