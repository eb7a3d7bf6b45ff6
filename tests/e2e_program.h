#pragma once
// The program's logic on the real clock and the Qt serial port, against the
// virtual controller linked as its COM1.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <memory>

#include "app/Program.h"
#include "core/Clock.h"
#include "e2e_harness.h"
#include "link/CommandLink.h"
#include "link/QtSerialPort.h"
#include "support/FakeSound.h"
#include "support/ScriptedDialogs.h"

namespace zavo {

struct LinkRig {
    explicit LinkRig(std::vector<std::string> args) {
        c.EndProgram = [] {};
        Start(std::move(args));
    }
    // (Re)starts the controller with these options and opens the port to it.
    void Start(std::vector<std::string> args) {
        port.Close();
        tool.reset();
        args.insert(args.end(), {"--link", dir + "/ports/COM1", "--transcript", dir + "/vc.log"});
        tool = std::make_unique<e2e::Tool>(args);
        EXPECT_TRUE(port.Open(1)) << port.LastError();
    }
    double Run(std::initializer_list<const char*> cmds, bool show = false) {
        const double t0 = e2e::Now();
        for (const char* cmd : cmds) c.cmd->Command_Execute(cmd, show, false);
        return e2e::Now() - t0;
    }
    QTemporaryDir tmp;
    const std::string dir = tmp.path().toStdString();
    std::unique_ptr<e2e::Tool> tool;
    RealClock clock;
    test::FakeSound sound;
    test::ScriptedDialogs dialogs;
    QtSerialPort port{dir + "/ports"};
    Program program{dir, clock, sound, dialogs, port};
    Ctx& c = program.ctx();
};

}  // namespace zavo
