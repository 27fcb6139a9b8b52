// The fixed-disk search for the game's marker file "MG_DATA.MBL": a sweep over drives A to Z of
// type fixed disk, each walked depth-first. The finder dialog starts it, supplies the progress
// hook (which pumps waiting messages, so the dialog's abort can set StopSearch) and reads
// FoundDir afterwards.
#pragma once

#include <functional>
#include <string>

// Result and stop flag of the search. They belong to the finder dialog's unit, which reads and
// sets them; they are defined here, once, so the search links and is tested without any window.
extern std::string FoundDir;  // folder whose listing held the marker, as it was walked; "" = none
extern bool StopSearch;       // set by a match or by the user's abort; tested on entry to a walk

extern const char kMarkerFileName[];  // "MG_DATA.MBL"

// Called once per folder about to be listed, with the folder's path as walked.
using SearchProgressHook = std::function<void(const std::string& folder)>;
void SetSearchProgressHook(SearchProgressHook hook);

// Clears StopSearch and FoundDir, then walks the root of every fixed disk from A: to Z: until
// FoundDir is set.
void SearchFixedDisks();

// Walks folder and everything below it; on a match sets StopSearch and FoundDir.
void SearchFolder(const std::string& folder);
