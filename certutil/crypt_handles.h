#pragma once
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wincrypt.h>
#include <winscard.h>
#include <ncrypt.h>

#include <type_traits>
#include <utility>

// The one set of scoped owners of platform resources: CryptoAPI handles,
// registry keys, kernel handles, blocks the smart-card manager or COM
// allocated, COM references, BSTRs, VARIANTs and SAFEARRAY locks. Each
// resource is released on every way out. Giving up ownership is always
// called Detach.
//
// A traits type names how to close a handle; it may also name the value that
// means "no handle" (`static Handle Invalid()`), for handle kinds whose empty
// value is not zero (kernel file handles use INVALID_HANDLE_VALUE).

namespace owners_detail {
template <class Traits, class Handle, class = void>
struct InvalidOf {
  static Handle Value() { return Handle(); }
};
template <class Traits, class Handle>
struct InvalidOf<Traits, Handle, std::void_t<decltype(Traits::Invalid())>> {
  static Handle Value() { return Traits::Invalid(); }
};

// Hands a raw result to its owner: std::unique_ptr's reset or our Reset.
template <class Owner, class = void>
struct HasLowerReset : std::false_type {};
template <class Owner>
struct HasLowerReset<Owner, std::void_t<decltype(std::declval<Owner&>().reset())>> : std::true_type {};
template <class Owner, class Pointer>
void Adopt(Owner& owner, Pointer raw) {
  if constexpr (HasLowerReset<Owner>::value) {
    owner.reset(raw);
  } else {
    owner.Reset(raw);
  }
}
}  // namespace owners_detail

template <class Handle, class Traits>
class ScopedHandle {
 public:
  using pointer = Handle;

  ScopedHandle() = default;
  explicit ScopedHandle(Handle h) : m_handle(h) {}
  ScopedHandle(ScopedHandle&& other) noexcept : m_handle(std::exchange(other.m_handle, Invalid())) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.m_handle, Invalid()));
    return *this;
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ~ScopedHandle() { Reset(); }

  static Handle Invalid() { return owners_detail::InvalidOf<Traits, Handle>::Value(); }

  void Reset(Handle h = Invalid()) {
    if (IsValid(m_handle)) Traits::Close(m_handle);
    m_handle = h;
  }
  Handle Get() const { return m_handle; }
  // Empties the owner and returns the slot a function writes its result to.
  Handle* Receive() {
    Reset();
    return &m_handle;
  }
  // Gives up ownership: the caller now releases the handle.
  [[nodiscard]] Handle Detach() { return std::exchange(m_handle, Invalid()); }
  // Releases the handle now and answers what the platform said (for traits
  // whose Close returns it), for a caller that reports a failed release.
  // The owner is empty either way: a release that failed is never tried
  // again, as the platform may have freed the handle all the same.
  auto CloseReporting() { return Traits::Close(std::exchange(m_handle, Invalid())); }
  explicit operator bool() const { return IsValid(m_handle); }

 private:
  static bool IsValid(Handle h) { return h != Handle() && h != Invalid(); }

  Handle m_handle = Invalid();
};

// Lets a function that returns its result through an out-parameter write it
// straight into its owner: `f(OutParam(owner))` in place of
// `T* raw = nullptr; f(&raw); Owner p(raw);`. The owner takes the result
// when the adaptor goes out of scope, at the end of the full expression.
template <class Owner>
class OutParamT {
 public:
  using Pointer = typename Owner::pointer;

  explicit OutParamT(Owner& owner) : m_owner(owner) {}
  OutParamT(const OutParamT&) = delete;
  OutParamT& operator=(const OutParamT&) = delete;
  ~OutParamT() { owners_detail::Adopt(m_owner, m_raw); }

  operator Pointer*() { return &m_raw; }

 private:
  Owner& m_owner;
  Pointer m_raw = nullptr;
};

template <class Owner>
OutParamT<Owner> OutParam(Owner& owner) {
  return OutParamT<Owner>(owner);
}

struct CertContextTraits {
  static void Close(PCCERT_CONTEXT c) { CertFreeCertificateContext(c); }
};
struct CertStoreTraits {
  static void Close(HCERTSTORE s) { CertCloseStore(s, 0); }
};
struct CryptProvTraits {
  static BOOL Close(HCRYPTPROV p) { return CryptReleaseContext(p, 0); }
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
// A key storage provider or one of its keys, opened through NCrypt.
struct NCryptObjectTraits {
  static SECURITY_STATUS Close(NCRYPT_HANDLE h) { return NCryptFreeObject(h); }
};
struct RegKeyTraits {
  static void Close(HKEY k) { RegCloseKey(k); }
};
// Kernel handles whose failure value is null (threads, events).
struct KernelHandleTraits {
  static void Close(HANDLE h) { CloseHandle(h); }
};
// Kernel handles whose failure value is INVALID_HANDLE_VALUE (CreateFile).
struct FileHandleTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
// A module loaded with LoadLibrary.
struct ModuleTraits {
  static void Close(HMODULE m) { FreeLibrary(m); }
};
struct CardContextTraits {
  static LONG Close(SCARDCONTEXT c) { return SCardReleaseContext(c); }
};
// A SafeArrayLock taken so that an array's data stays where it is (the
// array can be neither resized nor destroyed) while a call reads it.
struct SafeArrayLockTraits {
  static void Close(SAFEARRAY* a) { SafeArrayUnlock(a); }
};
struct SafeArrayTraits {
  static void Close(SAFEARRAY* a) { SafeArrayDestroy(a); }
};
// A block from LocalAlloc, or one a function allocated that way for its
// caller (FormatMessage with FORMAT_MESSAGE_ALLOCATE_BUFFER).
struct LocalMemTraits {
  static void Close(HLOCAL p) { LocalFree(p); }
};

using ScopedCertContext = ScopedHandle<PCCERT_CONTEXT, CertContextTraits>;
using ScopedCertStore = ScopedHandle<HCERTSTORE, CertStoreTraits>;
using ScopedCryptProv = ScopedHandle<HCRYPTPROV, CryptProvTraits>;
using ScopedCryptKey = ScopedHandle<HCRYPTKEY, CryptKeyTraits>;
using ScopedCryptHash = ScopedHandle<HCRYPTHASH, CryptHashTraits>;
using ScopedChainEngine = ScopedHandle<HCERTCHAINENGINE, ChainEngineTraits>;
using ScopedChainContext = ScopedHandle<PCCERT_CHAIN_CONTEXT, ChainContextTraits>;
using ScopedNCryptProv = ScopedHandle<NCRYPT_PROV_HANDLE, NCryptObjectTraits>;
using ScopedNCryptKey = ScopedHandle<NCRYPT_KEY_HANDLE, NCryptObjectTraits>;
using ScopedRegKey = ScopedHandle<HKEY, RegKeyTraits>;
using ScopedKernelHandle = ScopedHandle<HANDLE, KernelHandleTraits>;
using ScopedFileHandle = ScopedHandle<HANDLE, FileHandleTraits>;
using ScopedCardContext = ScopedHandle<SCARDCONTEXT, CardContextTraits>;
using ScopedModule = ScopedHandle<HMODULE, ModuleTraits>;
using ScopedSafeArrayLock = ScopedHandle<SAFEARRAY*, SafeArrayLockTraits>;
using ScopedSafeArray = ScopedHandle<SAFEARRAY*, SafeArrayTraits>;
using ScopedLocalMem = ScopedHandle<HLOCAL, LocalMemTraits>;

// A block the smart-card manager allocated for an SCARD_AUTOALLOCATE call,
// freed with SCardFreeMemory in the context that allocated it.
class ScopedCardMemory {
 public:
  explicit ScopedCardMemory(SCARDCONTEXT context) : m_context(context) {}
  ~ScopedCardMemory() { Reset(); }
  ScopedCardMemory(const ScopedCardMemory&) = delete;
  ScopedCardMemory& operator=(const ScopedCardMemory&) = delete;

  void Reset() {
    if (m_block) SCardFreeMemory(m_context, m_block);
    m_block = nullptr;
  }
  // The out-parameter of an SCARD_AUTOALLOCATE call (passed cast to the
  // function's text or byte pointer type).
  wchar_t** ReceiveText() {
    Reset();
    return &m_block;
  }
  const wchar_t* Text() const { return m_block; }
  [[nodiscard]] wchar_t* Detach() { return std::exchange(m_block, nullptr); }
  explicit operator bool() const { return m_block != nullptr; }

 private:
  SCARDCONTEXT m_context;
  wchar_t* m_block = nullptr;
};

// A block COM's task allocator handed out, freed with CoTaskMemFree.
template <class T>
struct CoTaskMemTraits {
  static void Close(T* p) { CoTaskMemFree(p); }
};
template <class T>
using ScopedCoTaskMem = ScopedHandle<T*, CoTaskMemTraits<T>>;

// Access to a SAFEARRAY's data for one scope: SafeArrayAccessData locks the
// array (it cannot be resized or destroyed meanwhile) and the scope's end
// unlocks it. Check Data() before use: a failed access leaves it null.
class SafeArrayAccess {
 public:
  explicit SafeArrayAccess(SAFEARRAY* array) : m_array(array) {
    m_result = m_array ? SafeArrayAccessData(m_array, &m_data) : E_INVALIDARG;
    if (FAILED(m_result)) {
      m_array = nullptr;
      m_data = nullptr;
    }
  }
  ~SafeArrayAccess() {
    if (m_array) SafeArrayUnaccessData(m_array);
  }
  SafeArrayAccess(const SafeArrayAccess&) = delete;
  SafeArrayAccess& operator=(const SafeArrayAccess&) = delete;

  void* Data() const { return m_data; }
  // SafeArrayAccessData's answer (E_INVALIDARG for no array).
  HRESULT Result() const { return m_result; }

 private:
  SAFEARRAY* m_array;
  void* m_data = nullptr;
  HRESULT m_result = S_OK;
};

// One reference to a COM interface, in the spirit of ATL's CComPtr: copies
// add a reference, the owner's end releases it.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(T* p) : m_p(p) {  // NOLINT: implicit from a raw pointer, adds a reference
    if (m_p) m_p->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.m_p) {}
  ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
  ~ComPtr() { Reset(); }
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(m_p, other.m_p);
    return *this;
  }

  void Reset() {
    if (T* p = std::exchange(m_p, nullptr)) p->Release();
  }
  // Takes over a reference the caller already owns.
  void Attach(T* p) {
    Reset();
    m_p = p;
  }
  [[nodiscard]] T* Detach() { return std::exchange(m_p, nullptr); }
  T** Receive() {
    Reset();
    return &m_p;
  }
  void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }
  T* Get() const { return m_p; }
  T* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }

  template <class Q>
  HRESULT As(ComPtr<Q>& out) const {
    if (!m_p) return E_POINTER;
    return m_p->QueryInterface(__uuidof(Q), out.ReceiveVoid());
  }

 private:
  T* m_p = nullptr;
};

// A BSTR, freed with SysFreeString, like ATL's CComBSTR.
class ScopedBstr {
 public:
  ScopedBstr() = default;
  explicit ScopedBstr(const wchar_t* text) : m_str(text ? SysAllocString(text) : nullptr) {}
  ScopedBstr(const wchar_t* text, UINT length) : m_str(SysAllocStringLen(text, length)) {}
  ScopedBstr(ScopedBstr&& other) noexcept : m_str(std::exchange(other.m_str, nullptr)) {}
  ScopedBstr(const ScopedBstr&) = delete;
  ScopedBstr& operator=(const ScopedBstr&) = delete;
  ~ScopedBstr() { SysFreeString(m_str); }

  void Reset(BSTR str = nullptr) {
    SysFreeString(m_str);
    m_str = str;
  }
  [[nodiscard]] BSTR Detach() { return std::exchange(m_str, nullptr); }
  BSTR* Receive() {
    Reset();
    return &m_str;
  }
  BSTR Get() const { return m_str; }
  UINT Length() const { return SysStringLen(m_str); }

 private:
  BSTR m_str = nullptr;
};

// A VARIANT, cleared with VariantClear.
class ScopedVariant {
 public:
  ScopedVariant() { VariantInit(&m_var); }
  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;
  ~ScopedVariant() { VariantClear(&m_var); }

  VARIANT* Get() { return &m_var; }
  const VARIANT* Get() const { return &m_var; }
  VARIANT* Receive() {
    VariantClear(&m_var);
    return &m_var;
  }
  // Hands the value to the caller, who owns it from now on.
  void Detach(VARIANT* out) {
    *out = m_var;
    VariantInit(&m_var);
  }

 private:
  VARIANT m_var;
};

// The strings an EXCEPINFO filled in by IDispatch::Invoke may carry.
struct ScopedExcepInfo : EXCEPINFO {
  ScopedExcepInfo() : EXCEPINFO() {}
  ScopedExcepInfo(const ScopedExcepInfo&) = delete;
  ScopedExcepInfo& operator=(const ScopedExcepInfo&) = delete;
  ~ScopedExcepInfo() {
    SysFreeString(bstrSource);
    SysFreeString(bstrDescription);
    SysFreeString(bstrHelpFile);
  }
};
