// The field codes of path templates and printer names, in the order the "Fields" menu offers
// them, each with the menu's caption. A code is "?" + its two letters + "?", matched with
// letter case; the job record expands them, the file path dialog inserts them.
#pragma once
#include <windows.h>

struct FieldCode {
  const WCHAR* name;     // the two letters
  const WCHAR* caption;  // the menu item's caption
};

inline constexpr FieldCode kFieldCodes[] = {
    {WSTR("ID"), WSTR("Job Identifier (?ID?)")}, {WSTR("PN"), WSTR("Printer Name (?PN?)")},
    {WSTR("SN"), WSTR("Serial Number (?SN?)")},  {WSTR("MN"), WSTR("Machine Name (?MN?)")},
    {WSTR("UN"), WSTR("User Name (?UN?)")},      {WSTR("DN"), WSTR("Document Name (?DN?)")},
    {WSTR("NN"), WSTR("Notify Name (?NN?)")},    {WSTR("DT"), WSTR("Data Type (?DT?)")},
    {WSTR("DR"), WSTR("Driver Name (?DR?)")},    {WSTR("TP"), WSTR("Total Pages (?TP?)")},
    {WSTR("PR"), WSTR("Priority (?PR?)")},       {WSTR("SI"), WSTR("Size (?SI?)")},
    {WSTR("SE"), WSTR("Time - Seconds (?SE?)")}, {WSTR("MI"), WSTR("Time - Minutes (?MI?)")},
    {WSTR("HO"), WSTR("Time - Hours (?HO?)")},   {WSTR("DA"), WSTR("Date - Day (?DA?)")},
    {WSTR("MO"), WSTR("Date - Month (?MO?)")},   {WSTR("YE"), WSTR("Date - Year (?YE?)")},
    {WSTR("WD"), WSTR("Date - Weekday (?WD?)")},
};
