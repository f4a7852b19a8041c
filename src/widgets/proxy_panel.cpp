// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/proxy_panel.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstring>

#include "i18n/message.h"

namespace velmora {

void ProxyBuffer::Assign(const QString& text) {
    QByteArray utf8 = text.left(kProxyAddressMaxLength).toUtf8();
    if (utf8.size() > static_cast<qsizetype>(kSize - 1)) {
        qsizetype end = static_cast<qsizetype>(kSize - 1);
        // Back up over continuation bytes so no character is cut in half.
        while (end > 0 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) --end;
        utf8.truncate(end);
    }
    bytes_.fill('\0');
    std::memcpy(bytes_.data(), utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

ProxyPanel::ProxyPanel(QWidget* parent) : QFrame(parent) {
    setObjectName("Panel1");
    setAutoFillBackground(true);
    frame = new QGroupBox(this);
    frame->setObjectName("ProxyFrame");

    addressEdit = new QLineEdit(frame);
    addressEdit->setObjectName("ed_ProxyServer");
    addressEdit->setMaxLength(kProxyAddressMaxLength);
    addressEdit->setEnabled(false);
    addressEdit->setGeometry(10, 22, 300, 22);

    hintLabel = new QLabel(frame);
    hintLabel->setObjectName("Label8");
    hintLabel->setTextFormat(Qt::PlainText);
    hintLabel->setGeometry(10, 48, 300, 16);

    directSwitch = new QCheckBox(frame);
    directSwitch->setObjectName("cbDirectConnection");
    directSwitch->setChecked(true);
    directSwitch->setGeometry(10, 70, 200, 20);
    connect(directSwitch, &QCheckBox::clicked, this, &ProxyPanel::OnDirectConnectionClicked);

    okButton = new QPushButton(frame);
    okButton->setObjectName("BitBtn4");
    okButton->setGeometry(318, 64, 64, 26);
    connect(okButton, &QPushButton::clicked, this, &ProxyPanel::OnOkClicked);

    Retranslate();
    hide();
}

void ProxyPanel::Retranslate() {
    frame->setTitle(Msg("Proxy-Server"));
    hintLabel->setText(Msg("server:port or user:pass@server:port"));
    // A screen reader names the field as its frame and reads the hint below as its description.
    addressEdit->setAccessibleName(Msg("Proxy-Server"));
    addressEdit->setAccessibleDescription(hintLabel->text());
    directSwitch->setText(Msg("Proxy off"));
    okButton->setText(Msg("OK"));
}

void ProxyPanel::GiveProxy(const char* address) {
    if (target_) target_(address);
}

void ProxyPanel::OnDirectConnectionClicked() {
    const bool direct = DirectConnection();
    GiveProxy(direct ? nullptr : buffer_.data());
    addressEdit->setEnabled(!direct);
}

void ProxyPanel::CopyAddressToBuffer() {
    buffer_.Assign(addressEdit->text());
    // The engine works from its own copy of the text: hand the new one over.
    if (!DirectConnection()) GiveProxy(buffer_.data());
}

bool ProxyPanel::DirectConnection() const {
    return directSwitch->isChecked();
}

void ProxyPanel::SetDirectConnection(bool direct) {
    directSwitch->setChecked(direct);
}

QString ProxyPanel::Address() const {
    return addressEdit->text();
}

void ProxyPanel::SetAddress(const QString& address) {
    addressEdit->setText(address);
}

void ProxyPanel::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    frame->setGeometry(rect());
}

}  // namespace velmora
