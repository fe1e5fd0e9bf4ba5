// The installer's Authenticode signature: whether it carries one with certificates, and whether
// the platform trusts it. Only a verification that reports success, with a signer chain that
// ends in a trusted root, lets an installer start.
#pragma once

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
