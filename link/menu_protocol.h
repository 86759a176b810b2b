// Texts of the accessory-menu AT protocol, built and read without handles.
#pragma once

#include <stddef.h>
#include <string>

// A menu entry registration starts with this prefix, the name follows.
constexpr char kEntryPrefix[] = "AT*EAM=\"";

// A submenu command starts with this prefix, the title follows, and the
// title's end is always this fixed text.
constexpr char kSubmenuPrefix[] = "AT*EASM=\"";
constexpr char kSubmenuTitleEnd[] = "\",1,";

// The longest line a receiver of this protocol reads.
constexpr size_t kMaxProtocolLine = 2047;

// AT*EAM="name" and a CR; the writer adds the line's own CR.
std::string RegistrationCommand(const char* menuName);

// Makes an owner's text safe for a quoted field: CR, LF and TAB become
// spaces, and a double quote, which the format cannot escape, becomes '.
void CleanMenuText(char* text);

// Where the fields after the title start in a submenu command: just past the
// fourth of the delimiters quote, quote, comma, comma. Returns false when
// one of them is missing, as in a command never built.
bool FindResendFields(const std::string& command, size_t* fieldsStart);

// ,"text" as one item of a submenu command.
void AppendItemField(std::string& items, const char* text);

// Whether items worth `itemsLength` bytes still fit in one protocol line
// whose other parts take `fixedLength` bytes, with room left for the item
// count and the trailer.
bool ItemsFitLine(size_t fixedLength, size_t itemsLength);

// Completes a submenu command after the title: selection, count, the item
// fields and the trailer.
void AppendSubmenuFields(std::string& command, int selection, int count,
                         const std::string& items);

// "*EAMI: n": the phone's word that the user picked item n (from 1).
std::string IndicationCommand(int item);

// Whether a received line is an indication for the accessory side.
bool IsIndication(const char* line);

// The item an indication names, 0 when it names none: "*EAMI: n" gives n,
// "*EAII: 5,n" gives n. Numbers are read as atoi reads them.
int IndicationItem(const char* line);
