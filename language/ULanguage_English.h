#pragma once

#include <array>

struct TBuilt_In_Text
{
    int Index;
    const char *Text;
};

// The non-blank entries of the built-in English table, in index order.
extern const std::array<TBuilt_In_Text, 243> English_Texts;
