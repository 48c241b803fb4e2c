#pragma once
// Call arguments as VARIANTs and the control's answers as JSON.
#include <windows.h>
#include <oleauto.h>

#include "bridge/host/json.h"
#include "bridge/host/protocol.h"

namespace bridge {

// Fills *out (initialised by the caller) from one argument.
HRESULT ArgToVariant(const ArgValue& arg, VARIANT* out);

// An answer as JSON: numbers, texts, booleans, empty/null, one-dimensional
// arrays (byte arrays as {"bytes": ...}). DISP_E_BADVARTYPE for anything a
// message cannot carry.
HRESULT VariantToJson(const VARIANT& value, Json* out);

}  // namespace bridge
