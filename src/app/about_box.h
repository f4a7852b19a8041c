// The about box: product, version, copyright and the maker's website over a copy of the main
// window's current header picture. Created once and reused; any click closes it.
#pragma once

#include <QDialog>
#include <QPixmap>

class QLabel;
class QPushButton;

namespace velmora {

// The maker's website, opened by the menu's "Website" item and the about box's link.
inline constexpr const char* kWebsiteUrl = "https://www.kestrin-soft.example/";
// How the about box shows it.
inline constexpr const char* kWebsiteText = "www.kestrin-soft.example";

// Asks the desktop to open the maker's website; a failure is not reported.
void OpenWebsite();

class TAboutBox : public QDialog {
    Q_OBJECT
  public:
    explicit TAboutBox(QWidget* parent = nullptr);

    // Copies the main window's current header picture; call before each showing.
    void SetHeaderPicture(const QPixmap& header);
    // Shows the box modally over a copy of `header`; returns when it is closed.
    int ShowWithHeader(const QPixmap& header);
    // Sets every text again through the message look-up (after a catalogue switch).
    void Retranslate();

    QLabel* Image1() const { return image1_; }
    QLabel* Label3() const { return label3_; }
    QPushButton* BitBtn1() const { return bitbtn1_; }

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
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
