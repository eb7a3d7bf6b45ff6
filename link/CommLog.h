#pragma once
// The daily communication log: one record per completed reply.

#include <QString>
#include <filesystem>
#include <fstream>
#include <string>

namespace zavo {

struct Ctx;

class CommLog {
  public:
    explicit CommLog(Ctx& ctx);
    // Opens the file for appending (bytes as they are); false when it cannot
    // be opened. A log already open is closed first.
    bool Open(const std::filesystem::path& file);
    // Why the last Open failed, for the operator: "LOG FILE CANNOT BE OPENED:"
    // with the path as it is and the system's reason. Empty after a
    // successful Open.
    QString Failure() const { return failure_; }
    void Close();
    bool IsOpen() const;
    std::filesystem::path File() const { return file_; }
    // Writes "<short time> <text>" CR LF; text holds only characters <= 128.
    // Nothing happens while no log is open.
    void Record(const std::string& text);

  private:
    Ctx& ctx_;
    std::ofstream out_;
    std::filesystem::path file_;
    QString failure_;
};

}  // namespace zavo
