#pragma once
// The check that keeps "saveFile" below the runtime root.

#include <optional>
#include <string>
#include <string_view>

// The name resolved lexically, its components joined by backslashes, or
// nothing when the name may not be written. Both \ and / separate components,
// and each component is taken as Windows reads it, without trailing dots and
// spaces ("x.txt. " names x.txt, ".. " is ..). Refused are:
// - empty names and names that resolve to the root itself ("a\..", ".");
// - names ending in a separator: they name a directory, not a file;
// - absolute and rooted names (a leading \ or /, which covers UNC and device
//   paths such as \\server, \\?\ and \\.\) and any colon (drive prefixes and
//   alternate data streams);
// - names whose .. components climb above the root ("a\..\b.txt" stays inside);
// - components that are only dots and spaces other than . and ..;
// - components naming a reserved device (CON, PRN, AUX, NUL, CONIN$,
//   CONOUT$, COM0-COM9, LPT0-LPT9, and COM or LPT followed by a superscript
//   1, 2 or 3 in code page 1252 or in UTF-8), in any case and with or
//   without an extension.
std::optional<std::string> ResolveNameBelowRoot(std::string_view name);
