// Saves given on the command line: dropped on the program, opened with it, or typed after
// its name. Each is cleaned in turn, with the boxes of a save picked in the dialog.
#pragma once

#include <string>
#include <vector>

#include "cleaner/clean.h"

namespace app {

// The arguments of a command line (without the program's name), split as Windows splits
// them: blanks and tabs separate, double quotes group, a backslash escapes a quote (2n
// backslashes before a quote stand for n, 2n + 1 for n and a quote), other backslashes are
// themselves. GBK two-byte characters are taken whole.
std::vector<std::string> SplitArguments(const char* line);

// What the process ends with after the arguments were dealt with, or kShowPicker when they
// name no save (a lone "--"). Cleans every save in turn, the outcome of one never stopping
// the next: 0 when every save was written, 1 when any was not. "--mothballed", "--filth",
// "--tales", "--logs", "--dead" and "--all" set those options in `options` (for the picked
// save too, when no save is named); "--report" reports on each save instead of cleaning it.
// On Windows these are the only options. The Linux program also takes --help, --version
// (exit 0) and "--"; an unknown option gives the usage and exit 2.
constexpr int kShowPicker = -1;

// The Linux program says on standard error where a partial output stays that could not be
// removed (under its temporary name, which no list of saves shows).
void TellLeftBehind(const cleaner::CleanReport& report);
// Sets the options that the settings file "sorrel.ini" in the program's own folder turns
// on: keys "mothballed", "filth", "tales", "logs" and "dead" of section "[options]", 1 on and
// 0 off. Arguments add to them. Where the folder cannot be named, says so in `options`.
void ReadSettings(cleaner::CleanOptions& options);

// "--report": what the save at `save_path` holds and what each run would remove from it,
// nothing written: on standard output (Linux) or in a box (Windows); where the run would
// write nothing, the box it would show. False then, and where the save could not be read
// (its box was shown).
bool ReportSave(const std::string& save_path);

constexpr char kMothballedOption[] = "--mothballed";
constexpr char kReportOption[] = "--report";
int CleanArguments(const std::vector<std::string>& args, cleaner::CleanOptions& options);

}  // namespace app
