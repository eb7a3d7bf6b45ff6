#include "panel/Controls.h"

#include "link/StatusLine.h"

namespace zavo {

namespace {

template <typename W>
W* Named(W* w, const QString& name) {
    w->setObjectName(name);
    return w;
}

QString Indexed(const char* name, int i) { return QString("%1(%2)").arg(name).arg(i); }

QGroupBox* Frame(QWidget* owner, const char* name, const QString& caption) {
    return Named(new QGroupBox(caption, owner), name);
}

QLabel* Label(QWidget* owner, const char* name, const QString& caption) {
    return Named(new QLabel(caption, owner), name);
}

QPushButton* Button(QWidget* owner, const QString& name, const QString& caption) {
    auto* b = Named(new QPushButton(caption, owner), name);
    b->setAutoDefault(false);
    return b;
}

TextBox* Box(QWidget* owner, const char* name, const QString& tip) {
    auto* t = Named(new TextBox(owner), name);
    t->setToolTip(tip);
    return t;
}

QLabel* BlackLabel(QWidget* owner, const char* name) {
    auto* l = Label(owner, name, QString());
    SetBackColor(l, kBlack);
    l->hide();
    return l;
}

// Option buttons live in their frame from the start: a frame is what makes
// a group exclusive.
template <size_t N>
void Options(QWidget* owner, std::array<OptionButton*, N>& arr, const char* name, int first,
             const QStringList& captions) {
    for (int i = first; i < int(N); ++i) {
        arr[i] = Named(new OptionButton(captions[i - first], i, owner), Indexed(name, i));
    }
}

}  // namespace

Controls::Controls(QWidget* o) : owner(o) {
    fraZAVMode = Frame(o, "fraZAVMode", "Instrument mode");
    Options(fraZAVMode, optZAVMode, "optZAVMode", 1,
            {"DEMAGNETIZER", "ANHYSTERETIC MAGNETIZER", "PULSE MAGNETIZER"});

    fraADM = Frame(o, "fraADM", "ADM Settings");
    fraFields = Frame(o, "fraFields", "AC amplitude");
    const QStringList caps{"AC max [mT]", "DC [uT]", "AC min [mT]"};
    for (int i = 1; i <= 3; ++i)
        lblFieldsCap[i] = Named(new QLabel(caps[i - 1], o), Indexed("lblFieldsCap", i));
    txtACMax = Box(o, "txtACMax", "<0 - 200 mT>");
    txtDCField = Box(o, "txtDCField", "<0 - 500 uT>");
    txtACMin = Box(o, "txtACMin", "<0 - 200 mT>");
    lblACMaxBlack = BlackLabel(o, "lblACMaxBlack");
    lblACMinBlack = BlackLabel(o, "lblACMinBlack");
    lblDCFieldBlack = BlackLabel(o, "lblDCFieldBlack");
    fraRampTime = Frame(o, "fraRampTime", "AC max time");
    lblRampTime = Label(o, "lblRampTime", "Time [s]");
    txtRampTime = Box(o, "txtRampTime", "<0 - 30 s>");
    lblRampTimeBlack = BlackLabel(o, "lblRampTimeBlack");

    const QStringList rates{"Extra fast", "Fast", "Medium", "Slow"};
    const QStringList rateTips{"Extra fast decrease rate (ca. 9 mT/s)",
                               "Fast decrease rate (ca. 3 mT/s)",
                               "Medimum decrease rate (ca. 1.5 mT/s)",
                               "Slow decrease rate (ca. 1 mT/s)"};
    fraERate = Frame(o, "fraERate", "AC decrease rate");
    fraERate->setToolTip("Rate of AC field decrease");
    fraERateT = Frame(o, "fraERateT", "AC decrease rate");
    fraERateT->setToolTip("Rate of AC field decrease");
    Options(fraERate, optERate, "optERate", 0, rates);
    Options(fraERateT, optERateT, "optERateT", 0, rates);
    for (int i = 0; i <= 3; ++i) {
        optERate[i]->setToolTip(rateTips[i]);
        optERateT[i]->setToolTip(rateTips[i]);
    }

    const QStringList shapes{"Speeding", "Linear", "Slowing"};
    const QStringList shapeTips{"Gentle decrease at start - rapid decrease at end",
                                "Linear decrease",
                                "Steep decrease at start - gentle decrease at end"};
    fraEShape = Frame(o, "fraEShape", "AC decrease course");
    fraEShape->setToolTip("Course of AC field decrease");
    fraEShapeT = Frame(o, "fraEShapeT", "AC decrease course");
    fraEShapeT->setToolTip("Course of AC field decrease");
    Options(fraEShape, optEShape, "optEShape", 1, shapes);
    // The tablet buttons carry pictures instead of captions.
    Options(fraEShapeT, optEShapeT, "optEShapeT", 1, {"", "", ""});
    for (int i = 1; i <= 3; ++i) {
        optEShape[i]->setToolTip(shapeTips[i - 1]);
        optEShapeT[i]->setToolTip(shapeTips[i - 1]);
        picEShape[i] = Named(new PictureBox(o), Indexed("picEShape", i));
        picEShape[i]->setToolTip(shapeTips[i - 1]);
        picEShape[i]->setFocusPolicy(Qt::NoFocus);
    }
    cmdProperties = Button(o, "cmdProperties", QString());
    cmdProperties->setToolTip("Curve properties");

    const QStringList dmodes{"Tumbler not used", "+x-axis",           "+y-axis",
                             "+z-axis",          "-x-axis",           "-y-axis",
                             "-z-axis",          "Tumbling specimen", "Three axes (+x +y +z)"};
    fraDMode = Frame(o, "fraDMode", "Demagnetization mode");
    fraDModeT = Frame(o, "fraDModeT", "Demagnetization mode");
    Options(fraDMode, optDMode, "optDMode", 0, dmodes);
    Options(fraDModeT, optDModeT, "optDModeT", 0, dmodes);

    const QStringList mmodes{"Tumbler not used", "+x-axis", "+y-axis", "+z-axis", "-x-axis",
                             "-y-axis",          "-z-axis", "User mode", "A-mode", "B-mode",
                             "P-mode",           "C-mode",  "D-mode"};
    fraMMode = Frame(o, "fraMMode", "Magnetizing position");
    fraMModeT = Frame(o, "fraMModeT", "Magnetizing position");
    Options(fraMMode, optMMode, "optMMode", 0, mmodes);
    Options(fraMModeT, optMModeT, "optMModeT", 0, mmodes);
    lblMMode = Label(o, "lblMMode", QString());
    cmdPrevPos = Button(o, "cmdPrevPos", "PREV");
    cmdNextPos = Button(o, "cmdNextPos", "NEXT");
    chkAutoNext = Named(new CheckBox("Auto next", o), "chkAutoNext");
    chkAutoNextT = Named(new CheckBox("Auto next", o), "chkAutoNextT");

    fraTOV = Frame(o, "fraTOV", "TOV Settings");
    fraTOVField = Frame(o, "fraTOVField", "Pulse intensity");
    lblTOVField = Label(o, "lblTOVField", "DC field [mT]");
    txtTOVField = Box(o, "txtTOVField", "<0 - 20 mT>");
    lblTOVFieldBlack = BlackLabel(o, "lblTOVFieldBlack");
    fraTOVTime = Frame(o, "fraTOVTime", "Pulse time");
    lblTOVTime = Label(o, "lblTOVTime", "Time [s]");
    txtTOVTime = Box(o, "txtTOVTime", "<0.1 - 10 s>; 0 ~ 0.01 s");
    lblTOVTimeBlack = BlackLabel(o, "lblTOVTimeBlack");
    fraTOVPulses = Frame(o, "fraTOVPulses", QString());
    lblTOVPulsesCap = Label(o, "lblTOVPulsesCap", "Number of alternating pulses");
    lblTOVPulses = Label(o, "lblTOVPulses", "1");
    SetTag(lblTOVPulses, "1");
    vslTOVPulses = Named(new CountScrollBar(o), "vslTOVPulses");
    vslTOVPulses->setRange(1, 10);
    vslTOVPulses->setValue(1);
    cmdTOVPlus = Button(o, "cmdTOVPlus", "+");
    cmdTOVMinus = Button(o, "cmdTOVMinus", "-");
    fraTOVDir = Frame(o, "fraTOVDir", "Polarity");
    fraTOVDir->setToolTip("Polarity of the last DC field pulse in sequence");
    fraTOVDirT = Frame(o, "fraTOVDirT", "Polarity");
    fraTOVDirT->setToolTip("Polarity of the last DC field pulse in sequence");
    Options(fraTOVDir, optTOVDir, "optTOVDir", 1, {"Plus", "Minus"});
    Options(fraTOVDirT, optTOVDirT, "optTOVDirT", 1, {"Positive", "Negative"});
    for (auto* arr : {&optTOVDir, &optTOVDirT}) {
        (*arr)[1]->setToolTip("Parallel to pre-set magnetizing direction");
        (*arr)[2]->setToolTip("Antiparallel to pre-set magnetizing direction");
    }

    chkTumbler = Named(new CheckBox("Tumbler", o), "chkTumbler");
    chkTumblerT = Named(new CheckBox("Tumbler", o), "chkTumblerT");
    cmdInitTumbler = Button(o, "cmdInitTumbler", "INITIALIZE TUMBLER");

    fraFieldMeters = Frame(o, "fraFieldMeters", QString());
    lblACField[0] = Named(new QLabel("0 ", o), "lblACField(0)");
    lblACField[1] = Named(new QLabel("AC field [mT]", o), "lblACField(1)");
    lblDCField[0] = Named(new QLabel("0 ", o), "lblDCField(0)");
    lblDCField[1] = Named(new QLabel("DC field [uT]", o), "lblDCField(1)");

    fraCmd = Frame(o, "fraCmd", QString());
    cmdInit = Button(o, "cmdInit", "INITIALIZE");
    cmdStart = Button(o, "cmdStart", "START");
    SetTag(cmdStart, "1");
    cmdStop = Button(o, "cmdStop", "ABORT");
    chkAutoSwitch = Named(new CheckBox("Auto switch", o), "chkAutoSwitch");

    for (int i = 0; i < 3; ++i) picStat[i] = Named(new StatusPanel(o), Indexed("picStat", i));
    picFocus = Named(new PictureBox(o), "picFocus");
    picFocus->setFixedSize(1, 1);
    // The count stays a bare number for the code; the window says what it counts.
    lblSD = Named(new CaptionedLabel("DEMAGNETIZER OFF IN %1 s", o), "lblSD");
    lblSD->setToolTip(
        "The demagnetizer stays on after a demagnetization run, so that the next one starts at "
        "once; it is switched off when this count reaches 0.");

    fraSERVMODE = Frame(o, "fraSERVMODE", "Service");
    txtTerm = Named(new QPlainTextEdit(o), "txtTerm");
    txtTerm->setFont(QFont("Courier"));
    txtTerm->setWordWrapMode(QTextOption::WrapAnywhere);
    fraCommPort = Frame(o, "fraCommPort", "Comm Port");
    txtCommPort = Named(new QLineEdit(o), "txtCommPort");
    cmdCommPort = Button(o, "cmdCommPort", "Open Port");
    cmdSaveClear = Button(o, "cmdSaveClear", "Save and Clear");
    cmdTestTimes = Button(o, "cmdTestTimes", "TestTimes");
    const QStringList offOn{"OFF", "ON"};
    for (int i = 0; i < 2; ++i) {
        cmdSD[i] = Button(o, Indexed("cmdSD", i), offOn[i]);
        cmdSM[i] = Button(o, Indexed("cmdSM", i), offOn[i]);
        cmdH[i] = Button(o, Indexed("cmdH", i), offOn[i]);
        cmdService[i] = Button(o, Indexed("cmdService", i), offOn[i]);
        for (auto* b : {cmdSD[i], cmdSM[i], cmdH[i], cmdService[i]})
            SetBackColor(b, i == 0 ? kLightRed : kLightGreen);
    }
    const QStringList controls{"w", "Ctrl P", "IP", "IE", "y", "j"};
    for (int i = 0; i < 6; ++i) cmdControl[i] = Button(o, Indexed("cmdControl", i), controls[i]);
    cmdARMSet = Button(o, "cmdARMSet", "PRE-SET VALUES");
    fraTumbler = Frame(o, "fraTumbler", "Tumbler");
    const QStringList tumbler{"INIT", "SET POS", "START", "STOP"};
    for (int i = 0; i < 4; ++i) cmdTumbler[i] = Button(o, Indexed("cmdTumbler", i), tumbler[i]);
    txtTumbler = Named(new QLineEdit(o), "txtTumbler");

    timLEDBlink = Named(new QTimer(o), "timLEDBlink");
    timLEDBlink->setInterval(200);
    timSD = Named(new QTimer(o), "timSD");
}

std::vector<QWidget*> Controls::InputFlagged() const {
    std::vector<QWidget*> v;
    for (int i = 1; i <= 3; ++i) v.push_back(optZAVMode[i]);
    v.push_back(chkTumbler);
    v.push_back(chkTumblerT);
    for (auto* t : {txtACMax, txtACMin, txtDCField, txtRampTime}) v.push_back(t);
    for (int i = 0; i <= 3; ++i) {
        v.push_back(optERate[i]);
        v.push_back(optERateT[i]);
    }
    for (int i = 1; i <= 3; ++i) {
        v.push_back(optEShape[i]);
        v.push_back(optEShapeT[i]);
    }
    for (int i = 0; i <= 8; ++i) {
        v.push_back(optDMode[i]);
        v.push_back(optDModeT[i]);
    }
    v.push_back(txtTOVField);
    v.push_back(txtTOVTime);
    v.push_back(lblTOVPulses);
    for (int i = 1; i <= 2; ++i) {
        v.push_back(optTOVDir[i]);
        v.push_back(optTOVDirT[i]);
    }
    for (int i = 0; i <= 12; ++i) {
        v.push_back(optMMode[i]);
        v.push_back(optMModeT[i]);
    }
    v.push_back(chkAutoNext);
    v.push_back(chkAutoNextT);
    v.push_back(cmdStart);
    return v;
}

}  // namespace zavo
