#pragma once

struct CliOptions;

// Measures every picture of the command line, several at a time, and prints the results in
// the order the pictures were given. Returns the program's exit status.
int runBatch(const CliOptions& options);
