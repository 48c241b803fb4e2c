#pragma once
#include <windows.h>
#include <ocidl.h>

#include <string>

// What the control's container says about the document that holds it.
enum class PageLookup {
  kNoDocument,  // a site that offers no document: a script host, VBA, a program
  kUrl,         // a document, and its URL
  kUnreadable,  // an HTML document whose URL cannot be read
};

// The URL of the document that holds the control, in this order:
//  1. the client site's container as an HTML document (its own URL: for a
//     control in a frame, the frame's document, never the top window's);
//  2. the same through the site given by IObjectWithSite::SetSite;
//  3. the container's moniker, when it is a URL moniker (how a host that
//     sites the control for a browser extension names the page's origin).
PageLookup LookUpPageUrl(IOleClientSite* clientSite, IUnknown* objectSite, std::wstring* url);
