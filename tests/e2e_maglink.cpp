// The magnetometer link with the companion tool as the magnetometer program:
// first against the program built in this process on the real transport, then
// against the real program binary.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include "e2e_maglink.h"
#include "link/CommLog.h"
#include "maglink/MagLink.h"
#include "maglink/MagTransport.h"
#include "panel/Controls.h"
#include "panel/MainWindow.h"
#include "support/TestProgram.h"

using namespace zavo;

namespace {

const QString kTool = QString(ZAVO_BINARY_DIR) + "/tools/magnetometer-link";

// Runs the event loop (this process serves the link) until done or timeout.
bool Pump(const std::function<bool()>& done, double timeout = 10) {
    for (const double end = e2e::Now() + timeout; !done() && e2e::Now() < end;) {
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

struct Companion {
    explicit Companion(const QString& tmp, const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", tmp);
        env.insert("XDG_RUNTIME_DIR", tmp);
        p.setProcessEnvironment(env);
        p.start(kTool, args);
        p.waitForStarted(5000);
    }
    // The exit code, or -1 when it did not end in time.
    int Finish() {
        Pump([this] { return p.state() == QProcess::NotRunning; });
        return p.state() == QProcess::NotRunning ? p.exitCode() : -1;
    }
    QProcess p;
};

}  // namespace

TEST(MagLinkE2E, CompanionToolAndTheProgramInProcess) {
    // Sockets of this test only: a program running on the machine is left alone.
    QTemporaryDir sockets;
    struct Restore {
        const char* name;
        QByteArray old = qgetenv(name);
        ~Restore() { old.isEmpty() ? qunsetenv(name) : qputenv(name, old); }
    } tmpdir{"TMPDIR"}, runtime{"XDG_RUNTIME_DIR"};
    qputenv("TMPDIR", sockets.path().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", sockets.path().toLocal8Bit());
    const std::string folder = sockets.path().toStdString() + "/zavo";
    test::TestProgram tp;
    Ctx& ctx = tp.ctx();
    ctx.maglink->Transport_Set(MagTransport_System());
    tp.program->window().Form_Load();
    ASSERT_TRUE(ctx.maglink->Serving()) << tp.dialogs.boxes.size();

    Companion step(sockets.path(), {"send", "AD-050"});
    EXPECT_EQ(step.Finish(), 0) << step.p.readAllStandardError().toStdString();
    EXPECT_TRUE(Pump([&] { return ctx.ui->txtACMax->text() == "50"; }));

    // The time stamp of a run reaches a listening magnetometer program.
    Companion listener(sockets.path(), {"listen", "--count", "1"});
    QByteArray said;
    ASSERT_TRUE(
        Pump([&] { return (said += listener.p.readAllStandardError()).contains("listening"); }));
    ctx.maglink->LinkString_Send(TimeStamp_Text(45296.5));
    EXPECT_EQ(listener.Finish(), 0);
    EXPECT_EQ(listener.p.readAllStandardOutput().toStdString(), "45296.5\t8\n");
    // Ended by a termination signal, the listener takes its socket along.
    Companion stopped(sockets.path(), {"listen"});
    said.clear();
    ASSERT_TRUE(
        Pump([&] { return (said += stopped.p.readAllStandardError()).contains("listening"); }));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(folder + "/" + kSendName)));
    stopped.p.terminate();
    EXPECT_EQ(stopped.Finish(), 0);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(folder + "/" + kSendName)));

    // With the program closed, the tool says nobody listens.
    ctx.maglink->Close();
    Companion nobody(sockets.path(), {"send", "AD-060"});
    EXPECT_EQ(nobody.Finish(), 1);
    EXPECT_EQ(ctx.ui->txtACMax->text(), "50");
    // A folder that others may enter is not used, and the tool says why.
    chmod(folder.c_str(), 0755);
    Companion refused(sockets.path(), {"send", "AD-070"});
    EXPECT_EQ(refused.Finish(), 2);
    EXPECT_EQ(refused.p.readAllStandardError().toStdString(),
              "magnetometer-link: the folder " + folder + " is open to other users (mode 0755)\n");
}

TEST(MagLinkE2E, StepThroughTheRealProgram) {
    e2e::AppOptions o;
    o.settings = e2e::SettingsText();
    e2e::App app(o);
    app.Start();
    ASSERT_TRUE(app.WaitReady(60)) << app.Commands() << e2e::FileBytes(app.Output());

    const std::string tool = kTool.toStdString();
    const e2e::fs::path out = app.Temp() / "tool.out";
    // A pulse step: the program switches the controller to pulses.
    const size_t from = app.Commands().size();
    pid_t send = e2e::Spawn({tool, "send", "IRM-5"}, app.Env(), {}, out);
    EXPECT_EQ(e2e::Reap(send, 10), 0) << e2e::FileBytes(out);
    EXPECT_TRUE(e2e::WaitUntil([&] { return app.Commands().substr(from) == "IP M2 "; }, 15))
        << app.Commands().substr(from);
    EXPECT_TRUE(app.WaitReady(10)) << e2e::FileBytes(app.Output());
    app.Screenshot("maglink_pulse_step");

    // A second program started meanwhile says so and leaves the name to the first.
    const e2e::fs::path second = app.Temp() / "second.out";
    pid_t other = e2e::Spawn({(app.Dir() / "zavo").string()}, app.Env(), app.Temp(), second);
    EXPECT_TRUE(app.WaitWindow("Magnetometer Link", 20)) << e2e::FileBytes(second);
    app.Screenshot("maglink_second_program");
    kill(-other, SIGKILL);
    e2e::Reap(other, 5);
    const size_t before = app.Commands().size();
    pid_t again = e2e::Spawn({tool, "send", "AD-020"}, app.Env(), {}, out);
    EXPECT_EQ(e2e::Reap(again, 10), 0) << e2e::FileBytes(out);
    EXPECT_TRUE(e2e::WaitUntil([&] { return app.Commands().substr(before) == "IP M1 "; }, 15))
        << app.Commands().substr(before);
}

TEST(MagLinkE2E, BadPayloadsOpenOneBoxAndCostNoMemory) {
    e2e::AppOptions o;
    o.settings = e2e::SettingsText();
    e2e::App app(o);
    app.Start();
    ASSERT_TRUE(app.WaitReady(60)) << app.Commands() << e2e::FileBytes(app.Output());
    const long before = e2e::ProgramRssKb(app.Dir() / "zavo");
    auto link = e2e::LinkTo(app);
    std::mt19937 rng(19);
    int delivered = 0;
    for (int i = 0; i < 500; ++i)
        delivered += link->Send(kReceiveName, e2e::BadPayload(rng), 1, 5000) ==
                     MagTransport::Sent::Delivered;
    ASSERT_TRUE(app.WaitWindow("Error Receiving Data", 10));
    e2e::WaitUntil([] { return false; }, 1);
    const long after = e2e::ProgramRssKb(app.Dir() / "zavo");
    EXPECT_EQ(e2e::WindowsShown(app, "Error Receiving Data"), 1);
    EXPECT_GT(delivered, 400);
    EXPECT_LT(after - before, 4096) << before << " kB before, " << after << " kB after";

    // Answered once; the failures it stood for are in the daily log, and the link still works.
    app.Key("Return", "Error Receiving Data");
    EXPECT_TRUE(e2e::WaitUntil([&] { return app.FindWindow("Error Receiving Data") == 0; }, 10));
    EXPECT_NE(app.Log().find("Magnetometer link: data transferred incorrectly (" +
                             std::to_string(delivered) + " payloads while it was shown)"),
              std::string::npos)
        << app.Log();
    const size_t from = app.Commands().size();
    EXPECT_EQ(link->Send(kReceiveName, Text_Payload("IRM-5"), 1, 5000),
              MagTransport::Sent::Delivered);
    EXPECT_TRUE(e2e::WaitUntil([&] { return app.Commands().substr(from) == "IP M2 "; }, 15))
        << app.Commands().substr(from);

    // Ended by a termination signal, the program takes its socket along.
    const auto socket = app.Temp() / "zavo" / kReceiveName;
    ASSERT_TRUE(e2e::fs::exists(socket));
    kill(e2e::ProgramPid(app.Dir() / "zavo"), SIGTERM);
    EXPECT_EQ(app.WaitExit(20), 0) << e2e::FileBytes(app.Output());
    EXPECT_FALSE(e2e::fs::exists(socket));
}
