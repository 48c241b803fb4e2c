#pragma once
#include <cstdint>

// The outcome of every engine and utility operation and of every method:
// 0 success, 1 to 45 failures. Codes 0 to 38 and 45 have English and Czech
// texts.
using ResultCode = int32_t;

namespace rc {
constexpr ResultCode kOk = 0;
constexpr ResultCode kCertNotFound = 1;
constexpr ResultCode kNoMemory = 2;
constexpr ResultCode kUnsupportedOs = 3;
constexpr ResultCode kCardContext = 4;
constexpr ResultCode kStoreNotOpened = 5;
constexpr ResultCode kReadersNotListed = 6;
constexpr ResultCode kReaderStatus = 7;
constexpr ResultCode kContextNotAcquired = 8;
constexpr ResultCode kCardContainerName = 9;
constexpr ResultCode kKeyNotUsable = 10;
constexpr ResultCode kCardCertNotRead = 11;
constexpr ResultCode kCertContextNotCreated = 12;
constexpr ResultCode kThumbprintNotRead = 13;
constexpr ResultCode kPrivateKeyNotObtained = 14;
constexpr ResultCode kHashNotCreated = 15;
constexpr ResultCode kHashNotSet = 16;
constexpr ResultCode kNoSignature = 17;
constexpr ResultCode kChainEngine = 18;
constexpr ResultCode kChainNotBuilt = 19;
constexpr ResultCode kNotTimeValid = 20;
constexpr ResultCode kNotTimeNested = 21;
constexpr ResultCode kRevoked = 22;
constexpr ResultCode kSignatureNotValid = 23;
constexpr ResultCode kWrongUsage = 24;
constexpr ResultCode kUntrustedRoot = 25;
constexpr ResultCode kRevocationUnknown = 26;
constexpr ResultCode kCyclic = 27;
constexpr ResultCode kPartialChain = 28;
constexpr ResultCode kCtlNotTimeValid = 29;
constexpr ResultCode kCtlSignature = 30;
constexpr ResultCode kCtlUsage = 31;
constexpr ResultCode kOddHexLength = 32;
constexpr ResultCode kBadHashAlgorithm = 33;
constexpr ResultCode kAccessDenied = 34;
constexpr ResultCode kBadLogLevel = 35;
constexpr ResultCode kLogDirectory = 36;
constexpr ResultCode kLogFile = 37;
constexpr ResultCode kLogGeneral = 38;
constexpr ResultCode kDecodeFailed = 39;
constexpr ResultCode kEncodeFailed = 40;
constexpr ResultCode kPkcs7Failed = 41;
constexpr ResultCode kChainMultipleFaults = 42;
constexpr ResultCode kCriteriaNotMet = 43;
constexpr ResultCode kBadLookupKind = 44;
// BinaryToString or StringToBinary given more than it converts.
constexpr ResultCode kInputTooLarge = 45;

constexpr ResultCode kLastWithText = 38;
constexpr ResultCode kLastCode = kInputTooLarge;
}  // namespace rc
