#pragma once
// frmMsgBox: the tablet question form. Two large buttons laid exactly over the
// main window's command frame; the question itself stands in the status line.

#include <QDialog>
#include <QPointer>

class QFrame;
class QPushButton;

namespace zavo {

class PictureBox;

class FrmMsgBox : public QDialog {
    Q_OBJECT
  public:
    explicit FrmMsgBox(QWidget* owner = nullptr);

    // Takes the screen rectangle of frame (the command frame) on activation.
    void SetCover(QWidget* frame) { cover_ = frame; }
    // Enables the buttons, clears MsgBoxOK and lays the form over the cover;
    // false when there is no visible cover to lie on.
    bool Form_Activate();
    void cmdOK_Click();
    void cmdCANCEL_Click();

    QFrame* fraMsgBox;
    QPushButton* cmdOK;
    QPushButton* cmdCANCEL;
    PictureBox* picFocus;
    bool MsgBoxOK = false;

  protected:
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    // Escape answers as CANCEL does.
    void reject() override;

  private:
    void Answer(bool ok);
    void Fonts_Scale();
    QPointer<QWidget> cover_;
};

}  // namespace zavo
