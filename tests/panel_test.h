#pragma once
// The whole program on fakes with its window, for the tests of the panel and of what drives it.
#include <gtest/gtest.h>

#include <QApplication>

#include "panel/Controls.h"
#include "panel/MainWindow.h"
#include "panel/OptionGroups.h"
#include "panel/PanelEnabling.h"
#include "support/TestProgram.h"

namespace zavo::test {

struct PanelProgram {
    TestProgram tp;
    Ctx& ctx = tp.ctx();
    Settings& s = ctx.settings;
    Controls& ui = *ctx.ui;
    MainWindow& window = *ctx.window;

    // As after an initialization: the panel unlocked and its inputs taken.
    void Unlock() {
        ctx.enabling->Panels_Enable(true);
        ctx.options->Controls_Enable(true);
    }
};

struct Panel : ::testing::Test, PanelProgram {};

}  // namespace zavo::test
