// A run in the real program leaves its row in the treatment journal.

#include <gtest/gtest.h>

#include <algorithm>

#include "e2e_app.h"
#include "operations/Journal.h"

namespace {

// The bytes of an escaped transcript text ("\r", "\n", "\\", "\"", "\xNN").
std::string Unescape(const std::string& t) {
    std::string out;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] != '\\' || i + 1 >= t.size()) {
            out += t[i];
            continue;
        }
        const char k = t[++i];
        if (k == 'r') out += '\r';
        else if (k == 'n') out += '\n';
        else if (k == 'x' && i + 2 < t.size()) out += char(std::stoi(t.substr(i + 1, 2), nullptr, 16)), i += 2;
        else out += k;
    }
    return out;
}

// The AC field values the controller reported in-band (rising 175, falling 174).
std::vector<int> AcValues(const std::string& sent) {
    std::vector<int> v;
    std::string digits;
    for (unsigned char c : sent) {
        if (c >= '0' && c <= '9') {
            digits += char(c);
            continue;
        }
        if ((c == 174 || c == 175) && !digits.empty()) v.push_back(std::stoi(digits));
        digits.clear();
    }
    return v;
}

}  // namespace

TEST(JournalE2E, ARunLeavesOneRowAndRowsLeftUnwrittenAreSavedAtTheExit) {
    e2e::AppOptions o;
    o.settings = e2e::SettingsText({{"DMGFD", "25"}, {"DMGER", "0"}, {"DMGET", "1"}});
    e2e::App app(o);
    app.Start();
    ASSERT_TRUE(app.WaitReady(60)) << app.Commands() << e2e::FileBytes(app.Output());
    app.Key("Return");
    ASSERT_TRUE(app.WaitCommands("G ", 20)) << app.Commands();
    const std::filesystem::path file = app.Dir() / "journal.csv";
    ASSERT_TRUE(e2e::WaitUntil([&] { return zavo::Journal::Rows_Read(file, 5).size() == 1; }, 60))
        << app.Commands() << e2e::FileBytes(file);
    app.WaitReady(10);
    app.Screenshot("e2e_after_run");

    const QStringList& cols = zavo::Journal::Columns();
    const QStringList row = zavo::Journal::Rows_Read(file, 5).front();
    ASSERT_EQ(row.size(), cols.size()) << e2e::FileBytes(file);
    const auto at = [&](const char* name) { return row[cols.indexOf(name)].toStdString(); };
    EXPECT_EQ(at("mode"), "DEMAGNETIZER");
    EXPECT_EQ(at("method_codes"), "LT-AF-Z");
    EXPECT_EQ(at("outcome"), "done");
    EXPECT_EQ(at("ac_peak_set_mT"), "25");
    const std::vector<int> reported = AcValues(Unescape(e2e::Transcript(app.Transcript(), "TX ", "")));
    ASSERT_FALSE(reported.empty()) << "the controller reported the course in-band";
    EXPECT_EQ(std::stoi(at("ac_peak_reached_mT")), *std::max_element(reported.begin(), reported.end()));
    EXPECT_TRUE(e2e::FileBytes(file).starts_with(cols.join(',').toStdString() + "\r\n"));

    // The journal becomes unwritable (a folder where the file was): the next
    // run's row is kept, and at the exit it goes beside it with a word.
    std::filesystem::rename(file, app.Dir() / "journal-first.csv");
    std::filesystem::create_directory(file);
    const size_t from = app.Commands().size();
    app.Key("Return");
    ASSERT_TRUE(
        e2e::WaitUntil([&] { return app.Commands().find("G ", from) != std::string::npos; }, 20))
        << app.Commands().substr(from);
    // Closing is refused until the run has ended.
    ASSERT_TRUE(e2e::WaitUntil([&] { return app.Close() && app.WaitWindow("Exiting ", 1); }, 60));
    app.Key("alt+y", "Exiting ");
    ASSERT_TRUE(app.WaitWindow("Journal Not Written", 20)) << e2e::FileBytes(app.Output());
    app.Screenshot("e2e_journal_not_written");
    app.Key("Return", "Journal Not Written");
    EXPECT_EQ(app.WaitExit(20), 0) << e2e::FileBytes(app.Output());
    const auto kept = zavo::Journal::Rows_Read(app.Dir() / "journal-unsaved.csv", -1);
    ASSERT_EQ(kept.size(), 1u) << e2e::FileBytes(app.Dir() / "journal-unsaved.csv");
    EXPECT_EQ(kept[0][cols.indexOf("outcome")].toStdString(), "done");
}
