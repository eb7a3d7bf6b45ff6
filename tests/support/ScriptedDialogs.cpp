#include "support/ScriptedDialogs.h"

namespace zavo::test {

int ScriptedDialogs::MsgBox_Custom(const QString& prompt, int style, const QString& title,
                                   int timeout, const QString& caption1, const QString& caption2,
                                   const QString& caption3, const QString& caption4) {
    AskedBox b{prompt, style, title, timeout, {}};
    for (const QString& c : {caption1, caption2, caption3, caption4})
        if (!c.isEmpty()) b.captions << c;
    boxes.push_back(b);
    if (onAsk) onAsk(b);
    if (boxAnswers.empty()) return kOK;
    const int r = boxAnswers.front();
    boxAnswers.pop_front();
    return r;
}

bool ScriptedDialogs::MsgBox_Large(const QString& okCaption, const QString& cancelCaption) {
    large.push_back({okCaption, cancelCaption});
    MsgBoxOK = true;
    if (!largeAnswers.empty()) {
        MsgBoxOK = largeAnswers.front();
        largeAnswers.pop_front();
    }
    return MsgBoxOK;
}

QString ScriptedDialogs::InputBox(const QString& prompt, const QString&, bool) {
    inputs.push_back(prompt);
    if (inputAnswers.empty()) return QString();
    QString a = inputAnswers.front();
    inputAnswers.pop_front();
    return a;
}

}  // namespace zavo::test
