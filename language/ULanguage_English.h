#pragma once

#include <array>

struct TBuilt_In_Text
{
    int Index;
    const char *Text;
};

// The non-blank entries of the built-in English table, in index order. Entries 1040 to 1069 hold the words of
// the kept runs (the question before sending to another configuration's address, the main window's state line,
// the History window); 1110 to 1153 the texts of the program's own messages (the wait window, update refusals
// and endings, the web-page error) and the names of the address fields read out to screen readers; 1154 to 1171
// the about box, the product's description and the main window's title, the settings lists' items and the
// message boxes' buttons; 1172 to 1176 the look's choice; 1177 the serial updater's refusal of a path; 1178 the
// question before the settings dialog writes over a ParGen.xml another program changed. A text with %1, %2, ...
// gets values put in its place.
extern const std::array<TBuilt_In_Text, 342> English_Texts;
