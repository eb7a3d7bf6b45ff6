#include "support/ScriptedDialogs.h"

namespace zavo::test {

namespace {
template <class T>
T Next(std::deque<T>& q, T otherwise) {
    if (q.empty()) return otherwise;
    T a = q.front();
    q.pop_front();
    return a;
}
}  // namespace

int ScriptedDialogs::MsgBox_Custom(const QString& prompt, int style, const QString& title,
                                   int timeout, const QString& caption1, const QString& caption2,
                                   const QString& caption3, const QString& caption4) {
    AskedBox b{prompt, style, title, timeout, {}};
    for (const QString& c : {caption1, caption2, caption3, caption4})
        if (!c.isEmpty()) b.captions << c;
    boxes.push_back(b);
    if (onAsk) onAsk(b);
    return Next(boxAnswers, int(kOK));
}

bool ScriptedDialogs::MsgBox_Large(const QString& okCaption, const QString& cancelCaption) {
    large.push_back({okCaption, cancelCaption});
    return MsgBoxOK = Next(largeAnswers, true);
}

QString ScriptedDialogs::InputBox(const QString& prompt, const QString&, bool) {
    inputs.push_back(prompt);
    return Next(inputAnswers, QString());
}

}  // namespace zavo::test
