// Running the built ornsum as a user would, in a directory of its own, and collecting what it did.
#pragma once

#include <string>
#include <vector>

// How standard output is set up for a run.
enum class output { file, closed, broken_pipe, appended, descriptor };

// One invocation of the program.
struct launch {
  std::vector<std::string> args = {};
  output stdout_kind = output::file;
  std::string stdout_path = {};       // with output::appended: the file standard output appends to
  int stdout_fd = -1;                 // with output::descriptor: the descriptor standard output is
  std::vector<std::string> env = {};  // extra NAME=value settings
  long address_space_kib = 0;         // a limit on the address space, as ulimit -v sets it
};

// What a run left behind.
struct outcome {
  std::string out;
  std::string err;
  int status = -1;
  long peak_kib = 0;  // peak resident memory
};

// A fresh temporary directory, removed with everything in it at the end of the test.
class scratch {
 public:
  scratch();
  ~scratch();
  scratch(const scratch&) = delete;
  scratch& operator=(const scratch&) = delete;

  // The absolute path of a name inside the directory.
  std::string path(const std::string& name) const;
  // Writes a file inside the directory.
  void put(const std::string& name, const std::string& bytes) const;
  // Reads a file inside the directory; "<absent>" when there is none.
  std::string get(const std::string& name) const;
  // Runs ornsum with the directory as working directory.
  outcome run(const launch& l) const { return wait(start(l), l); }
  // Starts ornsum with the directory as working directory.
  int start(const launch& l) const;
  // Waits for a started ornsum to end.
  outcome wait(int pid, const launch& l) const;

 private:
  std::string dir_;
};

// Turns the box-drawing characters of a readable UTF-8 rendering into the KOI8-R frame bytes.
std::string koi8(const std::string& utf8);
