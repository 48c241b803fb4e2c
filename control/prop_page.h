#pragma once
#include "framework/property_page.h"

// The control's only property page: dialog 200, caption "General", no
// fields.
class CTessarnPropPage : public framework::PropertyPage {
 public:
  CTessarnPropPage();
  static HRESULT Create(REFIID iid, void** object);
};
