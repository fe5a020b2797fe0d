// What Windows says of flashgate.exe's Authenticode signature and of Smart
// App Control, in the report head's words. Plain C++, no Windows: the
// Windows side reads the answers (signature.cpp), and the native tests hold
// the words to them.
#pragma once

#include <string>

namespace flashgate::selftest {

// What Windows says of flashgate.exe's Authenticode signature, and of Smart
// App Control, which on Windows 11 lets a program run where it carries a
// valid signature from a trusted provider or where Microsoft's cloud service
// predicts it safe, and blocks it otherwise, with no exception for one program.
struct Signing {
    enum class Signature {
        Trusted,
        None,        // the file carries no signature
        Untrusted,   // a signature Windows does not trust
        Unverified,  // Windows could not tell: a signature it cannot read, or a file it could not
    } signature = Signature::None;
    long error = 0;  // WinVerifyTrust's answer, where not trusted
    enum class SmartAppControl { NotReported, Off, On, Evaluation } smartAppControl = SmartAppControl::NotReported;
};

// The signature from WinVerifyTrust's answer and, where it says there is
// none, the last error it left: only TRUST_E_NOSIGNATURE,
// TRUST_E_SUBJECT_FORM_UNKNOWN or TRUST_E_PROVIDER_UNKNOWN there mean that
// the file carries none.
Signing::Signature SignatureFromTrust(long status, unsigned long lastError);

// Smart App Control's state from the registry value Microsoft documents for
// it, VerifiedAndReputablePolicyState, where there is one.
Signing::SmartAppControl SmartAppControlFromPolicy(bool present, unsigned long state);

// The report head's line about it.
std::wstring DescribeSigning(const Signing& signing);

}  // namespace flashgate::selftest
