#pragma once

// Opens /dev/null on any of descriptors 0, 1 and 2 that the program was started without, so
// that no file the program opens later takes their place: reading "-" would then read that
// file, and a message meant for standard error would land in it. Called first thing in main;
// ends the process with status 127 when /dev/null cannot be opened.
void OpenStandardDescriptors();
