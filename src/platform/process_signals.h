#pragma once

// Makes a write that breaks a pipe or passes the file-size limit fail with EPIPE or EFBIG, so it
// is reported like any failed write, instead of ending the program with the list in memory.
// Called once at start by every program.
void IgnoreWriteSignals();
