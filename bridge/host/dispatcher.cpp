#include "bridge/host/dispatcher.h"

#include <deque>
#include <new>
#include <vector>

#include "bridge/host/protocol.h"
#include "bridge/host/variant_json.h"
#include "certutil/crypt_handles.h"

namespace bridge {

namespace {

std::string Utf8(const std::wstring& text) {
  return Utf16ToUtf8Lossy(std::u16string(text.begin(), text.end()));
}

std::string Utf8(const wchar_t* text, size_t length) {
  return Utf16ToUtf8Lossy(std::u16string(reinterpret_cast<const char16_t*>(text), length));
}

// The call's arguments, last first as IDispatch wants them.
class ArgumentList {
 public:
  HRESULT Add(const ArgValue& arg) { return ArgToVariant(arg, m_values.emplace_back().Get()); }
  DISPPARAMS Params() {
    m_reversed.clear();
    for (auto it = m_values.rbegin(); it != m_values.rend(); ++it) m_reversed.push_back(*it->Get());
    DISPPARAMS p = {m_reversed.empty() ? nullptr : m_reversed.data(), nullptr,
                    static_cast<UINT>(m_reversed.size()), 0};
    return p;
  }

 private:
  std::deque<ScopedVariant> m_values;  // a deque: its elements never move
  std::vector<VARIANT> m_reversed;     // shallow copies of m_values
};

std::string ArgumentNote(UINT position, size_t count) {
  if (position >= count) return "";
  return " (argument " + std::to_string(count - position) + ")";
}

}  // namespace

std::string DescribeFailure(HRESULT hr) {
  std::string text = DescribeHresult(static_cast<uint32_t>(hr));
  if (!text.empty()) return text;
  ScopedLocalMem block;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, static_cast<DWORD>(hr), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                           reinterpret_cast<wchar_t*>(block.Receive()), 0, nullptr);
  const wchar_t* buffer = static_cast<const wchar_t*>(block.Get());
  if (n && buffer) {
    while (n && (buffer[n - 1] == L'\n' || buffer[n - 1] == L'\r' || buffer[n - 1] == L' ')) --n;
    text = Utf8(buffer, n);
  }
  return text.empty() ? "Error " + HresultText(static_cast<uint32_t>(hr)) + "." : text;
}

std::string Dispatcher::Handle(const std::string& message, std::string* idJson) {
  Request request;
  RequestError refused;
  bool readable = ParseRequest(message, &request, &refused);
  *idJson = request.idJson;
  if (!readable) return ErrorAnswer(request.idJson, refused.hresult, refused.message);
  const std::string& id = request.idJson;

  // A name with a NUL in it would bind by its first part only.
  if (request.method.size() > kMaxMethodUnits || request.method.find(u'\0') != std::u16string::npos)
    return ErrorAnswer(id, kHresultUnknownName, DescribeHresult(kHresultUnknownName));
  if (request.args.size() > kMaxArgs)
    return ErrorAnswer(id, kHresultBadParamCount, DescribeHresult(kHresultBadParamCount));

  std::wstring origin(request.origin.begin(), request.origin.end());
  std::wstring document(request.document.begin(), request.document.end());
  ComPtr<IDispatch> control;
  std::wstring what;
  HRESULT hr = m_pool.ForPage(origin, document, &control, &what);
  if (FAILED(hr)) return ErrorAnswer(id, static_cast<uint32_t>(hr), Utf8(what) + " " + DescribeFailure(hr));

  std::wstring method(request.method.begin(), request.method.end());
  LPOLESTR names[] = {&method[0]};
  DISPID dispid = DISPID_UNKNOWN;
  hr = control->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
  if (FAILED(hr)) return ErrorAnswer(id, static_cast<uint32_t>(hr), DescribeFailure(hr));

  ArgumentList arguments;
  for (size_t i = 0; i < request.args.size(); ++i) {
    ArgValue value;
    std::string why;
    if (!ToArgValue(request.args[i], &value, &why))
      return ErrorAnswer(id, kHresultTypeMismatch,
                         DescribeHresult(kHresultTypeMismatch) + " (argument " + std::to_string(i + 1) + " is " + why + ")");
    request.args[i] = Json();  // the converted copy is all the call needs
    if (FAILED(hr = arguments.Add(value))) return ErrorAnswer(id, static_cast<uint32_t>(hr), DescribeFailure(hr));
  }

  DISPPARAMS params = arguments.Params();
  ScopedVariant result;
  ScopedExcepInfo exception;
  UINT argError = static_cast<UINT>(-1);
  hr = control->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.Get(), &exception,
                       &argError);
  if (hr == DISP_E_EXCEPTION) {
    if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
    HRESULT code = exception.scode ? exception.scode : kHresultException;
    std::string text = exception.bstrDescription ? Utf8(exception.bstrDescription, SysStringLen(exception.bstrDescription))
                                                 : DescribeFailure(code);
    return ErrorAnswer(id, static_cast<uint32_t>(code), text);
  }
  if (FAILED(hr)) {
    std::string text = DescribeFailure(hr);
    if (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTFOUND) text += ArgumentNote(argError, params.cArgs);
    return ErrorAnswer(id, static_cast<uint32_t>(hr), text);
  }

  Json answer;
  if (FAILED(hr = VariantToJson(*result.Get(), &answer)))
    return ErrorAnswer(id, static_cast<uint32_t>(hr), "The control's answer cannot be sent: " + DescribeFailure(hr));
  try {
    return ResultAnswer(id, answer);
  } catch (const std::bad_alloc&) {
    return ErrorAnswer(id, kHresultOutOfMemory, DescribeHresult(kHresultOutOfMemory));
  }
}

}  // namespace bridge
