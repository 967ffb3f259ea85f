// Helpers for the foundation tests: small files in the scratch folder,
// standard-output capture at the file-descriptor level, and a private data
// folder with chosen files left out. Test code only, main thread only.
#pragma once

#include <string>
#include <vector>

// Writes TEXT byte for byte to PATH (relative to the working directory).
void WRITEFILE(const std::string& path, const std::string& text);
// Whole file as bytes; empty when it cannot be read.
std::string READFILE(const std::string& path);
// Lines of TEXT without their line ends.
std::vector<std::string> SPLITLINES(const std::string& text);

// Sends everything written to standard output into a file until ENDCAPTURE,
// which returns what was written.
void BEGINCAPTURE();
std::string ENDCAPTURE();

// Starts the dummy display like STARTTESTVIDEO, first closing the font a
// previous start in this process opened.
void RESTARTTESTVIDEO(int width, int height);

// Replaces the scratch folder's data link by a real folder holding copies
// of the repository's data files, except those named in LEAVEOUT.
void MAKEDATAFOLDER(const std::vector<std::string>& leaveOut);
