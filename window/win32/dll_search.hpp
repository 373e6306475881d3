#pragma once

// Where the launcher looks for the DLLs it loads once it runs.
namespace dss::win32 {

// From here on, DLLs loaded by name come from System32 only: never from the
// launcher's folder (the game's, where anyone who can unpack a mod can drop
// a file) or the working folder. Windows without SetDefaultDllDirectories
// (before 8, and 7 or Vista without KB2533623) keeps the launcher's folder
// first; there the working folder at least goes. Call it before anything
// loads a DLL. Throws RuntimeError when the system refuses.
void LoadDllsFromSystemOnly();

} // namespace dss::win32
