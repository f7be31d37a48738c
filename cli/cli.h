// The hvdv command-line tool: subcommand registration and shared helpers.
//
// Each subcommand lives in its own cmd_<name>.cpp and registers itself with
// a namespace-scope RegisterCommand object, so adding one touches no other
// file:
//
//     static const hvdv_cli::RegisterCommand kRegister{"name", "one-line help", RunName};
#pragma once
#include "scan_text.h"
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace hvdv_cli {

// A subcommand: argv[0] is the subcommand's name; returns the exit status.
using CommandFn = int (*)(int argc, char** argv);

struct Command {
    const char* name;
    const char* summary;  // one line for "hvdv help"
    CommandFn run;
};

// Every registered subcommand, sorted by name.
std::vector<Command>& Commands();

struct RegisterCommand {
    RegisterCommand(const char* name, const char* summary, CommandFn run);
};

// A command's arguments (argv[1] on), one at a time.  An option starts
// with '-' (but "-" alone, standard input, is an operand); "--" is taken
// here and makes everything after it an operand.
class Arguments {
public:
    Arguments(int argc, char** argv) : argc_(argc), argv_(argv) {}
    // The next argument in *arg, *option telling whether it is an option;
    // false after the last.
    bool Next(std::string* arg, bool* option);
    // The value of the option just read: the next argument, whatever it
    // looks like; false when there is none.
    bool Value(std::string* value);

private:
    int argc_;
    char** argv_;
    int next_ = 1;
    bool options_ = true;
};

// Prints "hvdv <command>: <message>" on stderr.
void PrintError(const std::string& command, const std::string& message);

// An open file read in pieces; size known up front.
class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // False with a reason ("No such file or directory") in *error.
    bool Open(const std::string& path, std::string* error);
    uint64_t Size() const { return size_; }
    // Reads up to count bytes from offset; returns the bytes read.
    std::vector<uint8_t> Read(uint64_t offset, size_t count);

private:
    void* file_ = nullptr;
    uint64_t size_ = 0;
};

// The name of a DV format from DVGetInfoEx's formatCode and the frame's
// classification (hvdv::ClassifyFrame), e.g. "DV 25 Mb/s 625/50 4:2:0".
std::string FormatName(int32_t formatCode, uint32_t frameType);

// The progress line of a long command on a terminal (stderr), redrawn at
// most four times a second; nothing when stderr is not a terminal.
class ProgressLine {
public:
    ProgressLine();
    // True when stderr is a terminal and the last line is a quarter of a
    // second old: the caller then formats its text and calls Show.
    bool Due();
    void Show(const std::string& text);
    // Clears the line before other output.
    void Clear();
    // Seconds since the line was made.
    double Seconds() const;

private:
    bool terminal_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_, last_{};
};

// A JSON string literal with quotes and escapes.
using hvdv_scan::JsonString;

}  // namespace hvdv_cli
