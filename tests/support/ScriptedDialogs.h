#pragma once
// Dialogs answered from queues (OK / true when empty), each question recorded.
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

#include "dialogs/Dialogs.h"

namespace zavo::test {

struct AskedBox {
    QString prompt;
    int style = 0;
    QString title;
    int timeout = 0;
    QStringList captions;
};

class ScriptedDialogs : public Dialogs {
public:
    int MsgBox_Custom(const QString& prompt, int style, const QString& title, int timeout,
                      const QString& c1, const QString& c2, const QString& c3,
                      const QString& c4) override {
        AskedBox b{prompt, style, title, timeout, {}};
        for (const QString& c : {c1, c2, c3, c4}) if (!c.isEmpty()) b.captions << c;
        boxes.push_back(b);
        if (onAsk) onAsk(b);
        return Next(boxAnswers, int(kOK));
    }
    bool MsgBox_Large(const QString& okCaption, const QString& cancelCaption) override {
        large.push_back({okCaption, cancelCaption});
        return MsgBoxOK = Next(largeAnswers, true);
    }
    QString InputBox(const QString& prompt, const QString&, bool) override {
        inputs.push_back(prompt);
        return Next(inputAnswers, QString());
    }
    void Dismiss() override {}
    std::deque<int> boxAnswers;
    std::deque<bool> largeAnswers;
    std::deque<QString> inputAnswers;
    // Called after a box is recorded, e.g. to act meanwhile.
    std::function<void(const AskedBox&)> onAsk;
    std::vector<AskedBox> boxes;
    std::vector<QStringList> large;  // caption pairs asked
    std::vector<QString> inputs;     // prompts asked

private:
    template <class T>
    static T Next(std::deque<T>& q, T otherwise) {
        if (q.empty()) return otherwise;
        T a = q.front();
        q.pop_front();
        return a;
    }
};

}  // namespace zavo::test
