#include "maglink/MagLink.h"

#include "core/Activity.h"
#include "core/Context.h"
#include "dialogs/Dialogs.h"
#include "link/CommLog.h"
#include "link/StatusLine.h"
#include "link/TextUtil.h"
#include "maglink/MagTransport.h"
#include "operations/ModeSwitch.h"
#include "operations/RunTrace.h"
#include "operations/Tumbler.h"
#include "panel/Controls.h"
#include "panel/MainWindow.h"
#include "panel/OptionGroups.h"

namespace zavo {

namespace {

// The run waits this long at most for the magnetometer program.
constexpr int kSendTimeoutMs = 1000;
// Held work: a later message replaces the one still waiting.
constexpr const char* kStepKey = "maglink.step";
constexpr const char* kMismatchKey = "maglink.mismatch";
constexpr const char* kTroubleKey = "maglink.trouble";
const char* const kLinkTitle = "Magnetometer Link";

}  // namespace

MagLink::MagLink(Ctx& ctx) : ctx_(ctx) {}

MagLink::~MagLink() {
    Close();
}

void MagLink::Transport_Set(std::unique_ptr<MagTransport> transport) {
    Close();
    transport_ = std::move(transport);
}

bool MagLink::Open() {
    if (serving_) return true;
    if (!transport_) return false;
    std::string detail;
    transport_->Trouble_Set([this](const std::string& why) { Trouble_Tell(why); });
    const auto served = transport_->Serve(
        kReceiveName, [this](const CopyData& d) { CopyData_Receive(d); }, detail);
    if (served == MagTransport::Served::Serving) {
        serving_ = true;
        return true;
    }
    // The first program keeps the name: taking it over would cut that
    // program off from steps the operator expects it to receive.
    const QString text =
        served == MagTransport::Served::Taken
            ? QString(
                  "Another ZAVO program is already running on this computer.\n"
                  "Steps from the magnetometer program go to that program, not to this one.")
            : QString(
                  "The receive window for the magnetometer program could not be opened:\n%1\n"
                  "Steps from the magnetometer program will not arrive.")
                  .arg(QString::fromStdString(detail));
    ctx_.dialogs->MsgBox_Custom(text, kOKOnly | kExclamation, kLinkTitle, 0);
    return false;
}

void MagLink::Close() {
    if (serving_ && transport_) transport_->Stop();
    serving_ = false;
}

void MagLink::LinkString_Send(const std::string& text) {
    if (text.empty() || !transport_) return;
    const std::uint64_t window = ctx_.window ? std::uint64_t(ctx_.window->winId()) : 0;
    // Whether the magnetometer program took it is no concern of the run.
    transport_->Send(kSendName, Text_Payload(text), window, kSendTimeoutMs);
}

void MagLink::CopyData_Receive(const CopyData& data) {
    const Payload p = CopyData_Read(data);
    switch (p.kind) {
        case Payload::Kind::Ignored:
            return;
        case Payload::Kind::Text:
            String_Set(p.text);
            return;
        case Payload::Kind::List:
            lstArray_ = p.items;
            if (p.mismatch) Mismatch_Tell();
            return;
    }
}

void MagLink::Mismatch_Tell() {
    // One box at a time: payloads keep arriving inside its modal loop, and a
    // box for each, one inside the other, would end only when the stack does.
    ++mismatches_;
    if (mismatches_ > 1) return;
    // A modal box inside a running exchange would stall its reply wait until
    // the operator answers; it waits for the end instead.
    ctx_.activity->When_Idle(kMismatchKey, [this] {
        ctx_.dialogs->MsgBox_Custom("Data transferred incorrectly", kOKOnly | kExclamation,
                                    "Error Receiving Data", 0);
        if (ctx_.log)
            ctx_.log->Record("Magnetometer link: data transferred incorrectly (" +
                             std::to_string(mismatches_) +
                             (mismatches_ == 1 ? " payload)" : " payloads while it was shown)"));
        mismatches_ = 0;
    });
}

void MagLink::Trouble_Tell(const std::string& why) {
    if (ctx_.log)
        ctx_.log->Record(why.empty() ? "Magnetometer link takes messages again"
                                     : "Magnetometer link cannot take messages: " + why);
    if (why.empty() || !ctx_.status) return;
    // Told once the running operation has let go of the status line.
    ctx_.activity->When_Idle(kTroubleKey, [this, why] {
        ctx_.status->Lamp(kLightOrange);
        ctx_.status->Text("MAGNETOMETER LINK CANNOT TAKE MESSAGES: " +
                          QString::fromLocal8Bit(why.c_str()).toUpper());
    });
}

void MagLink::String_Set(const std::string& text) {
    // An identical text is no change: nothing is interpreted again.
    if (text == txtString_) return;
    txtString_ = text;
    // A mode switch in the middle of another operation's exchange would cut
    // into it: the step waits for the operation's end, the latest one wins.
    ctx_.activity->When_Idle(kStepKey, [this, text] { Step_Apply(text); });
}

void MagLink::Step_Tell(const QString& text, bool refused) {
    ctx_.status->Lamp(refused ? kLightOrange : kGreen);
    ctx_.status->Text(text);
    if (ctx_.log) ctx_.log->Record(ToBytes(text));
}

void MagLink::Step_Apply(const std::string& text) {
    if (!serving_) return;
    const Step s = Step_Read(text);
    if (s.mode == 0) return;
    Controls& ui = *ctx_.ui;
    if (ctx_.settings.ZAVMODE != s.mode) ctx_.modes->ZAVMode_Set(Int16(s.mode));
    if (ctx_.link.CmdFatal) return;
    const QString step = FromBytes(text).toUpper();
    // The boxes are shared by the modes: values written into another mode's
    // panel would treat the specimen with the wrong field at the next START.
    if (ctx_.settings.ZAVMODE != s.mode) {
        static const char* const kModes[] = {"", "DEMAGNETIZER", "ANHYSTERETIC MAGNETIZER",
                                              "PULSE MAGNETIZER"};
        Step_Tell("STEP " + step + " NOT APPLIED: THE INSTRUMENT IS NOT IN " + kModes[s.mode] +
                      " MODE",
                  true);
        return;
    }

    if (s.hasACMax) ui.txtACMax->SetText(QString::number(s.ACMax));
    if (s.hasACMin) ui.txtACMin->SetText(QString::number(s.ACMin));
    if (s.hasDCField) ui.txtDCField->SetText(QString::number(s.DCField));
    if (s.hasTOVField) ui.txtTOVField->SetText(QString::number(s.TOVField));
    const QString refused = s.hasPosition ? Position_Apply(s) : QString();

    if (ctx_.window) {
        ctx_.window->raise();
        ctx_.window->activateWindow();
    }
    ctx_.trace->Step_Applied(text);
    if (refused.isEmpty())
        Step_Tell("STEP FROM THE MAGNETOMETER PROGRAM: " + step, false);
    else
        Step_Tell("STEP " + step + ": POSITION " + FromBytes(s.positionText).toUpper() +
                      " REFUSED, " + refused,
                  true);
}

QString MagLink::Position_Apply(const Step& s) {
    Controls& ui = *ctx_.ui;
    PositionState& p = ctx_.pos;
    // A position the tumbler cannot take keeps the one in force, label and all.
    if (!p.TumblerUsed) return "NO TUMBLER IN USE";
    const Int16 mode = s.MMode != 0 ? Int16(s.MMode) : p.MMode;
    const Int16 count = s.MMode != 0 ? Int16(s.MIndexMax) : p.MIndexMax;
    if (mode < 1 || mode > 12 || !s.hasMIndex || s.MIndex < 1 || s.MIndex > count)
        return count > 0 ? "THE POSITIONS ARE 1 TO " + QString::number(count)
                         : QString("NO POSITIONS IN THIS MODE");
    p.MMode = mode;
    p.MIndexMax = count;
    // Selected with their input flags off, so the click handlers (which
    // would reset the index to 1) stay out; each keeps the flag it had,
    // so a locked panel stays locked. The tablet twin shows the same.
    for (OptionButton* o : {ui.optMMode[size_t(p.MMode)], ui.optMModeT[size_t(p.MMode)]}) {
        const QString tag = Tag(o);
        SetTag(o, "0");
        o->SetValue(true);
        SetTag(o, tag);
    }
    ctx_.options->Option_Highlight(ui.optMModeT[size_t(p.MMode)]);
    ui.lblMMode->setText(FromBytes(s.positionText));
    p.MIndex = Int16(s.MIndex);
    p.MPos = MagPos(p.MMode, p.MIndex);
    return {};
}

}  // namespace zavo
