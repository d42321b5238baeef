// Runs a desktop's file dialog program (zenity or kdialog) without waiting for it, and reads
// the path it prints. The Linux file dialogs of the X11 backend.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "gui/window.h"

namespace vellicor::gui {

class DialogProgram {
 public:
  DialogProgram() = default;
  ~DialogProgram();  // a program still running is ended
  DialogProgram(const DialogProgram&) = delete;
  DialogProgram& operator=(const DialogProgram&) = delete;

  // The command line for the first dialog program found on PATH (zenity, then kdialog); empty
  // when none is installed.
  static std::vector<std::string> CommandLine(bool save, const FileDialogOptions& options);

  // Starts the program with its output read through a pipe; false when it cannot start.
  bool Start(const std::vector<std::string>& argv);
  bool running() const { return pid_ > 0; }
  // Readable when the program writes or ends; -1 when none runs.
  int fd() const { return fd_; }
  // Reads what is there; true once the program has ended, with result() then set.
  bool Poll();
  // The path the program printed when it ended successfully; nothing when cancelled.
  const std::optional<std::string>& result() const { return result_; }
  // Ends the program and forgets it.
  void Kill();

 private:
  void Finish(int status, bool exited);

  int pid_ = -1;
  int fd_ = -1;
  bool eof_ = false;
  std::string output_;
  std::optional<std::string> result_;
};

}  // namespace vellicor::gui
