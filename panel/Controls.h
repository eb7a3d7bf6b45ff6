#pragma once
// Every control of the main window, created once with its object name,
// caption and tooltip. Control arrays keep their array indices: an array
// whose indices start at 1 leaves slot 0 empty (nullptr).
//
// The controls are created without a layout; the main window lays them out
// for the desktop or the tablet. Subsystems reach the controls they work on
// through this record.

#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <array>
#include <vector>

#include "core/Widgets.h"

namespace zavo {

class StatusPanel;

struct Controls {
    // Creates all controls as children of owner (the main window's central
    // widget); they stay unparented from frames until the layout places them.
    explicit Controls(QWidget* owner);

    QWidget* owner;

    // Instrument mode.
    QGroupBox* fraZAVMode;
    std::array<OptionButton*, 4> optZAVMode{};  // 1..3

    // AC panel ("ADM Settings").
    QGroupBox* fraADM;
    QGroupBox* fraFields;
    std::array<QLabel*, 4> lblFieldsCap{};  // 1..3
    TextBox* txtACMax;
    TextBox* txtDCField;
    TextBox* txtACMin;
    QLabel* lblACMaxBlack;
    QLabel* lblACMinBlack;
    QLabel* lblDCFieldBlack;
    QGroupBox* fraRampTime;
    QLabel* lblRampTime;
    TextBox* txtRampTime;
    QLabel* lblRampTimeBlack;

    QGroupBox* fraERate;
    std::array<OptionButton*, 4> optERate{};  // 0..3
    QGroupBox* fraERateT;
    std::array<OptionButton*, 4> optERateT{};

    QGroupBox* fraEShape;
    std::array<OptionButton*, 4> optEShape{};  // 1..3
    std::array<PictureBox*, 4> picEShape{};    // 1..3
    QGroupBox* fraEShapeT;
    std::array<OptionButton*, 4> optEShapeT{};  // 1..3, picture buttons
    QPushButton* cmdProperties;

    QGroupBox* fraDMode;
    std::array<OptionButton*, 9> optDMode{};  // 0..8
    QGroupBox* fraDModeT;
    std::array<OptionButton*, 9> optDModeT{};

    // Magnetizing positions.
    QGroupBox* fraMMode;
    std::array<OptionButton*, 13> optMMode{};  // 0..12
    QGroupBox* fraMModeT;
    std::array<OptionButton*, 13> optMModeT{};
    QLabel* lblMMode;
    QPushButton* cmdPrevPos;
    QPushButton* cmdNextPos;
    CheckBox* chkAutoNext;
    CheckBox* chkAutoNextT;

    // Pulse panel ("TOV Settings").
    QGroupBox* fraTOV;
    QGroupBox* fraTOVField;
    QLabel* lblTOVField;
    TextBox* txtTOVField;
    QLabel* lblTOVFieldBlack;
    QGroupBox* fraTOVTime;
    QLabel* lblTOVTime;
    TextBox* txtTOVTime;
    QLabel* lblTOVTimeBlack;
    QGroupBox* fraTOVPulses;     // "Number of alternating pulses"
    QLabel* lblTOVPulsesCap;     // its caption label
    QLabel* lblTOVPulses;
    QScrollBar* vslTOVPulses;    // 1..10
    QPushButton* cmdTOVPlus;
    QPushButton* cmdTOVMinus;
    QGroupBox* fraTOVDir;        // "Polarity"
    std::array<OptionButton*, 3> optTOVDir{};  // 1..2
    QGroupBox* fraTOVDirT;
    std::array<OptionButton*, 3> optTOVDirT{};

    // Tumbler.
    CheckBox* chkTumbler;
    CheckBox* chkTumblerT;
    QPushButton* cmdInitTumbler;

    // Field meters: index 0 the value, index 1 the caption.
    QGroupBox* fraFieldMeters;
    std::array<QLabel*, 2> lblACField{};
    std::array<QLabel*, 2> lblDCField{};

    // Commands.
    QGroupBox* fraCmd;
    QPushButton* cmdInit;
    QPushButton* cmdStart;
    QPushButton* cmdStop;
    CheckBox* chkAutoSwitch;  // alternate demagnetizing and magnetizing runs

    // Status line: 0 the lamp, 1 the text, 2 kept for later.
    std::array<StatusPanel*, 3> picStat{};
    // Hidden focus sink.
    PictureBox* picFocus;
    QLabel* lblSD;  // demagnetizer hold count-down

    // Service frame.
    QGroupBox* fraSERVMODE;
    QPlainTextEdit* txtTerm;
    QGroupBox* fraCommPort;
    QLineEdit* txtCommPort;
    QPushButton* cmdCommPort;
    QPushButton* cmdSaveClear;
    QPushButton* cmdTestTimes;
    std::array<QPushButton*, 2> cmdSD{};       // 0 OFF, 1 ON
    std::array<QPushButton*, 2> cmdSM{};
    std::array<QPushButton*, 2> cmdH{};
    std::array<QPushButton*, 2> cmdService{};
    std::array<QPushButton*, 6> cmdControl{};  // w, Ctrl P, IP, IE, y, j
    QPushButton* cmdARMSet;
    QGroupBox* fraTumbler;
    std::array<QPushButton*, 4> cmdTumbler{};  // INIT, SET POS, START, STOP
    QLineEdit* txtTumbler;

    // Timers.
    QTimer* timLEDBlink;  // 200 ms activity lamp
    QTimer* timSD;        // demagnetizer hold

    // Every control that carries the input flag, in one list.
    std::vector<QWidget*> InputFlagged() const;
};

}  // namespace zavo
