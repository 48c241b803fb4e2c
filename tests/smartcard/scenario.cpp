#include "tests/smartcard/scenario.h"

#include "tests/host/pki_stores.h"

#include <cstdlib>

namespace {

std::wstring Widen(const std::string& s) {
  if (s.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
  return w;
}

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t bar = line.find('|', start);
    fields.push_back(line.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) return fields;
    start = bar + 1;
  }
}

std::vector<BYTE> Unhex(const std::string& hex) {
  std::vector<BYTE> bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<BYTE>(strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
  return bytes;
}

}  // namespace

DWORD Scenario::Fault(const wchar_t* point) const {
  for (const auto& f : faults) {
    if (f.first == point) return f.second;
  }
  return 0;
}

const CardReader* Scenario::FindReader(const std::wstring& name) const {
  for (const CardReader& r : readers) {
    if (r.name == name) return &r;
  }
  return nullptr;
}

Scenario ParseScenario(const std::string& text) {
  Scenario s;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    start = end == std::string::npos ? text.size() : end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> f = Split(line);
    if (f[0] == "reader" && f.size() >= 3) {
      CardReader r;
      r.name = Widen(f[1]);
      r.present = f[2] == "card";
      if (r.present && f.size() >= 8) {
        r.atr = Unhex(f[3]);
        r.cardName = Widen(f[4]);
        r.cspName = Widen(f[5]);
        r.signatureCert = Widen(f[6]);
        r.exchangeCert = Widen(f[7]);
      }
      s.readers.push_back(r);
    } else if (f[0] == "fault" && f.size() >= 3) {
      s.faults.emplace_back(Widen(f[1]), static_cast<DWORD>(strtoul(f[2].c_str(), nullptr, 16)));
    }
  }
  return s;
}

Scenario LoadScenario() {
  wchar_t path[1024] = {};
  if (!GetEnvironmentVariableW(L"TESSARN_CARD_SCENARIO", path, 1024)) return Scenario();
  std::vector<BYTE> bytes = ReadFileBytes(path);
  return ParseScenario(std::string(bytes.begin(), bytes.end()));
}

std::vector<BYTE> ReadPkiFile(const std::wstring& file) {
  wchar_t dir[1024] = {};
  GetEnvironmentVariableW(L"TESSARN_PKI", dir, 1024);
  return ReadFileBytes(std::wstring(dir) + L"\\" + file);
}

std::vector<BYTE> CertificateBytes(const std::wstring& name) {
  if (name.empty() || name == L"-") return {};
  if (name == L"garbage") return {0x30, 0x03, 0x02, 0x01, 0x05};
  std::vector<BYTE> b64 = ReadPkiFile(name + L".b64");
  b64.push_back(0);
  DWORD size = 0;
  const char* text = reinterpret_cast<const char*>(b64.data());
  if (!CryptStringToBinaryA(text, 0, CRYPT_STRING_BASE64, nullptr, &size, nullptr, nullptr)) return {};
  std::vector<BYTE> der(size);
  CryptStringToBinaryA(text, 0, CRYPT_STRING_BASE64, der.data(), &size, nullptr, nullptr);
  return der;
}
