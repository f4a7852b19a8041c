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

    QLabel* Image1() const { return image1_; }
    QLabel* Label3() const { return label3_; }
    QPushButton* BitBtn1() const { return bitbtn1_; }

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
    QLabel* image1_ = nullptr;
    QLabel* label4_ = nullptr;
    QLabel* image3_ = nullptr;
    QLabel* product_name_ = nullptr;
    QLabel* version_ = nullptr;
    QLabel* copyright_ = nullptr;
    QLabel* label2_ = nullptr;
    QLabel* label1_ = nullptr;
    QLabel* label3_ = nullptr;
    QLabel* image2_ = nullptr;
    QPushButton* bitbtn1_ = nullptr;
};

}  // namespace velmora
