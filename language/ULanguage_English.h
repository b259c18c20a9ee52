#pragma once

#include <array>

struct TBuilt_In_Text
{
    int Index;
    const char *Text;
};

// The non-blank entries of the built-in English table, in index order. Entries 1110 to 1145 hold the texts of
// the program's own messages (the wait window, update refusals and endings, the web-page error) and the names
// of the address fields read out to screen readers; a text with %1, %2, ... gets values put in its place.
extern const std::array<TBuilt_In_Text, 292> English_Texts;
