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
// The file is read again whenever it, or a setting, has changed since the
// last read: at the application's creation, at every call of the folder
// (Items, GetTable), at GetItemFromID and, out of process, every 100 ms. The
// collection, a table and the items keep what was read then. Each item keeps
// its identity (EntryID) from one version of the file to the next when its
// line stays the same, or keeps its class and names, or else keeps its place
// (renamed); other lines are new items, and LastModificationTime is when a
// version first showed the item as it is. Every change is told to the
// collections' ItemsEvents connections (ItemAdd, ItemChange, ItemRemove).
//
// The folder's Table (GetTable with a filter on the message class, in Jet
// or DASL; Columns with Add, RemoveAll, Remove and Count; GetArray,
// GetNextRow, GetRowCount, EndOfTable, MoveToStart and Sort) answers as
// Outlook documents it: the Contacts folder's default columns, GetArray's
// array indexed (row, column), and a MaxRows beyond the table's rows refused
// as Outlook 2007 refuses it. Contacts have the message class "IPM.Contact",
// or the one the setting "ContactForm" names; distribution lists
// "IPM.DistList".
//
// Dispatch IDs are fixed per kind of object, as an interface's are, so a
// client that kept an ID from one kind for another gets DISP_E_MEMBERNOTFOUND.
//
// When the settings name a journal file, every lookup, call and final
// release is appended to it as a line "Kind#serial event Member", e.g.
// "Items#7 name Count", "Items#7 call Count", "Items#7 released"; and the
// events as "Items event ItemChange", "Items delivered ItemChange". The
// application's ReceivedCalls counts the lookups, calls and final releases
// (round trips, out of process), journal or not.
#include <objbase.h>

namespace standin {
// The class factory of the application object; not counted as an object.
IClassFactory *Factory();
// Objects alive and locks held on the server.
long LiveObjects();
// Called on the server's thread whenever the last object goes.
void SetIdleHandler(void (*handler)());
} // namespace standin
