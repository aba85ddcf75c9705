// The last touches to a section after layout: its page check and its final name.
#pragma once

#include <string>

class Section;

// The name a section is written under: ".zelkova.linkonce." + name + "." + key for
// a link-once section, otherwise the part of name before its first "@".
std::string finalSectionName(const char* name, const char* linkOnceKey);

// Keeps the source name as the display name and gives the section its final name.
void finishLinkOnceName(Section& section);

// E224 when a section without fixed address is larger than its page; E223 when a
// section at a fixed address runs past the end of the page it starts in.
void checkSectionPage(const Section& section);
