#pragma once
// The status line: a lamp and a text panel, written only through
// StatusPanel_Print, and the idle display Status_Show.

#include <QFrame>
#include <QString>

#include "core/VbColor.h"

class QPushButton;

namespace zavo {

struct Ctx;

// A picture box of the status line: background, text colour, one line of
// text printed at the left, and the printed text kept in Tag.
class StatusPanel : public QFrame {
    Q_OBJECT
  public:
    explicit StatusPanel(QWidget* parent = nullptr);
    // What StatusPanel_Print last printed, with its leading blank.
    QString Tag() const { return tag_; }
    QString Text() const { return text_; }
    VbColor Back() const { return back_; }
    VbColor Fore() const { return fore_; }

    // Used by StatusPanel_Print only.
    void Paint(VbColor back, VbColor fore, const QString& text);

  protected:
    void paintEvent(QPaintEvent* e) override;

  private:
    QString tag_;
    QString text_;
    VbColor back_ = kButtonFace;
    VbColor fore_ = kBlack;
};

// The background colour of the window a widget sits in, as an &HBBGGRR value.
VbColor WindowBackColor(const QWidget* w);

// backColor 0 stands for the window's own background; that colour is written
// back into the caller's variable. An empty toolTip keeps the previous one.
void StatusPanel_Print(StatusPanel* pic, VbColor& backColor, VbColor foreColor, const QString& text,
                       const QString& toolTip = QString());

class StatusLine {
  public:
    explicit StatusLine(Ctx& ctx);
    // Ready: green lamp, "INSTRUMENT IS READY", START the default button.
    // Not ready: grey lamp and grey "INSTRUMENT IS NOT INITIALIZED".
    void Status_Show(bool ready);
    // Shorthands for the two panels: the lamp in a colour without text, and a
    // text on the window's background. Texts are printed as given: callers
    // pass them in upper case, as everything on the status line is.
    void Lamp(VbColor color, const QString& toolTip = QString());
    void Text(const QString& text, VbColor fore = kBlack, const QString& toolTip = QString());

  private:
    StatusPanel* Panel(int index) const;
    Ctx& ctx_;
};

}  // namespace zavo
