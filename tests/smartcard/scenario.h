#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

// The smart-card world a test describes in a scenario file (named by
// TESSARN_CARD_SCENARIO), read by the resource-manager double and the test
// card CSP. One directive a line, fields separated by '|':
//   reader|NAME|empty
//   reader|NAME|card|ATR_HEX|CARD_NAME|CSP_NAME|SIGNATURE_CERT|EXCHANGE_CERT
//   fault|POINT|CODE_HEX
// A certificate is a name of the test PKI, "-" for no key of that kind, or
// "garbage" for bytes that are no certificate. An empty card name is a card
// type nobody registered; an empty CSP name a type without a CSP. Fault
// points: establish, release, listreaders, status, listcards, providername
// (the resource manager), acquire, container, userkey, keyparam, sha2 (the
// CSP; sha2 refuses to create SHA-256/384/512 hashes).
struct CardReader {
  std::wstring name;
  bool present = false;
  std::vector<BYTE> atr;
  std::wstring cardName;
  std::wstring cspName;
  std::wstring signatureCert;
  std::wstring exchangeCert;
};

struct Scenario {
  std::vector<CardReader> readers;
  std::vector<std::pair<std::wstring, DWORD>> faults;
  // The error to inject at a point, 0 for none.
  DWORD Fault(const wchar_t* point) const;
  const CardReader* FindReader(const std::wstring& name) const;
};

Scenario LoadScenario();
Scenario ParseScenario(const std::string& text);
// A file of the test PKI (TESSARN_PKI).
std::vector<BYTE> ReadPkiFile(const std::wstring& file);
// The DER certificate of a scenario entry; empty for "-".
std::vector<BYTE> CertificateBytes(const std::wstring& name);
