#pragma once
// Starting another program from the tool (the signing tool): its arguments
// as a list, never through a shell, and a secret handed over on its standard
// input instead of its command line, where other users could read it.

#include <string>
#include <vector>

namespace ks::authoring {

struct ProgramResult {
  bool started = false;
  int status = -1;     // the exit status; -1 when it did not end normally
  std::string output;  // standard output and standard error together
  std::string error;   // why it could not be started
};

// Runs argv[0] (searched on PATH) with argv, writes `input` to its standard
// input and closes it, and waits for the program to end.
ProgramResult RunProgram(const std::vector<std::string>& argv, const std::string& input);

}  // namespace ks::authoring
