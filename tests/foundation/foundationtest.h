#pragma once

#include <string>
#include <vector>

void WRITEFILE(const std::string& path, const std::string& text);
std::string READFILE(const std::string& path);
std::vector<std::string> SPLITLINES(const std::string& text);

void BEGINCAPTURE();
std::string ENDCAPTURE();

void RESTARTTESTVIDEO(int width, int height);

void MAKEDATAFOLDER(const std::vector<std::string>& leaveOut);
