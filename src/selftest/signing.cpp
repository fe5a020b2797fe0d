// The signature and Smart App Control, from Windows' answers to the report's words.
#include "selftest/signing.h"

#include "selftest/expectation.h"

namespace flashgate::selftest {

Signing::SmartAppControl SmartAppControlFromPolicy(bool present, unsigned long state) {
    // 0 off, 1 on (enforcing), 2 evaluating; Windows without Smart App
    // Control has no such value, and a value it does not document says nothing.
    switch (present ? state : 3) {
    case 0: return Signing::SmartAppControl::Off;
    case 1: return Signing::SmartAppControl::On;
    case 2: return Signing::SmartAppControl::Evaluation;
    default: return Signing::SmartAppControl::NotReported;
    }
}

Signing::Signature SignatureFromTrust(long status, unsigned long lastError) {
    constexpr unsigned long kNoSignature = 0x800B0100, kSubjectFormUnknown = 0x800B0003, kProviderUnknown = 0x800B0001;
    // An HRESULT, however wide a long is here.
    switch (static_cast<unsigned long>(status) & 0xFFFFFFFFu) {
    case 0: return Signing::Signature::Trusted;
    case kNoSignature:
        return lastError == kNoSignature || lastError == kSubjectFormUnknown || lastError == kProviderUnknown
                   ? Signing::Signature::None
                   : Signing::Signature::Unverified;
    // A signature that is there and not valid: an untrusted root, a changed
    // file, a revoked or distrusted signer.
    default: return Signing::Signature::Untrusted;
    }
}

std::wstring DescribeSigning(const Signing& signing) {
    using Signature = Signing::Signature;
    using SmartAppControl = Signing::SmartAppControl;
    const std::wstring error = L" (error 0x" + Hex(static_cast<unsigned long>(signing.error) & 0xFFFFFFFFu) + L")";
    const std::wstring blocked =
        L": with Smart App Control on, Windows 11 runs it only where Microsoft's cloud service predicts it safe, and "
        L"blocks it otherwise";
    const std::wstring signature =
        signing.signature == Signature::Trusted     ? L"flashgate.exe is signed, and Windows trusts the signature"
        : signing.signature == Signature::None      ? L"flashgate.exe is not signed" + blocked
        : signing.signature == Signature::Untrusted ? L"flashgate.exe is signed, but Windows does not trust the "
                                                      L"signature" + error + blocked
                                                    : L"Windows could not verify flashgate.exe's signature, or read "
                                                      L"the file" + error + blocked;
    const wchar_t* control = signing.smartAppControl == SmartAppControl::On    ? L"on"
                             : signing.smartAppControl == SmartAppControl::Off ? L"off"
                             : signing.smartAppControl == SmartAppControl::Evaluation
                                 ? L"evaluating this Windows (it may turn itself on)"
                                 : L"not reported by this Windows";
    return signature + L"; Smart App Control: " + control;
}

}  // namespace flashgate::selftest
