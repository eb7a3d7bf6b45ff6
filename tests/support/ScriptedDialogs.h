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
                      const QString& caption1, const QString& caption2, const QString& caption3,
                      const QString& caption4) override;
    bool MsgBox_Large(const QString& okCaption, const QString& cancelCaption) override;
    QString InputBox(const QString& prompt, const QString& title, bool masked) override;
    void Dismiss() override {}
    std::deque<int> boxAnswers;
    std::deque<bool> largeAnswers;
    std::deque<QString> inputAnswers;
    // Called after a box is recorded, e.g. to act meanwhile.
    std::function<void(const AskedBox&)> onAsk;

    std::vector<AskedBox> boxes;
    std::vector<QStringList> large;  // caption pairs asked
    std::vector<QString> inputs;     // prompts asked
};

}  // namespace zavo::test
