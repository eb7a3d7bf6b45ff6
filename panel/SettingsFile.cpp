// Placeholder until this subsystem is built.
#include "panel/SettingsFile.h"

namespace zavo {

bool Settings_Load(const std::filesystem::path&, Settings&) { return false; }
bool Settings_Save(const std::filesystem::path&, const Settings&, std::string*) { return true; }
bool Settings_Default(const std::filesystem::path&, Settings& s, InstrumentState& i, std::string*) {
    s = Settings{};
    i.MagMode = 2;
    return true;
}
std::string Date_ToText(const QDate&) { return {}; }
QDate Date_FromText(const std::string&) { return QDate(2000, 1, 1); }
std::string Field_Pad(const std::string& v, int) { return v; }
double Numeric_Prefix(const std::string&, bool*) { return 0; }

}  // namespace zavo
