// WinVerifyTrust on the program, and the registry value that holds Smart App
// Control's state.
#include "selftest/signature.h"

#include <windows.h>
#include <softpub.h>
#include <wintrust.h>

namespace flashgate::selftest {
namespace {

// The signature as Windows judges it, without a revocation lookup or any
// other network, which a check on a machine in a workshop may not have.
Signing::Signature Verify(const std::wstring& program, long& error) {
    WINTRUST_FILE_INFO file{};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = program.c_str();
    WINTRUST_DATA trust{};
    trust.cbStruct = sizeof trust;
    trust.dwUIChoice = WTD_UI_NONE;
    // WTD_REVOKE_NONE asks for no checks beyond the policy's own; none at
    // all is WTD_REVOCATION_CHECK_NONE.
    trust.fdwRevocationChecks = WTD_REVOKE_NONE;
    trust.dwUnionChoice = WTD_CHOICE_FILE;
    trust.pFile = &file;
    trust.dwStateAction = WTD_STATEACTION_VERIFY;
    trust.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_NONE;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    error = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &trust);
    // What it found missing, where it says there is no signature.
    const DWORD lastError = GetLastError();
    // The state the verification keeps is let go of whatever it found.
    trust.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &trust);
    return SignatureFromTrust(error, lastError);
}

Signing::SmartAppControl SmartAppControlState() {
    DWORD state = 0, size = sizeof state;
    const bool present = RegGetValueW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\CI\\Policy",
                                      L"VerifiedAndReputablePolicyState", RRF_RT_REG_DWORD, nullptr, &state,
                                      &size) == ERROR_SUCCESS;
    return SmartAppControlFromPolicy(present, state);
}

}  // namespace

Signing ReadSigning(const std::wstring& program) {
    Signing signing;
    signing.signature = Verify(program, signing.error);
    signing.smartAppControl = SmartAppControlState();
    return signing;
}

}  // namespace flashgate::selftest
