#pragma once
// A file's access list (DACL) carried over to the file that replaces it, so
// that an index the user made private stays private after each save.

#include <string>

#include "platform/os/windows_api.h"

// Whether the access list in descriptor (read with DACL_SECURITY_INFORMATION)
// holds more than the folder passes on: it is cut off from the folder's,
// missing (open to all), or has an entry set on the file itself. False
// when it cannot be read.
bool HasOwnAccess(PSECURITY_DESCRIPTOR descriptor);

// Gives file the access list of model where model has one of its own (see
// HasOwnAccess): a list that model merely inherits, file has inherited too,
// from the same folder. The list goes over as it is stored, with the
// entries the folder passes on, which are file's own inherited ones. Only
// the list: the owner stays whoever made file. Nothing is reported: where
// the list cannot be read (model is missing, the file system keeps none)
// or file cannot take it, file keeps the list it was given when it was made.
void TakeAccessList(const std::u16string& file, const std::u16string& model);
