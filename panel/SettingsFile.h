#pragma once
// The settings file: 25 fixed-width lines, CR LF, beside the executable.

#include <QDate>
#include <QString>
#include <filesystem>
#include <string>

#include "core/State.h"

namespace zavo {

// True when all 25 lines were read. On failure the fields read so far keep
// their new values.
bool Settings_Load(const std::filesystem::path& file, Settings& s);
// Replaces the file atomically; false (with error set) when it cannot.
bool Settings_Save(const std::filesystem::path& file, const Settings& s,
                   std::string* error = nullptr);
// Sets the defaults (and MagMode to 2) and saves them.
bool Settings_Default(const std::filesystem::path& file, Settings& s, InstrumentState& instr,
                      std::string* error = nullptr);

std::string Date_ToText(const QDate& d);
QDate Date_FromText(const std::string& text);
std::string Field_Pad(const std::string& value, int width);
// The numeric-prefix rule: leading blanks skipped, the longest leading part
// that reads as a number ("." as decimal point), 0 when there is none.
double Numeric_Prefix(const std::string& text, bool* found = nullptr);

}  // namespace zavo
