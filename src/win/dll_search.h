// Keeps DLLs that lie beside the program or in the current folder from being
// loaded in place of the system's own.
#pragma once

namespace flashgate::win {

// Limits the search for DLLs loaded by name to System32. Call it first, before
// anything can load a DLL. The search for programs is not affected: process
// creation still finds the flash utility beside this program.
void RestrictDllSearchToSystem32();

}  // namespace flashgate::win
