// What CommandLine.cpp offers its unit tests beyond its header: the steps the
// unit is made of, and the hooks that point it elsewhere.
#pragma once
#include "CommandLine.h"

// Appends the arguments of text to list. On unclosedQuote the list is left
// as it was.
SplitResult trySplitArguments(const wchar_t* text, WideArgumentList& list);
