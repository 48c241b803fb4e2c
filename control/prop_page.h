#pragma once
#include "framework/property_page.h"

// The control's only property page, "General": the user's view of the site
// lock (the web sites he allowed, with a way to remove one; the machine's
// and the policy's lists, read only) and of the log (its level and files).
class CTessarnPropPage : public framework::PropertyPage {
 public:
  CTessarnPropPage();
  static HRESULT Create(REFIID iid, void** object);

 protected:
  void OnInitDialog(HWND dialog) override;
  bool OnCommand(HWND dialog, WORD id, WORD code) override;

 private:
  void FillLists(HWND dialog);
};
