#include "panel/Limits.h"

#include <QEvent>
#include <QFocusEvent>
#include <charconv>
#include <cmath>

#include "core/Context.h"
#include "dialogs/Dialogs.h"
#include "dialogs/Keypad.h"
#include "link/TextUtil.h"
#include "panel/Controls.h"
#include "panel/MainWindow.h"
#include "panel/OptionGroups.h"

namespace zavo {

namespace {

bool Blank(QChar c) {
    return c == ' ' || c == '\t';
}

// The leading number of text from position i (blanks already skipped): its
// value, and where it ends; end == i when there is no digit.
qsizetype Number_Scan(const QString& text, qsizetype i, double& value) {
    const qsizetype start = i;
    const qsizetype n = text.size();
    std::string num;
    if (i < n && (text[i] == '-' || text[i] == '+')) {
        if (text[i] == '-') num += '-';
        ++i;
    }
    bool digits = false;
    bool point = false;
    for (; i < n; ++i) {
        const QChar c = text[i];
        if (c >= '0' && c <= '9') {
            num += char(c.unicode());
            digits = true;
        } else if (c == '.' && !point) {
            num += '.';
            point = true;
        } else {
            break;
        }
    }
    value = 0;
    if (!digits) return start;
    // from_chars reads with "." whatever the process locale says.
    const char* b = num.data();
    if (*b == '-') ++b;
    double v = 0;
    const auto r = std::from_chars(b, num.data() + num.size(), v);
    if (r.ec == std::errc::result_out_of_range) v = HUGE_VAL;
    value = num[0] == '-' ? -v : v;
    return i;
}

qsizetype Blanks_Skip(const QString& text, qsizetype i) {
    while (i < text.size() && Blank(text[i])) ++i;
    return i;
}

QString Value_Text(double v) {
    return QString::number(v, 'g', 15);
}

const QString kMsgTitle = "Incorrect input";
const QString kRetryCaption = "&Retry";

}  // namespace

// A parameter box with what its messages say; max < 0 means "up to the AC
// max value".
struct Limits::Box {
    TextBox* Controls::*box;
    QLabel* Controls::*black;
    const char* head;
    const char* unit;
    int max;
};

double Limits::Text_Value(const QString& text) {
    double v = 0;
    Number_Scan(text, Blanks_Skip(text, 0), v);
    return v;
}

bool Limits::Text_IsNumber(const QString& text) {
    double v = 0;
    const qsizetype from = Blanks_Skip(text, 0);
    const qsizetype end = Number_Scan(text, from, v);
    return end > from && Blanks_Skip(text, end) == text.size();
}

Int16 Limits::Rate_Limit(int rate) {
    return rate == 2 ? 150 : rate == 3 ? 100 : 200;
}

QString Limits::Rate_Range(int rate) {
    return QString("<0 - %1 mT>").arg(Rate_Limit(rate));
}

QString Limits::PulseTime_Text(Int16 code) {
    if (code == 0) return "0";
    if (code == 99) return "10";
    const double s = code / 10.0;
    return Number_Format(s, s == std::floor(s) ? "0" : "0.0");
}

Int16 Limits::PulseTime_Code(double seconds) {
    // Tenths from a one-decimal entry: strip the binary noise first, so that
    // 0.25 is the tie it looks like and goes to the even 2.
    const double tenths = std::round(seconds * 10 * 1e6) / 1e6;
    const Int16 code = RoundToInt16(tenths);
    return code == 100 ? 99 : code;
}

double Limits::Keypad_Limit(const TextBox* box) const {
    const Controls& ui = *ctx_.ui;
    const Settings& s = ctx_.settings;
    if (box == ui.txtACMax)
        return s.ZAVMODE == 1 ? Rate_Limit(s.DMGER) : s.ZAVMODE == 2 ? Rate_Limit(s.REKER) : 0;
    if (box == ui.txtACMin) return s.REKFD;
    if (box == ui.txtDCField) return 500;
    if (box == ui.txtRampTime) return 30;
    if (box == ui.txtTOVField) return 20;
    if (box == ui.txtTOVTime) return 10;
    return 0;
}

void Limits::Text_SelectAll(TextBox* box) {
    box->setSelection(0, int(box->text().size()));
}

bool Limits::Input_Check(TextBox* box, const QString& head, const QString& unit, Int16 min,
                         Int16 max) {
    if (!Text_IsNumber(box->text())) {
        ctx_.dialogs->MsgBox_Custom("Only numeric input is allowed.", kOKOnly | kExclamation,
                                    kMsgTitle, 0, kRetryCaption);
        Text_SelectAll(box);
        return false;
    }
    const double v = Text_Value(box->text());
    if (v >= min && v <= max) return true;
    ctx_.dialogs->MsgBox_Custom(
        QString("%1\r\n\r\n<%2 - %3 %4>").arg(head).arg(min).arg(max).arg(unit),
        kOKOnly | kExclamation, kMsgTitle, 0, kRetryCaption);
    Text_SelectAll(box);
    return false;
}

namespace {

// Stores a checked box: its value as the nearest 16-bit integer.
Int16 Stored(const TextBox* box) {
    return RoundToInt16(Limits::Text_Value(box->text()));
}

}  // namespace

Int16* Limits::Rate_Field(Settings& s) {
    switch (s.ZAVMODE) {
        case 1:
            return &s.DMGER;
        case 2:
            return &s.REKER;
        default:
            return nullptr;
    }
}

bool Limits::Input_Validate() {
    Controls& ui = *ctx_.ui;
    if (!InputAccepted(ui.cmdStart)) return false;
    // Putting the focus on a failed box enters it, which validates again.
    if (validating_) return false;
    validating_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{validating_};

    Settings& s = ctx_.settings;
    const Int16* rate = Rate_Field(ctx_.settings);
    const Int16 limit = Rate_Limit(rate ? *rate : 0);
    const auto check = [this](TextBox* box, const char* head, const char* unit, Int16 max,
                              bool focus = true) {
        if (Input_Check(box, head, unit, 0, max)) return true;
        if (focus) box->setFocus(Qt::OtherFocusReason);
        return false;
    };

    switch (s.ZAVMODE) {
        case 1:
            if (!check(ui.txtACMax, "AC field must be in range:", "mT", limit)) return false;
            s.DMGFD = Stored(ui.txtACMax);
            if (!check(ui.txtRampTime, "Ramp time must be in range:", "s", 30)) return false;
            s.DMGET = Stored(ui.txtRampTime);
            return true;
        case 2: {
            // An AC max that is no number is refused below, before it can
            // move the AC min window.
            const bool maxIsNumber = Text_IsNumber(ui.txtACMax->text());
            const double acMax = Text_Value(ui.txtACMax->text());
            if (maxIsNumber && acMax != s.REKFD && acMax < Text_Value(ui.txtACMin->text())) {
                // A lowered AC max takes the AC min window down with it.
                s.REKFA = 0;
                ui.txtACMin->SetText("0");
                ui.txtACMin->setToolTip("<0 - " + Value_Text(acMax) + " mT>");
            } else if (maxIsNumber) {
                // A changed AC max is the new upper end of AC min.
                const Int16 top = acMax != s.REKFD ? RoundToInt16(acMax) : s.REKFD;
                if (!check(ui.txtACMin, "AC min must be in range:", "mT", top)) return false;
            }
            if (!check(ui.txtACMax, "AC field must be in range:", "mT", limit, false)) return false;
            s.REKFD = Stored(ui.txtACMax);
            s.REKFA = Stored(ui.txtACMin);
            if (!check(ui.txtDCField, "DC field must be in range:", "uT", 500)) return false;
            s.REKFM = Stored(ui.txtDCField);
            if (!check(ui.txtRampTime, "Ramp time must be in range:", "s", 30)) return false;
            s.REKET = Stored(ui.txtRampTime);
            return true;
        }
        case 3:
            if (!check(ui.txtTOVField, "Field intensity must be in range:", "mT", 20)) return false;
            s.TOVFP = Stored(ui.txtTOVField);
            if (!check(ui.txtTOVTime, "Pulse time must be in range:", "s", 10)) return false;
            s.TOVET = PulseTime_Code(Text_Value(ui.txtTOVTime->text()));
            return true;
        default:
            return true;
    }
}

void Limits::Limits_Set() {
    Controls& ui = *ctx_.ui;
    Settings& s = ctx_.settings;
    const int mode = s.ZAVMODE;
    if (mode >= 1 && mode <= 3) ui.optZAVMode[size_t(mode)]->SetValue(true);
    if (mode < 1 || mode > 3) return;

    // The tablet twins sit inside these frames and follow them.
    ui.fraADM->setVisible(mode != 3);
    ui.fraTOV->setVisible(mode == 3);
    ui.fraDMode->setVisible(mode == 1);
    ui.fraMMode->setVisible(mode != 1);

    // Selects button index of a group and its twin and highlights the twin;
    // indices outside the group (a hand-edited settings file) select nothing.
    const auto choose = [this](auto& desk, auto& twin, int index) {
        if (index < 0 || index >= int(desk.size()) || !desk[size_t(index)]) return;
        desk[size_t(index)]->SetValue(true);
        twin[size_t(index)]->SetValue(true);
        ctx_.options->Option_Highlight(twin[size_t(index)]);
    };
    const auto positions = [&] {
        if (ctx_.pos.TumblerUsed && ctx_.pos.MMode >= 1)
            choose(ui.optMMode, ui.optMModeT, ctx_.pos.MMode);
    };

    if (mode == 1 || mode == 2) {
        const bool dmg = mode == 1;
        const Int16 rate = dmg ? s.DMGER : s.REKER;
        ui.txtACMax->SetText(QString::number(dmg ? s.DMGFD : s.REKFD));
        ui.txtACMax->setToolTip(Rate_Range(rate));
        ui.txtACMin->SetText(QString::number(dmg ? 0 : s.REKFA));
        ui.txtDCField->SetText(QString::number(dmg ? 0 : s.REKFM));
        ui.txtRampTime->SetText(QString::number(dmg ? s.DMGET : s.REKET));
        choose(ui.optERate, ui.optERateT, rate);
        choose(ui.optEShape, ui.optEShapeT, dmg ? s.DMGES : s.REKES);
        if (dmg) {
            if (ctx_.pos.TumblerUsed && s.DMODE >= 1) choose(ui.optDMode, ui.optDModeT, s.DMODE);
        } else {
            positions();
        }
    } else {
        choose(ui.optTOVDir, ui.optTOVDirT, s.TOVDIR);
        ui.txtTOVField->SetText(QString::number(s.TOVFP));
        ui.txtTOVTime->SetText(PulseTime_Text(s.TOVET));
        ui.lblTOVPulses->setText(QString::number(s.TOVNUM));
        ui.vslTOVPulses->setValue(s.TOVNUM);
        positions();
    }
    ui.lblACField[1]->setText("AC field [mT]");
    ui.lblDCField[1]->setText(mode == 3 ? "DC field [mT]" : "DC field [uT]");
}

namespace {

const Limits::Box kBoxes[] = {
    {&Controls::txtACMax, &Controls::lblACMaxBlack, "AC field must be in range:", "mT", 200},
    {&Controls::txtACMin, &Controls::lblACMinBlack, "AC min must be in range:", "mT", -1},
    {&Controls::txtDCField, &Controls::lblDCFieldBlack, "DC field must be in range:", "uT", 500},
    {&Controls::txtRampTime, &Controls::lblRampTimeBlack, "Ramp time must be in range:", "s", 30},
    {&Controls::txtTOVField, &Controls::lblTOVFieldBlack, "Field intensity must be in range:", "mT",
     20},
    {&Controls::txtTOVTime, &Controls::lblTOVTimeBlack, "Pulse time must be in range:", "s", 10},
};

}  // namespace

Limits::Limits(Ctx& ctx) : ctx_(ctx) {
    Controls& ui = *ctx_.ui;
    for (const Box& b : kBoxes) {
        TextBox* box = ui.*b.box;
        box->installEventFilter(this);
        connect(box, &TextBox::Click, this, [this, &b] { Box_Click(b); });
        connect(box, &TextBox::GotFocus, this, [this, box] {
            if (InputAccepted(box) && !windowFocus_) Input_Validate();
        });
        // The AC max box is tested and stored by Input_Validate only.
        if (b.box != &Controls::txtACMax)
            connect(box, &TextBox::Validate, this,
                    [this, &b](bool& cancel) { Box_Validate(b, cancel); });
    }
    connect(ui.txtACMax, &TextBox::LostFocus, this, [this] { txtACMax_LostFocus(); });
    connect(ui.txtACMax, &TextBox::Change, this, [this] { txtACMax_Change(); });
    connect(ui.txtTOVTime, &TextBox::Change, this, [this] { txtTOVTime_Change(); });
}

bool Limits::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        const Qt::FocusReason r = static_cast<QFocusEvent*>(event)->reason();
        windowFocus_ = r == Qt::ActiveWindowFocusReason || r == Qt::PopupFocusReason;
    }
    return QObject::eventFilter(watched, event);
}

void Limits::Box_Click(const Box& b) {
    Controls& ui = *ctx_.ui;
    TextBox* box = ui.*b.box;
    if (!InputAccepted(box) || !ctx_.settings.TOUCHMODE) return;
    QLabel* black = ui.*b.black;
    black->show();
    Keypad::Keypad_Show(ctx_, ctx_.window, box, [this, box] { return Keypad_Limit(box); });
    black->hide();
    ctx_.options->Focus_Sink();
}

bool Limits::Box_Check(const Box& b) {
    Controls& ui = *ctx_.ui;
    const Int16 max = b.max >= 0 ? Int16(b.max) : RoundToInt16(Text_Value(ui.txtACMax->text()));
    return Input_Check(ui.*b.box, b.head, b.unit, 0, max);
}

void Limits::Box_Validate(const Box& b, bool& cancel) {
    Controls& ui = *ctx_.ui;
    TextBox* box = ui.*b.box;
    if (!InputAccepted(box)) return;
    if (!Box_Check(b)) {
        cancel = true;
        return;
    }
    // Only a value that passed reaches the record.
    Settings& s = ctx_.settings;
    if (box == ui.txtACMin) {
        s.REKFA = Stored(box);
    } else if (box == ui.txtDCField) {
        s.REKFM = Stored(box);
    } else if (box == ui.txtRampTime) {
        if (s.ZAVMODE == 1) s.DMGET = Stored(box);
        if (s.ZAVMODE == 2) s.REKET = Stored(box);
    }
}

void Limits::ACMinTip_Set() {
    ctx_.ui->txtACMin->setToolTip("<0 - " + Value_Text(Text_Value(ctx_.ui->txtACMax->text())) +
                                  " mT>");
}

void Limits::txtACMax_LostFocus() {
    if (InputAccepted(ctx_.ui->txtACMax)) ACMinTip_Set();
}

void Limits::txtACMax_Change() {
    Controls& ui = *ctx_.ui;
    if (!InputAccepted(ui.txtACMax)) return;
    OptionGroups& og = *ctx_.options;
    og.Controls_Enable(false);
    Int16* field = Rate_Field(ctx_.settings);
    int rate = field ? *field : 1;
    ACMinTip_Set();
    if (ctx_.run.InstrReady && field) {
        const double v = Text_Value(ui.txtACMax->text());
        const auto enable = [&ui](int i, bool on) {
            ui.optERate[size_t(i)]->setEnabled(on);
            ui.optERateT[size_t(i)]->setEnabled(on);
        };
        const auto select = [&](int i) {
            ui.optERate[size_t(i)]->SetValue(true);
            ui.optERateT[size_t(i)]->SetValue(true);
            og.Option_Highlight(ui.optERateT[size_t(i)]);
            ui.txtACMax->setToolTip(Rate_Range(i));
            rate = i;
        };
        if (v <= 100) {
            enable(2, true);
            enable(3, true);
        } else if (v <= 150) {
            enable(3, false);
            enable(2, true);
            if (rate == 3) select(2);
        } else {
            enable(2, false);
            enable(3, false);
            if (rate == 2 || rate == 3) select(1);
        }
        *field = Int16(rate);
    }
    ACMinTip_Set();
    og.Controls_Enable(true);
}

void Limits::txtTOVTime_Change() {
    Controls& ui = *ctx_.ui;
    if (!InputAccepted(ui.txtTOVTime)) return;
    if (Text_Value(ui.txtTOVTime->text()) <= 1) {
        ctx_.options->Pulses_Enable(true);
        return;
    }
    ctx_.options->Pulses_Enable(false);
    ui.lblTOVPulses->setText("1");
    ui.vslTOVPulses->setValue(1);
    ctx_.settings.TOVNUM = 1;
}

}  // namespace zavo
