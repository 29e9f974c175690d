// A command-line program's start, the same on every system: its arguments in
// UTF-8, as every path inside the program is, and its standard output and
// error in binary, so that what it prints has the same bytes everywhere.
// Windows hands main its arguments in the ANSI code page, where letters
// outside it are lost: there they are read again from the wide command line.
#pragma once

namespace platform {

// Call first in main. Returns argv itself where it is UTF-8 already;
// otherwise an array that lives as long as the process (argc then counts
// it).
char** StartCommandLine(int& argc, char** argv);

}  // namespace platform
