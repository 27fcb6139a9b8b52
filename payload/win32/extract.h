// Installs the packed payloads of the running program into their target files, over Win32.
#pragma once

#include <string>
#include <vector>

#include "payload/install.h"

// Installs the RT_RCDATA payloads of the running module (digests in its "SUMS" resource) into
// folder, all or nothing; see InstallPayloads in payload/install.h for the sequence and the
// failures. The folder is fixed for the run by the first call that names it (here or in
// RecoverInterruptedUpdate): made absolute from the current folder then, opened and held.
void InstallPayloads(const std::string& folder, const std::vector<PayloadTarget>& payloads);

// One payload on its own, into the file targetPath names.
void ExtractResource(const std::string& resourceName, const std::string& targetPath);

// Finishes or undoes an update of payloads interrupted in folder (the game folder), where the
// journal's witness vouches for one; nothing for an empty folder.
void RecoverInterruptedUpdate(const std::string& folder, const std::vector<PayloadTarget>& payloads);
