// Files that this process owns for a while and removes when it ends: the
// private swap folder of the history images and the temporary files written
// beside a target before they replace it.
//
// Every such file is created exclusively (it never opens a file that exists
// already, and never follows a link), so two processes can never write into
// each other's files.  The list of owned files lives once per process (this
// layer is part of libKWPrcDef), so that a termination path can remove all of
// them.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// ---- the swap folder ----

// The process's private folder for history images, with a trailing '/'.
// Made on first use with exclusive creation (mode 0700, a name that holds the
// process id) in the first usable of these places:
//   $TMPDIR (/tmp when TMPDIR is unset or empty),
//   the user's cache folder ($XDG_CACHE_HOME, else ~/.cache) + "/Varoka",
//   the program folder's "UndoData" (not when it was installed),
//   the user's data folder ($XDG_DATA_HOME, else ~/.local/share) + "/Varoka/UndoData".
// A place is used only when it is an absolute path other than the root.  The
// folder stays locked while the process runs, which tells other processes
// that it is in use.  Raises EInOutError naming the places tried when none
// takes the folder.
std::string KWSwapFolder();
// The places above, in order (without the private folder).
std::vector<std::string> KWSwapFolderPlaces();
// Removes the swap folder and its files (the normal end of the process).
void KWRemoveSwapFolder();
// Removes the swap folders that processes of this user left behind when they
// ended without removing them, in every place of KWSwapFolderPlaces; a
// folder whose process still runs is kept.  Returns how many were removed.
int KWRemoveStaleSwapFolders();

// ---- owned temporary files ----

// Creates path exclusively and notes it as owned; the descriptor (close it
// yourself), or -1 with errno set.
int KWCreateOwnedFile(const std::string& path, mode_t mode);
// Makes the folder for owned files when it is missing (false when it cannot
// be made).  Done under the same lock as the creation of owned files, so that
// a folder removed by the end on a signal is never made again behind it.
bool KWMakeOwnedFilesFolder(const std::string& folder);
// Like mkstemp: the trailing "XXXXXX" of pathTemplate become a unique suffix.
// The file is made with mode 0600.
int KWCreateOwnedTempFile(std::string& pathTemplate);
// The file is no longer this process's to remove (renamed into place, or
// removed by the caller).
void KWReleaseOwnedFile(const std::string& path);

// For an end from outside: removes every owned file and the swap folder.
// From then on no owned file can be created any more (the calls above wait
// for good), so call it only on the way out of the process.
void KWRemoveOwnedFilesForExit();
