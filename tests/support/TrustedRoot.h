// A test root in the machine's trusted root store for the holder's life, for the suites that
// check certificates for real (installers, mail servers over TLS).
#pragma once

#include <string>

namespace testing_support {

class TrustedRoot {
public:
    // derFile: the root certificate, DER encoded.
    explicit TrustedRoot(const std::string& derFile);
    ~TrustedRoot();
    TrustedRoot(const TrustedRoot&) = delete;
    TrustedRoot& operator=(const TrustedRoot&) = delete;
    bool Added() const { return m_added; }

private:
    std::string m_key;
    bool m_added = false;
};

}  // namespace testing_support
