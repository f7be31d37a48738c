// Creating the files a command writes.
#pragma once
#include <cstdio>
#include <string>

namespace hvdv_input {

// Opens path for writing, created anew; an existing file is kept (error
// "exists (--force overwrites it)") unless force.  Null with the reason in
// *error ("cannot write: ...").
FILE* CreateOutputFile(const std::string& path, bool force, std::string* error);

}  // namespace hvdv_input
