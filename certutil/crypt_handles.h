#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <utility>

// Scoped owners of CryptoAPI handles (and of the registry keys the settings
// and the site lock read), released on every way out.
template <class Handle, class Traits>
class ScopedCryptHandle {
 public:
  ScopedCryptHandle() = default;
  explicit ScopedCryptHandle(Handle h) : m_handle(h) {}
  ScopedCryptHandle(ScopedCryptHandle&& other) noexcept : m_handle(std::exchange(other.m_handle, Handle())) {}
  ScopedCryptHandle& operator=(ScopedCryptHandle&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.m_handle, Handle()));
    return *this;
  }
  ScopedCryptHandle(const ScopedCryptHandle&) = delete;
  ScopedCryptHandle& operator=(const ScopedCryptHandle&) = delete;
  ~ScopedCryptHandle() { Reset(); }

  void Reset(Handle h = Handle()) {
    if (m_handle) Traits::Close(m_handle);
    m_handle = h;
  }
  Handle Get() const { return m_handle; }
  Handle* Receive() {
    Reset();
    return &m_handle;
  }
  Handle Release() { return std::exchange(m_handle, Handle()); }
  explicit operator bool() const { return m_handle != Handle(); }

 private:
  Handle m_handle = Handle();
};

struct CertContextTraits {
  static void Close(PCCERT_CONTEXT c) { CertFreeCertificateContext(c); }
};
struct CertStoreTraits {
  static void Close(HCERTSTORE s) { CertCloseStore(s, 0); }
};
struct CryptProvTraits {
  static void Close(HCRYPTPROV p) { CryptReleaseContext(p, 0); }
};
struct CryptKeyTraits {
  static void Close(HCRYPTKEY k) { CryptDestroyKey(k); }
};
struct CryptHashTraits {
  static void Close(HCRYPTHASH h) { CryptDestroyHash(h); }
};
struct ChainEngineTraits {
  static void Close(HCERTCHAINENGINE e) { CertFreeCertificateChainEngine(e); }
};
struct ChainContextTraits {
  static void Close(PCCERT_CHAIN_CONTEXT c) { CertFreeCertificateChain(c); }
};

struct RegKeyTraits {
  static void Close(HKEY k) { RegCloseKey(k); }
};

using ScopedCertContext = ScopedCryptHandle<PCCERT_CONTEXT, CertContextTraits>;
using ScopedCertStore = ScopedCryptHandle<HCERTSTORE, CertStoreTraits>;
using ScopedCryptProv = ScopedCryptHandle<HCRYPTPROV, CryptProvTraits>;
using ScopedCryptKey = ScopedCryptHandle<HCRYPTKEY, CryptKeyTraits>;
using ScopedCryptHash = ScopedCryptHandle<HCRYPTHASH, CryptHashTraits>;
using ScopedChainEngine = ScopedCryptHandle<HCERTCHAINENGINE, ChainEngineTraits>;
using ScopedChainContext = ScopedCryptHandle<PCCERT_CHAIN_CONTEXT, ChainContextTraits>;
using ScopedRegKey = ScopedCryptHandle<HKEY, RegKeyTraits>;
