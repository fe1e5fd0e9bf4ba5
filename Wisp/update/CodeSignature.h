// The installer's Authenticode signature: whether it carries one with certificates, whether the
// platform trusts it, and whether its signer is the one who signed this library. Only a
// verification that reports success, with a signer chain that ends in a trusted root, by the
// same publisher, lets an installer start.
#pragma once

#include <string>

#include "common/com/Handle.h"

// True when the file's embedded signature holds at least one certificate. Asked of the old
// signed-code automation object where it exists, otherwise of the platform's signature query.
// Double quotes in the path are dropped.
bool HasCertificates(const char* path);

// WinVerifyTrust (generic Authenticode action, no revocation checks) on the file, with user
// interface for every result when showUI, otherwise only for bad ones; then the signer's chain
// must be trusted under the Authenticode policy. With `held`, the file stays open there, with
// writes and deletion denied, from before the check until the caller lets go: what was checked
// is what gets started.
bool VerifyTrust(const char* path, bool showUI, UniqueFile* held = nullptr);

// True when the installer's signer certificate has the same subject and the same public key as
// the signer of `reference` (the running Wisp.dll, RunningModulePath): only the maker's own
// programs are started, not any program some trusted root vouches for. A reference without a
// signature refuses every installer. Double quotes in the paths are dropped.
bool SamePublisher(const char* installer, const char* reference);

// The file this code runs from (Wisp.dll, or a program it is built into); empty when unknown.
std::string RunningModulePath();
