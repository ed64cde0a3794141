// The command line's options: their definitions, and the run request they make once parsed.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <vector>

#include "src/app/run_request.h"

namespace quilmark {

enum ExitCode {
  kExitCompleted = 0,
  kExitStopped = 1,  // one of the run's messages stopped it
  kExitUsage = 2,
  kExitHostFailure = 3,  // the workbook could not be read or written
};

// Everything the options fill in, the request first.
struct CommandLine {
  RunRequest request;
  std::vector<std::string> sources;
  std::string land_use, master_plan;  // the methods' names on the command line
  std::string output;                 // -o as typed
  std::string format = "xlsx";
  std::string encoding;    // --encoding as typed; empty: UTF-8, with a byte-order mark in a file
  int office_timeout = 0;  // seconds
  bool live = false, dry_run = false, overwrite = false;
  bool check_area = false;  // only compare each patch's area field with its ellipsoidal area
  // The options whose presence the checks after parsing ask about.
  CLI::Option* land_use_option = nullptr;
  CLI::Option* table_option = nullptr;
  CLI::Option* report_option = nullptr;
};

// Adds every option to the app, each filling its part of `line`.
void DefineOptions(CLI::App& app, CommandLine& line);

// The checks CLI11 cannot express; throws CLI::ParseError.
void CheckParsed(const CLI::App& app, const CommandLine& line);

// Completes the request from what was parsed; the exit code where the command line itself is
// refused (the refusal already printed).
std::optional<ExitCode> FinishRequest(const CLI::App& app, CommandLine& line);

// The exit code of a run that ended so.
ExitCode ExitCodeOf(RunResult::Outcome outcome);
// The same for a whole result: a stop for a useless column is a usage error.
ExitCode ExitCodeOf(const RunResult& result);

}  // namespace quilmark
