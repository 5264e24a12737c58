// The simulator program's stand-in for the place where OBS stores its password: a file with
// the salt and the salted password hash. A restarted simulator given the same password and
// file keeps its salt, as OBS does; a different password gets a new salt, stored in place
// of the old one.
#pragma once

#include <string>

// Fills `salt` with the stored one when the file's hash fits `password`, otherwise with a
// new salt that is then written to the file. False with `error` when the file cannot be
// written.
bool LoadOrStoreSalt(const std::string& path, const std::string& password, std::string& salt, std::string& error);
