#pragma once
// The daily communication log: one record per completed reply.

#include <filesystem>
#include <fstream>
#include <string>

namespace zavo {

struct Ctx;

class CommLog {
public:
    explicit CommLog(Ctx& ctx);
    // Opens the file for appending; false when it cannot be opened.
    bool Open(const std::filesystem::path& file);
    void Close();
    bool IsOpen() const;
    // Writes "<short time> <text>" CR LF; text holds only characters <= 128.
    void Record(const std::string& text);

private:
    Ctx& ctx_;
    std::ofstream out_;
};

}  // namespace zavo
