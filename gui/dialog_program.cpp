#include "gui/dialog_program.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string_view>
#include <thread>

extern char** environ;

namespace vellicor::gui {

namespace {

constexpr size_t kMaxOutput = 64 * 1024;

// The full path of an executable named `name` on PATH, or "".
std::string FindProgram(std::string_view name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return {};
  std::string_view dirs = path;
  while (true) {
    const size_t end = std::min(dirs.find(':'), dirs.size());
    const std::string_view dir = dirs.substr(0, end);
    std::string candidate(dir.empty() ? std::string_view(".") : dir);
    candidate += '/';
    candidate += name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    if (end == dirs.size()) return {};
    dirs.remove_prefix(end + 1);
  }
}

bool HasWildcard(const std::string& s) {
  return s.find_first_of("*?") != std::string::npos;
}

}  // namespace

DialogProgram::~DialogProgram() {
  Kill();
}

std::vector<std::string> DialogProgram::CommandLine(bool save, const FileDialogOptions& options) {
  const std::string pattern = options.pattern.empty() ? "*" : options.pattern;
  const std::string filter_name = options.filter_name.empty() ? pattern : options.filter_name;
  // A preset name like "*.mmp" is a filter on Windows; the programs take it from the filter.
  const std::string name = HasWildcard(options.file_name) ? "" : options.file_name;
  if (std::string zenity = FindProgram("zenity"); !zenity.empty()) {
    std::vector<std::string> argv = {zenity, "--file-selection"};
    if (!options.title.empty()) argv.push_back("--title=" + options.title);
    if (save) {
      argv.push_back("--save");
      argv.push_back("--confirm-overwrite");
    }
    if (!name.empty()) argv.push_back("--filename=" + name);
    argv.push_back("--file-filter=" + filter_name + " | " + pattern);
    argv.push_back("--file-filter=All files | *");
    return argv;
  }
  if (std::string kdialog = FindProgram("kdialog"); !kdialog.empty()) {
    std::vector<std::string> argv = {kdialog};
    if (!options.title.empty()) {
      argv.push_back("--title");
      argv.push_back(options.title);
    }
    argv.push_back(save ? "--getsavefilename" : "--getopenfilename");
    argv.push_back(name.empty() ? "." : name);
    argv.push_back(pattern + "|" + filter_name);
    return argv;
  }
  return {};
}

bool DialogProgram::Start(const std::vector<std::string>& argv) {
  Kill();
  if (argv.empty()) return false;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  const int error = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (error != 0) {
    close(fds[0]);
    return false;
  }
  fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
  pid_ = pid;
  fd_ = fds[0];
  eof_ = false;
  output_.clear();
  result_.reset();
  return true;
}

bool DialogProgram::Poll() {
  if (pid_ <= 0) return false;
  char buffer[4096];
  while (!eof_) {
    const ssize_t n = read(fd_, buffer, sizeof buffer);
    if (n > 0) {
      if (output_.size() < kMaxOutput) output_.append(buffer, static_cast<size_t>(n));
    } else if (n == 0) {
      eof_ = true;
    } else {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) eof_ = true;
      break;
    }
  }
  int status = 0;
  const pid_t done = waitpid(pid_, &status, WNOHANG);
  if (done == pid_) {
    Finish(status, true);
    return true;
  }
  if (done < 0 && errno != EINTR) {
    // Reaped by someone else (a host ignoring SIGCHLD): the end of output says it ended.
    if (eof_) {
      Finish(0, false);
      return true;
    }
  }
  return false;
}

void DialogProgram::Finish(int status, bool exited) {
  // Take what is still in the pipe, then the first line as the path.
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd_, buffer, sizeof buffer)) > 0 && output_.size() < kMaxOutput) {
    output_.append(buffer, static_cast<size_t>(n));
  }
  const bool ok = !exited || (WIFEXITED(status) && WEXITSTATUS(status) == 0);
  std::string path = output_.substr(0, output_.find('\n'));
  if (!path.empty() && path.back() == '\r') path.pop_back();
  result_.reset();
  if (ok && !path.empty()) result_ = path;
  close(fd_);
  fd_ = -1;
  pid_ = -1;
}

void DialogProgram::Kill() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    bool reaped = false;
    for (int i = 0; i < 50 && !reaped; ++i) {
      const pid_t done = waitpid(pid_, &status, WNOHANG);
      reaped = done == pid_ || (done < 0 && errno != EINTR);
      if (!reaped) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (!reaped) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
    }
  }
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  pid_ = -1;
  result_.reset();
}

}  // namespace vellicor::gui
