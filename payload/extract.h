// Installs one packed payload of the running program into a target file.
#pragma once

#include <string>

// Decodes the RT_RCDATA resource resourceName of the running module into targetPath.
// The decoded bytes go to a new temporary file in the target's folder first; only when that
// file is complete and closed does it replace the target. On any failure the temporary file is
// deleted and the target keeps its previous content.
//   EResNotFound   no such resource (nothing is touched)
//   EFCreateError  the target cannot be created or replaced (message names targetPath)
//   EReadError     the resource is shorter than its header says, or malformed
//   EWriteError    a write did not complete
//   EOutOfMemory   no memory for the decoder's buffers
void ExtractResource(const std::string& resourceName, const std::string& targetPath);
