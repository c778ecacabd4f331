#pragma once
// Starting other programs of the desktop: the file manager and the sound
// player. Each operating system has its own implementation file.

#include <string>
#include <vector>

namespace bq {

// Opens the folder in the desktop's file manager without waiting for it.
// Quietly does nothing when there is none.
void OpenFolderInFileManager(const std::string& folder);

// Starts playing the sound file and returns at once. False when no player
// could be started.
bool PlaySoundFile(const std::string& file);

// Starts argv[0] (looked up on PATH) fully detached: the caller never waits
// for it and no zombie is left. False when the program is not found.
bool SpawnDetached(const std::vector<std::string>& argv);

// The full path of a program on PATH, or empty.
std::string FindOnPath(const std::string& program);

}  // namespace bq
