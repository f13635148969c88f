// Checking a package's Authenticode signature for quarn inspect. Whether one
// is present is read from the PE headers; who made it and whether it holds
// is asked of osslsigncode, where the build can run it.
#pragma once

#include <string>

namespace quarn::tool {

enum class SignatureState {
    kVerified,   // intact, and the certificate chain is trusted
    kUntrusted,  // intact, but the chain ends in a root not trusted here
    kBroken,     // the bytes no longer match the signature, or it does not parse
    kUnchecked,  // present, but cannot be checked here
};

struct SignatureCheck {
    SignatureState state = SignatureState::kUnchecked;
    std::string subject;  // the signer's certificate subject, when known
    std::string detail;   // one line: why it is not verified
};

// Checks the signature of a signed file; caFile, when not empty, is the
// certificate file of the roots to trust instead of the system's.
SignatureCheck CheckSignature(const std::string& path, const std::string& caFile);

}  // namespace quarn::tool
