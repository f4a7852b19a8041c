// SPDX-License-Identifier: GPL-3.0-or-later
// The about box: product, version, copyright and the maker's website over a copy of the main
// window's current header picture. Created once and reused; any click closes it.
#pragma once

#include <QDialog>
#include <QPixmap>
#include <functional>

#include "desktop/website.h"

class QLabel;
class QPushButton;

namespace velmora {

// Asks the desktop to open the maker's website; a failure is not reported.
void OpenWebsite();

class AboutBox : public QDialog {
    Q_OBJECT
  public:
    explicit AboutBox(QWidget* parent = nullptr);

    // Copies the main window's current header picture; call before each showing.
    void SetHeaderPicture(const QPixmap& header);
    // Shows the box modally over a copy of `header`; returns when it is closed.
    int ShowWithHeader(const QPixmap& header);
    // Where the box reads the main window's interface language (LanguageName) at each showing.
    void SetLanguageName(std::function<QString()> language_name);

    QLabel* Picture() const { return header_; }
    QLabel* WebsiteLabel() const { return website_link_; }
    QPushButton* OkButton() const { return ok_; }

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void SetEnglishTexts();
    // Puts the version line together in the current language; labels placed by their top-left
    // corner take the size of their current text.
    void FitLabels();

    std::function<QString()> language_name_;
    QLabel* header_ = nullptr;
    QLabel* maker_ = nullptr;
    QLabel* header_strip_ = nullptr;
    QLabel* product_name_ = nullptr;
    QLabel* version_ = nullptr;
    QLabel* copyright_ = nullptr;
    QLabel* terms_ = nullptr;
    QLabel* website_caption_ = nullptr;
    QLabel* website_link_ = nullptr;
    QLabel* footer_strip_ = nullptr;
    QPushButton* ok_ = nullptr;
};

}  // namespace velmora
