#pragma once
// The settings file: 25 fixed-width lines, CR LF, beside the executable.
// Each line is an 11-character value column followed by a 10-character key;
// the reader goes by line number alone and ignores the keys.

#include <QDate>
#include <QString>
#include <filesystem>
#include <string>

#include "core/State.h"

namespace zavo {

struct Ctx;

// True when all 25 lines were read. On failure the fields read so far keep
// their new values and the others keep what they held.
bool Settings_Load(const std::filesystem::path& file, Settings& s);
// The same from the file's bytes.
bool Settings_Parse(const std::string& data, Settings& s);
// The file's bytes for a record.
std::string Settings_Bytes(const Settings& s);
// Replaces the file atomically (a temporary file in the same folder, flushed
// to disk, renamed over the old one), so a crash mid-save never leaves a
// damaged file. False, with the reason in error, when it cannot; the old
// file is then untouched. A file that is there but cannot be read is never
// replaced.
bool Settings_Save(const std::filesystem::path& file, const Settings& s,
                   std::string* error = nullptr);
// Sets the defaults (and MagMode to 2).
void Settings_Reset(Settings& s, InstrumentState& instr);
// The same, then saves them.
bool Settings_Default(const std::filesystem::path& file, Settings& s, InstrumentState& instr,
                      std::string* error = nullptr);

// Start-up: no file, or a file that does not load -> defaults, written anew.
// A failed write is shown to the operator; the program goes on with the
// defaults. A file that is there but cannot be read is never overwritten:
// the operator is told which and why, and the program runs on the defaults.
void Settings_Startup(Ctx& ctx);
// Saves ctx.settings to the program's settings file; on failure tells the
// operator which file and why. The record in memory is never touched.
bool Settings_SaveChecked(Ctx& ctx);

// "DD-MM-YYYY", independent of the regional settings.
std::string Date_ToText(const QDate& d);
// Reads "DD-MM-YYYY" by position with carrying (month 13, day 0, 31-02),
// two-digit years as 2000..2029 / 1930..1999, and all zeros as 1 Jan 2000.
// An invalid QDate when the result lies outside the years 100..9999.
QDate Date_FromText(const std::string& text);
// The value left-aligned in width characters: blank-padded or cut.
std::string Field_Pad(const std::string& value, int width);
std::string Field_Pad(long long value, int width);
// The numeric-prefix rule: leading blanks skipped, the longest leading part
// that reads as a number ("." as decimal point, optional exponent), 0 when
// there is none.
double Numeric_Prefix(const std::string& text);

}  // namespace zavo
