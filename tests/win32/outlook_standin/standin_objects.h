#pragma once

// The stand-in's objects, shared by its out-of-process server and its
// in-process one.
//
// What it serves comes from the contacts file named in the settings
// (standin_ids.h): UTF-8, one item a line, fields separated by tabs:
//
//   class  last name  first name  company  business fax  home fax  other fax
//
// Missing trailing fields are empty texts; the class is a number (40 for a
// contact, 69 for a distribution list, ...). A field that starts with "="
// answers with a value of another kind: "=empty" (no value), "=null",
// "=i4:N" (a 32-bit number), "=object" (an object), "=text:..." (the text
// after the colon, which may itself start with "="). Lines starting with "#"
// are comments. A line "!fail NAME" makes every call of the member NAME
// (GetNamespace, GetDefaultFolder, Items, Count, Item or a property) fail
// with an exception; "!without KIND" makes the objects of that kind
// (Application, NameSpace, Folder, Items) deny their Outlook interface.
//
// The file is read again whenever it, or the setting naming it, has changed
// since the last read, at the application's creation and at every Items
// access; the collection and its items keep what was read then.
//
// Every member hands out a dispatch ID of its own per object, so a client that
// kept an ID from one object for another gets DISP_E_MEMBERNOTFOUND.
//
// When the settings name a journal file, every lookup, call and final
// release is appended to it as a line "Kind#serial event Member", e.g.
// "Items#7 name Count", "Items#7 call Count", "Items#7 released".
#include <objbase.h>

namespace standin {
// The class factory of the application object; not counted as an object.
IClassFactory *Factory();
// Objects alive and locks held on the server.
long LiveObjects();
// Called on the server's thread whenever the last object goes.
void SetIdleHandler(void (*handler)());
} // namespace standin
