// The program's entry: DLL search restricted, COM for the only thread, then
// the start-up routine.
#include <windows.h>

#include "gate/modMain.h"
#include "win/com_holders.h"
#include "win/dll_search.h"
#include "win/windows_gate.h"
#include "win/wmi_board_records.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before COM, WMI or the notice load anything by name.
    flashgate::win::RestrictDllSearchToSystem32();
    // Declared first, so that COM stays initialised until Main has released
    // every object it made.
    const flashgate::win::ComApartment com(COINIT_APARTMENTTHREADED);
    flashgate::win::WmiBoardRecords wmi;
    flashgate::win::WindowsGate gate;
    return static_cast<int>(flashgate::Main(wmi, gate));
}
