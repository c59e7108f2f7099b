// Running the built ornsum through the shell, as a user runs it, in a directory of its own.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

// What a command left behind.
struct outcome {
  std::string out, err;  // what reached standard output and standard error
  int status = -1;
};

// A fresh directory for one test, removed with everything in it at the end.
struct scratch {
  scratch() : dir(std::filesystem::temp_directory_path() / "ornsum-test-XXXXXX") {
    if (::mkdtemp(dir.data()) == nullptr) throw std::runtime_error("mkdtemp");
  }
  ~scratch() { std::filesystem::remove_all(dir); }
  scratch(const scratch&) = delete;
  scratch& operator=(const scratch&) = delete;

  void put(const std::string& name, const std::string& bytes) const {
    std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
  }

  // The bytes of a file in the directory; "<absent>" when there is none.
  std::string get(const std::string& name) const {
    std::ifstream in(dir + "/" + name, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return in ? bytes.str() : "<absent>";
  }

  // Runs `sh -c command` in the directory with ornsum on the PATH, $SHIM naming the library of
  // faults, and fd3 and fd4 (when given) as descriptors 3 and 4.
  outcome run(const std::string& command, int fd3 = -1, int fd4 = -1) const {
    pid_t pid = ::fork();
    if (pid == 0) {
      // Out of the way of the descriptors below, so that making fd3 descriptor 3 cannot close it.
      if (fd4 >= 0) fd4 = ::fcntl(fd4, F_DUPFD_CLOEXEC, 10);
      const int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
      if (::chdir(dir.c_str()) != 0 || ::dup2(::open(".out", flags, 0644), 1) < 0 ||
          ::dup2(::open(".err", flags, 0644), 2) < 0 || (fd3 >= 0 && ::dup2(fd3, 3) < 0) ||
          (fd4 >= 0 && ::dup2(fd4, 4) < 0))
        ::_exit(127);
      ::setenv("PATH", (std::string(ORNSUM_DIR ":") + std::getenv("PATH")).c_str(), 1);
      ::setenv("SHIM", SHIM_LIBRARY, 1);
      ::execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
      ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return {get(".out"), get(".err"), WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)};
  }

  std::string dir;
};

// Turns the box characters of a readable UTF-8 rendering into the KOI8-R frame bytes.
inline std::string koi8(const std::string& utf8) {
  // Each box character is three bytes in UTF-8; their order here is that of the frame bytes.
  static const std::string boxes = "─│┌┐└┘├┤┬┴┼";
  std::string bytes;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    std::size_t box = utf8[i] == '\xe2' ? boxes.find(utf8.substr(i, 3)) : std::string::npos;
    bytes += box == std::string::npos ? utf8[i] : static_cast<char>(0x80 + box / 3);
    if (box != std::string::npos) i += 2;
  }
  return bytes;
}
