// The command line's own words in Chinese: the help screen's headings, the method lists with the
// window's captions, and the usage errors. Option names stay as they are typed.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "src/app/messages.h"
#include "src/app/run_options.h"

namespace quilmark {

// The name of the workbooks or layers to sum, in the help's usage line and in errors.
inline constexpr const char* kSourceName = "工作簿或图层";

// Gives the app the Chinese help screen (headings, the help and version flags, a closing note
// with an example and the exit codes) and Chinese usage errors. Call before adding options.
void UseChineseText(CLI::App& app);

// A usage error as the user reads it: what is wrong in Chinese, naming the option and value typed,
// then where to find the options.
std::string UsageErrorText(const CLI::App& app, const CLI::Error& error);

// A column option a worksheet cannot take, as the user reads it: the run's own message, then the
// option and the value typed and what is allowed. `stop` is one of the bad-column stops.
std::string BadColumnOptionText(StopReason stop, const RunOptions& options);

// An option's description followed by one line per method: its name on the command line and the
// caption of its choice in the window, in the window's order. Each pair is (method name, control):
// the name of the window's control, or the caption itself where the window lists the method.
std::string MethodsDescription(const std::string& lead,
                               std::vector<std::pair<std::string, std::string>> methods);

// Accepts one of the methods, each pair (method name, control) as for MethodsDescription, by its
// name or by the caption the window shows it with, which it rewrites to the name. The error
// suggests the nearest name, where one is near, and lists them all.
CLI::Validator MethodOneOf(std::vector<std::pair<std::string, std::string>> methods);

// Of the candidates, the one `typed` most likely misspells: the nearest by edits of characters
// (not bytes), where it is near enough to be meant; nullopt otherwise.
std::optional<std::string> NearestName(const std::string& typed,
                                       const std::vector<std::string>& candidates);

// Accepts a whole number from low to high.
CLI::Validator WholeNumberFrom(int low, int high);

}  // namespace quilmark
