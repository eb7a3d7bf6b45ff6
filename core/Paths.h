#pragma once

#include <filesystem>

namespace zavo {

// Everything the program reads or writes lies below the executable's folder.
struct ProgramPaths {
    std::filesystem::path dir;

    std::filesystem::path SettingsFile() const { return dir / "ZAVO.sav"; }
    std::filesystem::path MonDir() const { return dir / "mon"; }
    std::filesystem::path SoundsDir() const { return dir / "sounds"; }
    std::filesystem::path PicsDir() const { return dir / "pics"; }
    std::filesystem::path PortsDir() const { return dir / "ports"; }
    std::filesystem::path Sound(const char* name) const { return SoundsDir() / name; }
    std::filesystem::path Picture(const char* name) const { return PicsDir() / name; }
};

}  // namespace zavo
