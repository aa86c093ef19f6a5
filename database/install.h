// What the database engine plugs into the runtime when the program starts.
#pragma once

namespace database {

// Registers the clean-up that closes every open database at shutdown (releasing its locks,
// cutting mapped files back to their contents).
void install();

}  // namespace database
