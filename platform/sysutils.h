// Runtime helpers: rounding as the pixel arithmetic needs it, the tick
// count, file search with wildcards, paths of the program folder, the
// logged-on user.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Nearest integer, halves to even (the rounding of every computed pixel,
// size and progress value).
int64_t Round(long double v);
// Cut toward zero.
int64_t Trunc(long double v);

// Milliseconds since an arbitrary fixed point; wraps like a 32-bit counter.
uint32_t GetTickCount();

// Wildcard match of a file name: "*" any run, "?" one character, without
// regard to case.
bool MatchesMask(std::string_view name, std::string_view mask);

struct TSearchRec {
  std::string Name;  // the entry's name, no folder
  int64_t Size = 0;
  bool Directory = false;
  int64_t Time = 0;  // modification time, seconds since the epoch
};
// Entries of the folder part of mask whose names match its last part, in
// the order the file system returns them; "." and ".." are included where
// the mask matches them, like a directory listing of the platform does.
std::vector<TSearchRec> FindFiles(const std::string& mask);

// Folder of the running executable, with a trailing '/'.
std::string ExecutableDir();
// Overrides ExecutableDir (tests, and packages loaded into a test host).
void SetExecutableDir(const std::string& dir);
// True when the program folder was installed (the installation puts the
// file "installed.txt" into it): nothing is written there, even by root.
bool ProgramFolderInstalled();
// Name of the logged-on user; empty when the system cannot tell.
std::string LoggedOnUserName();

std::string ExtractFileExt(std::string_view path);   // ".bmp", or empty
std::string ExtractFileName(std::string_view path);  // "a.bmp"
std::string ExtractFilePath(std::string_view path);  // "/x/y/" with trailing '/'
std::string ChangeFileExt(std::string_view path, std::string_view ext);
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// Creates the folder and its missing parents; false on failure.
bool ForceDirectories(const std::string& path);
bool DeleteFile(const std::string& path);

// Text of a float with at most 15 significant digits in its shortest form,
// "E" exponent for very large or small values (the platform's FloatToStr).
std::string FloatToStr(long double v);
